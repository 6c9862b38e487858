#include "settings/dialogs.h"

#include "app/menu_commands.h"
#include "settings/title_dialog.h"
#include "settings/title_display_dialog.h"
#include "settings/auto_switching_dialog.h"
#include "settings/character_level_dialog.h"
#include "settings/position_dialog.h"
#include "settings/set_all_dialog.h"
#include "settings/read_settings_dialog.h"
#include "settings/compare_dialog.h"

namespace tqv::settings {

bool has_dialog(int command) {
    switch (command) {
        case command::kTitleSetting:
            return TitleDialog::kBuilt;
        case command::kTitleDisplay:
            return TitleDisplayDialog::kBuilt;
        case command::kAutoSwitching:
            return AutoSwitchingDialog::kBuilt;
        case command::kCharacterLevels:
            return CharacterLevelDialog::kBuilt;
        case command::kPosition:
            return PositionDialog::kBuilt;
        case command::kSetAllItems:
            return SetAllDialog::kBuilt;
        case command::kReadSettings:
            return ReadSettingsDialog::kBuilt;
        case command::kCompare:
            return CompareDialog::kBuilt;
        default:
            return false;
    }
}

std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent) {
    if (!has_dialog(command)) return nullptr;
    switch (command) {
        case command::kTitleSetting:
            return std::make_unique<TitleDialog>(context, parent);
        case command::kTitleDisplay:
            return std::make_unique<TitleDisplayDialog>(context, parent);
        case command::kAutoSwitching:
            return std::make_unique<AutoSwitchingDialog>(context, parent);
        case command::kCharacterLevels:
            return std::make_unique<CharacterLevelDialog>(context, parent);
        case command::kPosition:
            return std::make_unique<PositionDialog>(context, parent);
        case command::kSetAllItems:
            return std::make_unique<SetAllDialog>(context, parent);
        case command::kReadSettings:
            return std::make_unique<ReadSettingsDialog>(context, parent);
        case command::kCompare:
            return std::make_unique<CompareDialog>(context, parent);
        default:
            return nullptr;
    }
}

}  // namespace tqv::settings
