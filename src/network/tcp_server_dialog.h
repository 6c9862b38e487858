// "TCP/IPの設定（Server）": listen for devices on the port, see which have connected, and
// choose the one that receives the commands (the transmission place). Listening and the
// connections outlive the dialog.
#pragma once

#include <vector>

#include "dialogs/model_dialog.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tqv {

class TcpServerDialog : public ModelDialog {
    Q_OBJECT
  public:
    TcpServerDialog(AppContext& context, QWidget* parent);

    QLineEdit* port_field() const { return port_; }
    QLineEdit* transmission_place() const { return place_; }
    QListWidget* client_list() const { return clients_; }
    QPushButton* connect_button() const { return connect_; }
    QPushButton* disconnect_button() const { return disconnect_; }
    QPushButton* close_button() const { return close_; }
    // The peer-table entry each client row shows, row by row.
    const std::vector<int>& row_entries() const { return row_entries_; }

    // A double click on client row `row` (the list's signal calls it).
    void choose_peer(int row);

  protected:
    void done(int result) override;

  private:
    void refresh_peers();
    void start_listening();
    void stop_listening();
    void target_closed();
    void show_target();
    void show_listening_state();

    QLineEdit* port_ = nullptr;
    QLineEdit* place_ = nullptr;
    QListWidget* clients_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    QPushButton* close_ = nullptr;
    std::vector<int> row_entries_;
};

}  // namespace tqv
