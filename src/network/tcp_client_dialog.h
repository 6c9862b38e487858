// "TCP/IPの設定（Client）": the list of known device addresses, the host to connect to,
// the TCP port, and 接続 / 切断. The connection outlives the dialog.
#pragma once

#include <QString>

#include "dialogs/model_dialog.h"

class QLineEdit;
class QListWidget;
class QPushButton;

namespace tqv {

class TcpClientDialog : public ModelDialog {
    Q_OBJECT
  public:
    TcpClientDialog(AppContext& context, QWidget* parent);

    // One host list row: each octet as three digits, a space before each dot
    // ("192 .168 .001 .003").
    static QString host_row_text(const Ipv4& address);

    QLineEdit* address_field() const { return address_; }
    QListWidget* host_list() const { return hosts_; }
    QLineEdit* port_field() const { return port_; }
    QPushButton* add_button() const { return add_; }
    QPushButton* delete_button() const { return delete_; }
    QPushButton* connect_button() const { return connect_; }
    QPushButton* disconnect_button() const { return disconnect_; }
    QPushButton* ok_button() const { return ok_; }

    // A double click on host row `row` (the list's signal calls it).
    void choose_host(int row);

  protected:
    void done(int result) override;

  private:
    void add_host();
    void delete_host();
    void start_connection();
    void connected_notice();
    void connection_closed();
    void disconnect_link();
    void show_host(int host);
    void show_connection_state();

    QLineEdit* address_ = nullptr;
    QListWidget* hosts_ = nullptr;
    QLineEdit* port_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* delete_ = nullptr;
    QPushButton* connect_ = nullptr;
    QPushButton* disconnect_ = nullptr;
    QPushButton* ok_ = nullptr;
};

}  // namespace tqv
