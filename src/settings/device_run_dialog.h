// The layout the set-all and read-settings dialogs share: one button that starts a run
// over the whole settings block of a device, the percentage and progress bar, the slave
// address list and Close. A run that completes ends the dialog by itself.
#pragma once

#include "settings/bulk_runner.h"

class QComboBox;
class QPushButton;

namespace tqv {

class DeviceRunDialog : public BulkDialog {
    Q_OBJECT
  public:
    QPushButton* start_button() const { return start_button_; }

  protected:
    struct Setup {
        QString caption;  // also the peer caption, followed directly by the address
        QString button;
        QString notice;  // empty: none
        BulkKind kind;
    };
    DeviceRunDialog(AppContext& context, QWidget* parent, const Setup& setup);

  private:
    QByteArray peer_caption_;
    QPushButton* start_button_ = nullptr;
};

}  // namespace tqv
