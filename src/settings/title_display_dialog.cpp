#include "settings/title_display_dialog.h"

namespace tqv {

TitleDisplayDialog::TitleDisplayDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("タイトル表示の設定")) {}

}  // namespace tqv
