// Faults during runs, against the simulated device with its fault switches: every run ends
// one way, with one message that says where, and no command or late answer goes astray.
// The answer time-out is ticked by hand, so a "3.5 s" wait takes no time.
#include <map>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QTest>

#include "app/simulator_process.h"
#include "core/commands.h"
#include "core/texts.h"
#include "glyphs/glyph_editor_dialog.h"
#include "glyphs/glyph_list_dialog.h"
#include "settings/read_settings_dialog.h"
#include "settings/set_all_dialog.h"
#include "settings_fixture.h"
#include "sim_process.h"

namespace tqv::test {
namespace {

using namespace command;

class FaultTest : public AppTest {
  protected:
    void SetUp() override {
        AppTest::SetUp();
        if (!sim_available()) GTEST_SKIP() << "tqv7310nx-sim is not part of this build";
        window->show();
        model.selected_peer = -1;
    }
    // The device on a pseudo-terminal (serial) or on 127.0.0.1 (the program its client),
    // with `faults` switched on.
    bool start_device(bool tcp, QStringList faults = {}) {
#ifdef TQV_SIM_PATH
        faults << QStringLiteral("--log") << dir.filePath(QStringLiteral("sim.log"));
        if (!tcp) {
            const QString pty = serial_sim_.start_serial(QStringLiteral(TQV_SIM_PATH), faults, 10000);
            model.interface_kind = 0;
            return !pty.isEmpty() && link.open_serial(pty);
        }
        tcp_sim_ = std::make_unique<Sim>(QStringList{QStringLiteral("--listen"), QStringLiteral("0")} + faults,
                                         "listening");
        if (!tcp_sim_->ready()) return false;
        model.interface_kind = 1;
        model.tcp_role = 0;
        model.host_list[0] = {127, 0, 0, 1};
        model.host_count = 1;
        model.selected_peer = 0;
        set_slot_text(model.port_number, tcp_sim_->value().rightJustified(5, QLatin1Char('0')).toStdString());
        bool connected = false;
        const auto c = QObject::connect(&link.tcp(), &TcpLink::connected, window.get(),
                                        [&] { connected = true; });
        const bool ok = link.tcp().socket_connect() == 1 && wait_until([&] { return connected; });
        QObject::disconnect(c);
        if (!ok) return false;
        model.tcp_connected = 1;
        return true;
#else
        (void)tcp;
        (void)faults;
        return false;
#endif
    }
    void stop_device() {
        serial_sim_.stop();
        if (tcp_sim_) tcp_sim_->stop();
    }
    // What the device received so far, one command a line.
    std::string received() const {
        QFile f(dir.filePath(QStringLiteral("sim.log")));
        return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
    }
    // The server role with `count` simulated devices connected to it; nullptr when they
    // did not all come.
    std::unique_ptr<Sim> connect_devices(int count, QStringList options) {
        model.interface_kind = 1;
        model.tcp_role = 1;
        set_slot_text(model.port_number, "00000");
        if (link.tcp().socket_listen() != 1) return nullptr;
        auto devices = std::make_unique<Sim>(
            QStringList{"--connect", QStringLiteral("127.0.0.1:%1").arg(link.tcp().server_port()),
                        "--count", QString::number(count)} + options,
            "connected");
        if (!wait_until([&] { return link.tcp().count_peers() == count; })) return nullptr;
        model.tcp_connected = 1;
        return devices;
    }
    void time_out() {
        for (int i = 0; i < SendPath::kTimeoutTicks; ++i) link.answer_tick();
    }
    template <typename Runner>
    bool wait_end(const Runner& running) {
        return wait_until([&] { return !running(); });
    }

    SimulatorProcess serial_sim_;
    std::unique_ptr<Sim> tcp_sim_;
};

// The answer wait ends when the line arrives: a success box left open for longer than
// the time-out is no time-out.
TEST_F(FaultTest, ABoxLeftOpenIsNoTimeOut) {
    ASSERT_TRUE(start_device(true));
    ui.on_box = [this] { time_out(); };
    send_page_switch(link.send_path(), 0);
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));
    ui.on_box = nullptr;
    for (int i = 0; i < 10; ++i) link.answer_tick();
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketOk});
}

// A late answer (the device answers after 300 ms, the time-out comes first) ends the
// glyph register with one message naming GR01; nothing more goes out, the late answer is
// matched to nothing, and the next command waits for it and then gets its own answer.
TEST_F(FaultTest, TimeOutEndsTheRunAndTheLateAnswerMatchesNothing) {
    ASSERT_TRUE(start_device(true, {QStringLiteral("--delay"), QStringLiteral("300")}));
    window->run_command(kGlyphList);
    auto* list = opener.last<GlyphListDialog>();
    ASSERT_NE(list, nullptr);
    list->register_button()->click();
    list->tick();
    time_out();
    EXPECT_FALSE(list->pacing_timer().isActive());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/28 (GR01) で中断しました。\n" +
                                                   std::string(text::kAnswerTimeout) +
                                                   "\n応答済み 0/28"});
    EXPECT_TRUE(list->close_button()->isEnabled());
    EXPECT_FALSE(list->stop_button()->isEnabled());
    send_white_level(link.send_path());
    ASSERT_TRUE(wait_until([&] { return ui.boxes.size() == 2; }));
    EXPECT_EQ(ui.texts().back(), text::kSocketOk);
    const std::string log = received();
    EXPECT_EQ(log.find("GR02"), std::string::npos) << log;
}

// The link goes away in the middle of read settings: the run ends at once, with one
// message that says so, and Close works again.
TEST_F(FaultTest, LosingTheLinkEndsTheRunAtOnce) {
    for (const bool tcp : {false, true}) {
        SCOPED_TRACE(tcp ? "tcp" : "serial");
        ui.clear();
        ASSERT_TRUE(start_device(tcp));
        window->run_command(kReadSettings);
        auto* d = opener.last<ReadSettingsDialog>();
        ASSERT_NE(d, nullptr);
        d->start_button()->click();
        d->tick();
        d->tick();
        stop_device();
        ASSERT_TRUE(wait_end([&] { return d->bulk().running(); }));
        for (int i = 0; i < 5; ++i) d->tick();
        ASSERT_EQ(ui.boxes.size(), 1u) << ui.texts().back();
        EXPECT_NE(ui.texts()[0].find(tcp ? text::kSocketNotConnected : text::kSerialPortLost),
                  std::string::npos)
            << ui.texts()[0];
        EXPECT_TRUE(d->bulk().close_button()->isEnabled());
        d->close();
        link.shutdown();
        model.interface_kind = 0;
    }
}

// A device that never answers ends set all at the first time-out, with one message and no
// "No Connect" box after it.
TEST_F(FaultTest, SilentDeviceEndsTheRunAtTheFirstTimeOut) {
    ASSERT_TRUE(start_device(false, {QStringLiteral("--no-answer")}));
    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    d->start_button()->click();
    d->tick();
    d->tick();
    time_out();
    EXPECT_FALSE(d->bulk().running());
    for (int i = 0; i < 20; ++i) link.answer_tick();
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/280 (CT01T01) で中断しました。\n" +
                                                   std::string(text::kNoConnect) +
                                                   "\n応答済み 0/280"});
}

// An error answer to a single command does not cancel the next run; the run then ends at
// its own first error answer, and the glyph list does the same with one message.
TEST_F(FaultTest, ErrorAnswersEndRunsOnceAndNeverCancelTheNext) {
    ASSERT_TRUE(start_device(false, {QStringLiteral("--error"), QStringLiteral("E3")}));
    send_white_level(link.send_path());
    ASSERT_TRUE(wait_until([&] { return !ui.boxes.empty(); }));

    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    d->start_button()->click();
    d->tick();
    ASSERT_TRUE(wait_end([&] { return d->bulk().running(); }));
    EXPECT_EQ(ui.texts().back(), "ステップ 1/280 (CT01T01) で中断しました。\n" +
                                     std::string(text::kCommandError) + "\n応答済み 0/280");
    d->close();

    ui.clear();
    window->run_command(kGlyphList);
    auto* list = opener.last<GlyphListDialog>();
    list->read_button()->click();
    for (int i = 0; i < 3 && list->pacing_timer().isActive(); ++i) {
        list->tick();
        wait_until([&] { return !list->pacing_timer().isActive(); }, 500);
    }
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/28 (RFBMBA65) で中断しました。\n" +
                                                   std::string(text::kCommandError) +
                                                   "\n応答済み 0/28"});
}

// The operator's stop ends the run at once and says how far it got.
TEST_F(FaultTest, StopEndsTheRunAndSaysWhere) {
    ASSERT_TRUE(start_device(false));
    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    d->start_button()->click();
    for (int i = 0; i < 3; ++i) d->tick();
    ASSERT_TRUE(wait_until([&] { return link.model().answer_pending == 0; }));
    d->bulk().stop_button()->click();
    EXPECT_FALSE(d->bulk().running());
    EXPECT_TRUE(d->isVisible());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 4/280 (CT01T04) で中止しました。\n応答済み 3/280"});
}

// "高速転送": each command goes once the answer to the one before is in, so a read that
// takes 1 min 54 s at the fixed pace, and the glyph register's 56 s, take seconds.
TEST_F(FaultTest, AnswerPacedRunsGoAtTheDevicesPace) {
    ASSERT_TRUE(start_device(false));
    model.fast_transfer = 1;
    window->run_command(kReadSettings);
    auto* d = opener.last<ReadSettingsDialog>();
    EXPECT_TRUE(d->bulk().fast_box()->isChecked());
    d->start_button()->click();
    EXPECT_TRUE(d->bulk().answer_paced());
    ASSERT_TRUE(wait_until([&] { return !d->bulk().running(); }, 20000));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kSocketReadOk});

    ui.clear();
    window->run_command(kGlyphList);
    auto* list = opener.last<GlyphListDialog>();
    list->register_button()->click();
    ASSERT_TRUE(wait_until([&] { return !list->stop_button()->isEnabled(); }, 20000));
    EXPECT_TRUE(ui.boxes.empty());
    const std::string log = received();
    EXPECT_NE(log.find("GR28"), std::string::npos);
    EXPECT_NE(log.find("RCT02B64"), std::string::npos);
}

// Server role, "接続中の全機器": set all items on every connected device at once, one row
// each, one summary; a device that goes away ends only its own run.
TEST_F(FaultTest, SetAllGoesToEveryConnectedDevice) {
    const auto devices = connect_devices(3, {"--log", dir.filePath(QStringLiteral("sim.log"))});
    ASSERT_TRUE(devices);
    model.selected_peer = 1;
    model.fast_transfer = 1;
    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    ASSERT_NE(d->target_list(), nullptr);
    d->target_list()->setCurrentIndex(1);
    d->start_button()->click();
    ASSERT_TRUE(d->push_to_all()->running());
    EXPECT_FALSE(d->bulk().close_button()->isEnabled());
    ASSERT_TRUE(wait_until([&] { return !d->push_to_all()->running(); }, 30000));
    ASSERT_EQ(d->push_to_all()->rows().size(), 3u);
    for (const auto& row : d->push_to_all()->rows()) {
        EXPECT_EQ(row.outcome.toStdString(), "完了");
        EXPECT_EQ(row.step, 280);
    }
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"接続中の全機器: 3 台とも完了しました"});
    const std::string log = received();
    for (const char* last : {"device 1 < 00P02B", "device 2 < 00P02B", "device 3 < 00P02B"})
        EXPECT_NE(log.find(last), std::string::npos) << last;
    EXPECT_TRUE(d->bulk().close_button()->isEnabled());
    d->close();

    // The glyph register the same way.
    ui.clear();
    window->run_command(kGlyphList);
    auto* list = opener.last<GlyphListDialog>();
    ASSERT_NE(list->target_list(), nullptr);
    list->target_list()->setCurrentIndex(1);
    list->register_button()->click();
    // The editor would write the glyph number the push is walking: it is refused, and says so.
    ASSERT_TRUE(list->push_to_all()->running());
    const int walking = model.glyph_index;
    QTest::mouseDClick(list->preview_panel(), Qt::LeftButton, {}, {12, 11});
    EXPECT_EQ(list->findChild<GlyphEditorDialog*>(), nullptr);
    EXPECT_EQ(model.glyph_index, walking);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{text::kEditorDuringTransfer});
    ui.clear();
    ASSERT_TRUE(wait_until([&] { return !list->push_to_all()->running(); }, 30000));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"接続中の全機器: 3 台とも完了しました"});
    EXPECT_NE(received().find("device 3 < 00GR28"), std::string::npos);
}

// Stopped or cut off, a push to every device ends each row once, its step agreeing with
// its message; late answers reach no box, and every frame of every device is in the log.
TEST_F(FaultTest, APushStoppedOrCutOffEndsEveryRowOnceAndQuietly) {
    const auto devices = connect_devices(4, {"--delay", "20"});
    ASSERT_TRUE(devices);
    model.selected_peer = 1;
    model.fast_transfer = 1;
    std::map<QString, int> sent;
    QObject::connect(&link, &DeviceLink::traffic, window.get(),
                     [&](bool tx, const QString& peer, const QByteArray&) { sent[peer] += tx; });
    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    d->target_list()->setCurrentIndex(1);
    auto check_rows = [&](const char* why) {
        ASSERT_TRUE(wait_until([&] { return !d->push_to_all()->running(); }, 30000));
        for (const auto& row : d->push_to_all()->rows()) {
            const std::string text = row.outcome.toStdString();
            EXPECT_NE(text.find(why), std::string::npos) << text;
            EXPECT_NE(text.find("ステップ " + std::to_string(row.step) + "/280 (CT01T"), std::string::npos)
                << text;
        }
    };
    d->start_button()->click();
    ASSERT_TRUE(wait_until([&] {
        for (const auto& row : d->push_to_all()->rows())
            if (row.step < 5) return false;
        return true;
    }));
    d->bulk().stop_button()->click();
    check_rows("中止しました");
    // The answers still owed come in and are matched to nothing.
    ASSERT_TRUE(wait_until([&] {
        for (int entry : link.peers().entries())
            if (!link.channel_of_peer(entry)->send_path().idle()) return false;
        return true;
    }));
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"接続中の全機器: 0 台完了、4 台は途中で終わりました"});
    EXPECT_EQ(sent.size(), 4u);
    for (const auto& [peer, frames] : sent) EXPECT_GE(frames, 5) << peer.toStdString();

    ui.clear();
    d->start_button()->click();
    ASSERT_TRUE(d->push_to_all()->running());
    devices->stop();
    check_rows(text::kSocketNotConnected);
}

// Over TCP at the fixed pace a device slower than the pace holds the steps back: nothing
// waits in a queue, and the device got the steps up to the one the stop names (that one
// itself only if it was awaiting its answer), none after it.
TEST_F(FaultTest, AtTheFixedPaceOverTcpProgressCountsWhatWentOut) {
    ASSERT_TRUE(start_device(true, {"--delay", "900"}));
    window->run_command(kSetAllItems);
    auto* d = opener.last<SetAllDialog>();
    d->start_button()->click();
    for (int i = 0; i < 6; ++i) d->tick();  // the pace runs out faster than the device answers
    ASSERT_TRUE(wait_until([&] { return d->bulk().driver().run()->answered() >= 2; }, 10000));
    EXPECT_EQ(link.send_path().tcp_queued(), 0u);
    const bool awaiting = d->bulk().driver().run()->outstanding() > 0;
    d->bulk().stop_button()->click();
    const int step = d->bulk().driver().run()->end_step();
    EXPECT_LE(step, 4);
    ASSERT_TRUE(wait_until([&] { return link.send_path().idle(); }, 10000));
    int received_titles = 0;
    for (std::size_t at = 0; (at = received().find("CT01T", at)) != std::string::npos; ++at)
        ++received_titles;
    EXPECT_EQ(received_titles, awaiting ? step : step - 1);
}

}  // namespace
}  // namespace tqv::test
