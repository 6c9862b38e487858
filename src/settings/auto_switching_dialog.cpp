#include "settings/auto_switching_dialog.h"

namespace tqv {

AutoSwitchingDialog::AutoSwitchingDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("自動切換えの設定")) {}

}  // namespace tqv
