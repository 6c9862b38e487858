#include "settings/set_all_dialog.h"

namespace tqv {

SetAllDialog::SetAllDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("全項目の設定")) {}

}  // namespace tqv
