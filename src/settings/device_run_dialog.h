// The layout the set-all and read-settings dialogs share: one button that starts a run
// over the whole settings block of a device, the percentage and progress bar, the slave
// address list and Close. A run that completes ends the dialog by itself.
#pragma once

#include <memory>

#include "dialogs/bulk_runner.h"
#include "dialogs/push_to_all.h"

class QComboBox;
class QPushButton;


namespace tqv {

class DeviceRunDialog : public BulkDialog {
    Q_OBJECT
  public:
    QPushButton* start_button() const { return start_button_; }
    // Server role: "選択中の機器" or "接続中の全機器" (set all items only).
    QComboBox* target_list() const { return target_; }
    PushToAll* push_to_all() const { return push_.get(); }

    void reject() override;

  protected:
    struct Setup {
        QString caption;  // also the peer caption, followed directly by the address
        QString button;
        QString what;    // with `button`, the button's accessible name
        QString notice;  // empty: none
        BulkKind kind;
        bool to_all_devices = false;  // offer "接続中の全機器" in the server role
    };
    DeviceRunDialog(AppContext& context, QWidget* parent, const Setup& setup);

  private:
    void start_all();

    QByteArray peer_caption_;
    QPushButton* start_button_ = nullptr;
    QComboBox* target_ = nullptr;
    DeviceRowsTable* table_ = nullptr;
    std::unique_ptr<PushToAll> push_;
};

}  // namespace tqv
