// The main window's menu: every command with its number, its text and the menu it sits in.
#pragma once

#include <array>
#include <vector>

namespace tqv::command {

inline constexpr int kNew = 40001;
inline constexpr int kOpen = 40002;
inline constexpr int kSave = 40003;
inline constexpr int kSaveAs = 40004;
inline constexpr int kExit = 119;
inline constexpr int kPageSwitch = 40012;
inline constexpr int kTitleSetting = 40010;
inline constexpr int kTitleDisplay = 40014;
inline constexpr int kAutoSwitching = 40016;
inline constexpr int kStartupPage = 40064;
inline constexpr int kCharacterLevels = 40018;
inline constexpr int kPosition = 40020;
inline constexpr int kGlyphInsert = 40024;
inline constexpr int kGlyphList = 40214;
inline constexpr int kSetAllItems = 40009;
inline constexpr int kSlaveAddress = 40028;
inline constexpr int kReadSettings = 40212;
inline constexpr int kRcel = 40213;
inline constexpr int kInterface = 40208;
inline constexpr int kComPort = 40209;
inline constexpr int kClientServer = 40211;
inline constexpr int kTcpSettings = 40008;
inline constexpr int kProtocol = 40207;
inline constexpr int kVersion = 120;
inline constexpr int kGlyphNote = 40215;
inline constexpr int kGlyphEditor = 40022;  // no menu item: opened from the glyph list

struct MenuItem {
    int command;
    const char* text;
    const char* menu;
    const char* submenu;  // nullptr: directly in `menu`
    bool separator_before;
};

inline constexpr const char* kFileMenu = "ファイル";
inline constexpr const char* kSettingsMenu = "設定";
inline constexpr const char* kMaintenanceMenu = "メンテナンス";
inline constexpr const char* kInterfaceMenu = "インターフェイス";
inline constexpr const char* kProtocolMenu = "プロトコル";
inline constexpr const char* kInfoMenu = "情報";

inline constexpr std::array<MenuItem, 25> kMenu = {{
    {kNew, "新規作成", kFileMenu, nullptr, false},
    {kOpen, "開く", kFileMenu, nullptr, false},
    {kSave, "上書き保存", kFileMenu, nullptr, false},
    {kSaveAs, "名前を付けて保存", kFileMenu, nullptr, false},
    {kExit, "ｱﾌﾟﾘｹｰｼｮﾝの終了", kFileMenu, nullptr, true},
    {kPageSwitch, "表示ページ切換え", kSettingsMenu, nullptr, false},
    {kTitleSetting, "タイトルの設定", kSettingsMenu, nullptr, false},
    {kTitleDisplay, "タイトル表示の設定", kSettingsMenu, nullptr, false},
    {kAutoSwitching, "自動切換えの設定", kSettingsMenu, nullptr, false},
    {kStartupPage, "スタートアップの設定", kSettingsMenu, nullptr, false},
    {kCharacterLevels, "文字レベルの設定", kSettingsMenu, nullptr, false},
    {kPosition, "表示位置微調整", kSettingsMenu, nullptr, false},
    {kGlyphInsert, "外字挿入", kSettingsMenu, nullptr, true},
    {kGlyphList, "外字一覧", kSettingsMenu, nullptr, false},
    {kSetAllItems, "全項目の設定", kSettingsMenu, nullptr, true},
    {kSlaveAddress, "機器のスレーブアドレス", kSettingsMenu, nullptr, false},
    {kReadSettings, "設定項目の読み込み", kSettingsMenu, kMaintenanceMenu, false},
    {kRcel, "00RCEL", kSettingsMenu, kMaintenanceMenu, false},
    {kInterface, "インターフェイスの設定", kInterfaceMenu, nullptr, false},
    {kComPort, "RS-232Cの設定", kInterfaceMenu, nullptr, false},
    {kClientServer, "クライアント/サーバー", kInterfaceMenu, nullptr, false},
    {kTcpSettings, "TCP/IPの設定", kInterfaceMenu, nullptr, false},
    {kProtocol, "プロトコルの設定", kProtocolMenu, nullptr, false},
    {kVersion, "TQV7310NXのﾊﾞｰｼﾞｮﾝ情報", kInfoMenu, nullptr, false},
    {kGlyphNote, "外字について", kInfoMenu, nullptr, false},
}};

// Commands served by the dialogs of the settings, glyph and network folders. One whose
// dialog a build does not have is present in the menu and greyed.
inline const std::vector<int> kSubsystemCommands = {
    kTitleSetting, kTitleDisplay, kAutoSwitching, kCharacterLevels, kPosition,
    kGlyphInsert,  kGlyphList,    kSetAllItems,   kSlaveAddress,    kReadSettings,
    kInterface,    kComPort,      kClientServer,  kTcpSettings,     kProtocol,
};

}  // namespace tqv::command

// The operator's view of the link, added into the menus above: each item goes before the
// item of `before` (0: at the end of its menu).
namespace tqv::command {

inline constexpr int kCompare = 40301;
inline constexpr int kTrafficLog = 40302;
inline constexpr int kReconnect = 40303;
inline constexpr int kCueList = 40304;
inline constexpr int kOnAir = 40305;

struct AddedItem {
    MenuItem item;
    int before;
};

inline constexpr std::array<AddedItem, 5> kAddedMenu = {{
    {{kCompare, "機器と比較", kFileMenu, nullptr, false}, kExit},
    {{kReconnect, "再接続", kInterfaceMenu, nullptr, true}, 0},
    {{kTrafficLog, "通信ログ", kInfoMenu, nullptr, true}, 0},
    {{kCueList, "キューリスト", kSettingsMenu, nullptr, true}, 0},
    {{kOnAir, "オンエア", kInfoMenu, nullptr, false}, 0},
}};

}  // namespace tqv::command
