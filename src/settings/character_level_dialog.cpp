#include "settings/character_level_dialog.h"

namespace tqv {

CharacterLevelDialog::CharacterLevelDialog(AppContext& context, QWidget* parent)
    : ModelDialog(context, parent, QString::fromUtf8("文字レベルの設定")) {}

}  // namespace tqv
