// "設定項目の読み込み": a maintenance function that fills the settings model from a
// device, one read command per tick; the answers overwrite the model as they arrive.
#pragma once

#include "settings/device_run_dialog.h"

namespace tqv {

class ReadSettingsDialog : public DeviceRunDialog {
    Q_OBJECT
  public:
    ReadSettingsDialog(AppContext& context, QWidget* parent);
};

}  // namespace tqv
