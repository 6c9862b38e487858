// "全項目の設定": writes the whole settings block into the device (or, with the broadcast
// address, into every device) in one timed run of 280 steps.
#pragma once

#include "settings/device_run_dialog.h"

namespace tqv {

class SetAllDialog : public DeviceRunDialog {
    Q_OBJECT
  public:
    SetAllDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
