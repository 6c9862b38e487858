#include "settings/read_settings_dialog.h"

namespace tqv {

ReadSettingsDialog::ReadSettingsDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("設定項目の読み込み")) {}

}  // namespace tqv
