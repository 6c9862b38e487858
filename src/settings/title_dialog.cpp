#include "settings/title_dialog.h"

namespace tqv {

TitleDialog::TitleDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("タイトル設定")) {}

}  // namespace tqv
