// The set-all and read-settings dialogs: their runs step by step, how they end, and what
// no run may leave behind.
#include <QLabel>
#include <QPointer>
#include <QTcpSocket>

#include "core/texts.h"
#include "settings/auto_switching_dialog.h"
#include "settings/read_settings_dialog.h"
#include "settings/set_all_dialog.h"
#include "settings/title_dialog.h"
#include "settings/title_display_dialog.h"
#include "settings_fixture.h"

namespace tqv::test {
namespace {

using namespace command;

using DeviceRunTest = SettingsTest;

TEST_F(DeviceRunTest, SetAllAfterNewSendsEverythingAndClosesItself) {
    auto* d = open<SetAllDialog>(kSetAllItems);
    ASSERT_NE(d, nullptr);
    QPointer<QDialog> alive(d);
    EXPECT_EQ(d->windowTitle().toStdString(), "全項目の設定");
    EXPECT_EQ(d->bulk().progress_bar()->maximum(), 280);
    answer_every_command();
    d->start_button()->click();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 600);
    d->tick();
    EXPECT_EQ(percent(*d), "0");
    for (int n = 2; n <= 140; ++n) d->tick();
    EXPECT_EQ(percent(*d), "50");
    for (int n = 141; n <= 256; ++n) d->tick();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 600);
    d->tick();  // 257: the slower pace of the commands after the titles
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 1200);
    EXPECT_EQ(wire.frames.size(), 256u);

    EXPECT_EQ(run_to_end(*d), 23);
    ASSERT_EQ(wire.frames.size(), 278u);
    EXPECT_EQ(wire.frames[0], "00CT01T01" + repeat("2121", 14) + "\r\n");
    EXPECT_EQ(wire.frames[256].substr(0, 8), "00AST01T");
    EXPECT_EQ(wire.frames[260].substr(0, 8), "00CTD01T");
    EXPECT_EQ(wire.frames[264].substr(0, 5), "00CWL");
    EXPECT_EQ(wire.frames[277].substr(0, 6), "00P02B");
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_TRUE(alive.isNull() || !d->isVisible()) << "the dialog ends itself";
}

TEST_F(DeviceRunTest, SetAllStopsAtATitleItCannotSendAndGoesToTheChosenAddress) {
    set_slot_text(model.title(0, 4), "AB");
    auto* d = open<SetAllDialog>(kSetAllItems);
    d->slave_address_list()->setCurrentIndex(kBroadcastIndex);
    d->start_button()->click();
    for (int n = 1; n <= 5; ++n) d->tick();
    // One message names the step and the title; a broadcast needs no answer.
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 5/280 (CT01T05) で中断しました。\n" +
                                                   std::string(text::kNotJis) +
                                                   "\n応答済み 4/280"});
    EXPECT_FALSE(d->bulk().running());
    EXPECT_FALSE(d->bulk().stop_button()->isEnabled());
    ASSERT_EQ(wire.frames.size(), 4u);
    EXPECT_EQ(wire.frames[0].substr(0, 4), "FFCT");
    EXPECT_EQ(percent(*d), "1");
    EXPECT_TRUE(close_enabled(*d));
    EXPECT_TRUE(d->isVisible()) << "a stopped run leaves the dialog open";
}

TEST_F(DeviceRunTest, ReadSettingsStepsIdleTicksAndClosesItself) {
    auto* d = open<ReadSettingsDialog>(kReadSettings);
    ASSERT_NE(d, nullptr);
    QPointer<QDialog> alive(d);
    EXPECT_EQ(d->windowTitle().toStdString(), "設定項目の読み込み");
    EXPECT_EQ(d->start_button()->text().toStdString(), "読み込み");
    bool notice = false;
    for (auto* label : d->findChildren<QLabel*>()) {
        notice |=
            label->text().toStdString() == "メインテナンス以外で読み込み動作を行わないでください。";
    }
    EXPECT_TRUE(notice);
    EXPECT_EQ(d->bulk().progress_bar()->maximum(), 286);

    answer_every_command();
    d->start_button()->click();
    EXPECT_EQ(d->bulk().driver().pace_timer().interval(), 400);
    for (int n = 1; n <= 22; ++n) d->tick();
    EXPECT_EQ(wire.frames.back(), "00RP02T\r\n");
    for (int n = 23; n <= 29; ++n) d->tick();
    EXPECT_EQ(wire.frames.size(), 22u) << "steps 23..29 send nothing";
    EXPECT_EQ(progress(*d), 29);
    d->tick();
    EXPECT_EQ(wire.frames.back(), "00RCT01T01\r\n");
    for (int n = 31; n <= 143; ++n) d->tick();
    EXPECT_EQ(percent(*d), "50");
    EXPECT_EQ(run_to_end(*d), 142);
    EXPECT_EQ(wire.frames.size(), 278u);
    EXPECT_EQ(wire.frames.back(), "00RCT02B64\r\n");
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketReadOk});
    EXPECT_TRUE(alive.isNull() || !d->isVisible());
    EXPECT_EQ(model.bulk_active, 0);
}

TEST_F(DeviceRunTest, NoRunStartsWithoutALinkAndNoneOutlivesItsDialog) {
    model.interface_kind = 1;  // TCP, not connected
    auto* d = open<ReadSettingsDialog>(kReadSettings);
    d->start_button()->click();
    EXPECT_FALSE(d->bulk().running());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, text::kSocketNotConnected);

    model.interface_kind = 0;
    d->start_button()->click();
    EXPECT_TRUE(d->bulk().stop_button()->isEnabled());
    d->tick();
    // The port goes away: the run ends at once with one message that says so.
    link.send_path().link_lost(false, text::kSerialPortLost);
    EXPECT_FALSE(d->bulk().running());
    EXPECT_TRUE(close_enabled(*d));
    EXPECT_EQ(ui.texts().back(), "ステップ 1/285 (RAST01B) で中断しました。\n" +
                                     std::string(text::kSerialPortLost) + "\n応答済み 0/285");

    d->start_button()->click();
    d->tick();
    d->tick();
    EXPECT_TRUE(d->bulk().running());
    EXPECT_FALSE(d->close());
    delete d;  // the main window goes away in the middle of a run
    EXPECT_EQ(model.bulk_active, 0);
}

TEST_F(DeviceRunTest, CaptionsNameTheSelectedPeer) {
    QTcpSocket device;
    ASSERT_TRUE(connect_one_device(device));

    const std::pair<int, const char*> expected[] = {
        {kTitleSetting, "タイトルの設定 127.0.0.1"},
        {kTitleDisplay, "タイトル表示の設定 127.0.0.1"},
        {kAutoSwitching, "自動切換えの設定 127.0.0.1"},
        {kSetAllItems, "全項目の設定127.0.0.1"},
        {kReadSettings, "設定項目の読み込み127.0.0.1"},
    };
    for (const auto& [command, caption] : expected) {
        window->run_command(command);
        QDialog* d = opener.opened.back();
        EXPECT_EQ(d->windowTitle().toStdString(), caption);
        d->close();
    }
}

}  // namespace
}  // namespace tqv::test
