#include "app/dialog_table.h"

#include <array>

#include "app/menu_commands.h"
#include "glyphs/glyph_editor_dialog.h"
#include "glyphs/glyph_insert_dialog.h"
#include "glyphs/glyph_list_dialog.h"
#include "network/com_port_dialog.h"
#include "network/device_network_dialog.h"
#include "network/interface_dialog.h"
#include "network/role_dialog.h"
#include "network/slave_address_dialog.h"
#include "network/tcp_client_dialog.h"
#include "network/tcp_server_dialog.h"
#include "settings/auto_switching_dialog.h"
#include "settings/character_level_dialog.h"
#include "settings/compare_dialog.h"
#include "settings/position_dialog.h"
#include "settings/read_settings_dialog.h"
#include "settings/set_all_dialog.h"
#include "settings/title_dialog.h"
#include "settings/title_display_dialog.h"

namespace tqv {

namespace {

using Maker = std::unique_ptr<QDialog> (*)(AppContext&, QWidget*);

template <class D>
std::unique_ptr<QDialog> make(AppContext& context, QWidget* parent) {
    return std::make_unique<D>(context, parent);
}

struct Entry {
    int command;
    Maker maker;
};

constexpr std::array<Entry, 18> kDialogs = {{
    {command::kTitleSetting, make<TitleDialog>},
    {command::kTitleDisplay, make<TitleDisplayDialog>},
    {command::kAutoSwitching, make<AutoSwitchingDialog>},
    {command::kCharacterLevels, make<CharacterLevelDialog>},
    {command::kPosition, make<PositionDialog>},
    {command::kSetAllItems, make<SetAllDialog>},
    {command::kReadSettings, make<ReadSettingsDialog>},
    {command::kCompare, make<CompareDialog>},
    {command::kGlyphList, make<GlyphListDialog>},
    {command::kGlyphEditor, make<GlyphEditorDialog>},
    {command::kGlyphInsert, make<GlyphInsertDialog>},
    {command::kInterface, make<InterfaceDialog>},
    {command::kComPort, make<ComPortDialog>},
    {command::kClientServer, make<RoleDialog>},
    {command::kSlaveAddress, make<SlaveAddressDialog>},
    {command::kProtocol, make<DeviceNetworkDialog>},
    // The role chooses which of the two TCP dialogs the command opens.
    {command::kTcpSettings,
     [](AppContext& context, QWidget* parent) -> std::unique_ptr<QDialog> {
         if (context.model.tcp_role == 1) return std::make_unique<TcpServerDialog>(context, parent);
         return std::make_unique<TcpClientDialog>(context, parent);
     }},
}};

const Entry* find(int command) {
    for (const Entry& e : kDialogs)
        if (e.command == command) return &e;
    return nullptr;
}

}  // namespace

bool has_dialog(int command) { return find(command) != nullptr; }

std::unique_ptr<QDialog> make_dialog(int command, AppContext& context, QWidget* parent) {
    const Entry* e = find(command);
    return e != nullptr ? e->maker(context, parent) : nullptr;
}

}  // namespace tqv
