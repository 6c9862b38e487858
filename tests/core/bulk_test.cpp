#include "core/bulk.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/answers.h"
#include "core/commands.h"
#include "core_fixture.h"

namespace tqv {
namespace {

struct BulkTest : CoreFixture {
    AnswerDispatcher dispatcher{path};
    std::size_t answered = 0;
    std::optional<BulkTick> end;  // how the last run ended

    // The device: "GO" to every new addressed frame.
    void answer_new_frames(const char* answer = "GO\r\n") {
        for (; answered < serial.frames.size(); ++answered) {
            if (serial.frames[answered].substr(0, 2) == "FF") continue;
            dispatcher.dispatch_serial((model.address_prefix_on == 1 ? "00" : "") +
                                       std::string(answer));
        }
    }
    // Runs a transfer to its end against a device that answers, collecting the ticks.
    std::vector<BulkTick> run(BulkTransfer& bulk, int max_ticks = 400) {
        bulk.on_end = [this](const BulkTick& t) { end = t; };
        std::vector<BulkTick> ticks;
        for (int i = 0; i < max_ticks; ++i) {
            ticks.push_back(bulk.tick());
            answer_new_frames();
            if (ticks.back().state != BulkTick::State::running) break;
        }
        return ticks;
    }
};

TEST_F(BulkTest, SetAllItemsAfterNewSendsTheWholeModelInOrder) {
    BulkTransfer bulk(path, BulkKind::set_all);
    // 257 ticks of 600 ms and 23 of 1200 ms.
    EXPECT_EQ(remaining_text(bulk.paced_remaining_ms(1)), "残り 3:02");
    ASSERT_TRUE(bulk.start());
    EXPECT_EQ(bulk.period_ms(), 600);
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 280u);
    EXPECT_EQ(ticks[0].percent, 0);
    EXPECT_EQ(ticks[139].percent, 50);
    EXPECT_EQ(ticks[279].percent, 100);
    EXPECT_EQ(ticks[256].period_ms, 1200);  // step 257
    EXPECT_EQ(ticks[261].period_ms, 1200);  // step 262
    EXPECT_FALSE(ticks[256].sent);
    ASSERT_TRUE(end.has_value());
    EXPECT_TRUE(end->close_dialog);
    EXPECT_EQ(end->state, BulkTick::State::finished);
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_TRUE(ui.boxes.empty());  // no success box per command, none after the end

    ASSERT_EQ(serial.frames.size(), 278u);
    std::string spaces;
    for (int i = 0; i < 14; ++i) spaces += "2121";
    EXPECT_EQ(serial.frames[0], "00CT01T01" + spaces + "\r\n");
    EXPECT_EQ(serial.frames[255], "00CT02B64" + spaces + "\r\n");
    EXPECT_EQ(serial.frames[256].substr(0, 8), "00AST01T");
    EXPECT_EQ(serial.frames[259].substr(0, 8), "00AST02B");
    EXPECT_EQ(serial.frames[260].substr(0, 8), "00CTD01T");
    EXPECT_EQ(serial.frames[264], "00CWL1\r\n");
    EXPECT_EQ(serial.frames[265], "00CEL1\r\n");
    EXPECT_EQ(serial.frames[266], "00SUS01T01\r\n");
    EXPECT_EQ(serial.frames[270], "00CTDPO01T07\r\n");
    EXPECT_EQ(serial.frames[274], "00P01T01\r\n");
    EXPECT_EQ(serial.frames[277], "00P02B01\r\n");
}

TEST_F(BulkTest, UnconvertibleTitleStopsTheRunAfterItsStep) {
    set_slot_text(model.title(0, 2), "AB");
    BulkTransfer bulk(path, BulkKind::set_all);
    ASSERT_TRUE(bulk.start());
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[2].percent, 1);  // the refused title's percentage is still shown
    EXPECT_EQ(ticks[2].state, BulkTick::State::stopped);
    EXPECT_TRUE(end->enable_close);
    EXPECT_EQ(serial.frames.size(), 2u);
    // One message: the step, the title's command, the JIS warning, what was answered.
    EXPECT_EQ(ui.texts(), std::vector<std::string>{
                              "ステップ 3/280 (CT01T03) で中断しました。\n"
                              "ＪＩＳ第１水準,第２水準以外の字が選択されてます\n応答済み 2/280"});
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_EQ(model.answer_error, 0);
}

TEST_F(BulkTest, ErrorAnswerEndsTheTransferAtOnceWithOneMessage) {
    BulkTransfer bulk(path, BulkKind::read_settings);
    bulk.on_end = [this](const BulkTick& t) { end = t; };
    ASSERT_TRUE(bulk.start());
    bulk.tick();
    bulk.tick();
    dispatcher.dispatch_serial("00E3\r\n");  // the answer to step 1
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(end->state, BulkTick::State::stopped);
    EXPECT_EQ(bulk.tick().state, BulkTick::State::stopped);
    EXPECT_EQ(serial.frames.size(), 2u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/285 (RAST01B) で中断しました。\n"
                                                   "Command Error\n応答済み 0/285"});
    // The late answer of step 2 is matched to nothing: no box.
    dispatcher.dispatch_serial("00GO\r\n");
    EXPECT_EQ(ui.boxes.size(), 1u);
    // A new start begins again at step 1.
    ASSERT_TRUE(bulk.start());
    bulk.tick();
    EXPECT_EQ(serial.frames.back(), "00RAST01B\r\n");
}

TEST_F(BulkTest, ReadSettingsStepTable) {
    EXPECT_EQ(read_settings_body(1), "RAST01B\r\n");
    EXPECT_EQ(read_settings_body(12), "RCTDPO02T\r\n");
    EXPECT_EQ(read_settings_body(22), "RP02T\r\n");
    EXPECT_FALSE(read_settings_body(23).has_value());
    EXPECT_FALSE(read_settings_body(29).has_value());
    EXPECT_EQ(read_settings_body(30), "RCT01T01\r\n");
    EXPECT_EQ(read_settings_body(94), "RCT01B01\r\n");
    EXPECT_EQ(read_settings_body(285), "RCT02B64\r\n");

    BulkTransfer bulk(path, BulkKind::read_settings);
    ASSERT_TRUE(bulk.start());
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 285u);
    EXPECT_EQ(ticks[0].percent, 0);
    EXPECT_EQ(ticks[142].percent, 50);
    EXPECT_EQ(ticks[284].percent, 99);
    EXPECT_TRUE(ticks[25].progress_step);  // idle steps still count
    EXPECT_TRUE(end->close_dialog);
    EXPECT_EQ(serial.frames.size(), 278u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Socket Read ＯＫ"});
}

TEST_F(BulkTest, StartNeedsALinkAndOnlyOneTransferAtATime) {
    BulkTransfer a(path, BulkKind::display_lines);
    BulkTransfer b(path, BulkKind::switch_time_lines);
    ASSERT_TRUE(a.start());
    EXPECT_FALSE(b.start());
    a.stop();
    ui.clear();
    model.interface_kind = 1;
    EXPECT_FALSE(b.start());
    EXPECT_EQ(ui.texts().back(), "Socket が接続されていません");
}

TEST_F(BulkTest, LineTransfersSendFourLines) {
    model.same_time_choice = 0;
    BulkTransfer bulk(path, BulkKind::switch_time_lines);
    ASSERT_TRUE(bulk.start());
    EXPECT_EQ(bulk.period_ms(), 1200);
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_TRUE(end->reset_progress);
    EXPECT_FALSE(ticks[3].percent.has_value());
    EXPECT_EQ(serial.frames[3].substr(0, 8), "00AST02B");
}

TEST_F(BulkTest, NetworkReadSendsNineBareReadsThenRefreshes) {
    BulkTransfer bulk(path, BulkKind::network_read);
    ASSERT_TRUE(bulk.start());
    EXPECT_FALSE(bulk.start());  // pressed twice: one sequence
    model.address_prefix_on = 1;
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 9u);
    EXPECT_TRUE(end->enable_close);
    EXPECT_TRUE(end->refresh);
    ASSERT_EQ(serial.frames.size(), 9u);
    EXPECT_EQ(serial.frames[0], "RAA\r\n");
    EXPECT_EQ(serial.frames[8], "RVN\r\n");
}

TEST_F(BulkTest, GlyphRegisterSendsTwentyEightCommands) {
    GlyphBulk g(path);
    ui.answers = {false};
    EXPECT_FALSE(g.start_register());
    EXPECT_EQ(ui.questions.at(0).text, "本機が自動切換えでない事を確認してください");
    ASSERT_TRUE(g.start_register());
    EXPECT_EQ(g.period_ms(), 2000);
    GlyphBulk::Tick t;
    int ticks = 0;
    do {
        t = g.tick();
        answer_new_frames();
        ++ticks;
        if (ticks == 27) {
            EXPECT_EQ(t.percent_text, " 96.4");
        }
        if (ticks == 1) {
            EXPECT_EQ(t.percent_text, " 03.5");
        }
    } while (g.running() && ticks < 40);
    EXPECT_EQ(ticks, 28);
    EXPECT_FALSE(g.running());
    ASSERT_EQ(serial.frames.size(), 28u);
    EXPECT_EQ(serial.frames[0].substr(0, 6), "00GR01");
    EXPECT_EQ(serial.frames[27].substr(0, 6), "00GR28");
    EXPECT_EQ(model.glyph_index, 0);
    EXPECT_EQ(model.glyph_bulk_active, 0);
}

TEST_F(BulkTest, GlyphReadWaitsForEachAnswer) {
    GlyphBulk g(path);
    ASSERT_TRUE(g.start_read());
    g.tick();
    g.tick();
    g.tick();
    ASSERT_EQ(serial.frames.size(), 1u);  // no answer yet: nothing more
    EXPECT_EQ(serial.frames[0], "00RFBMBA65\r\n");
    dispatcher.dispatch_serial("00FBMBA65" + std::string(576, 'A') + "\r\n");
    EXPECT_EQ(model.glyph_index, 1);
    g.tick();
    EXPECT_EQ(serial.frames.back(), "00RFBMBA66\r\n");
    EXPECT_EQ(GlyphBulk::percent_text(14), " 50.0");
}

// Faults on TCP: the first time-out ends the run with one message; the late answer of the
// timed-out command is matched to nothing and the next command waits for it; an error
// answer left from a single command does not cancel the next run.
TEST_F(BulkTest, TcpFaultsEndTheRunOnceAndLateAnswersMatchNothing) {
    use_tcp();
    model.answer_error = 1;  // left by an earlier single command
    BulkTransfer bulk(path, BulkKind::set_all);
    bulk.on_end = [this](const BulkTick& t) { end = t; };
    ASSERT_TRUE(bulk.start());
    for (int i = 0; i < 4; ++i) bulk.tick();  // the device answers only the first two
    dispatcher.dispatch_tcp("00GO\r\n");
    dispatcher.dispatch_tcp("00GO\r\n");
    ASSERT_EQ(tcp.frames.size(), 3u);
    for (int i = 0; i < SendPath::kTimeoutTicks; ++i) path.answer_timeout_tick();
    ASSERT_TRUE(end.has_value());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 3/280 (CT01T03) で中断しました。\n"
                                                   "Answer が､きません\n応答済み 2/280"});
    EXPECT_EQ(path.tcp_queued(), 0u);  // step 4 is accounted for by the message

    // A single command now waits for the late answer of step 3, which changes nothing.
    ui.clear();
    path.send_command("P01T05\r\n");
    EXPECT_EQ(tcp.frames.size(), 3u);
    dispatcher.dispatch_tcp("00E3\r\n");
    EXPECT_TRUE(ui.boxes.empty());
    ASSERT_EQ(tcp.frames.size(), 4u);
    dispatcher.dispatch_tcp("00GO\r\n");
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Socket ＯＫ"});

    // The link goes away during a run: it ends at once, with one message.
    ui.clear();
    ASSERT_TRUE(bulk.start());
    bulk.tick();
    path.link_lost(true, "Socket が接続されていません");
    EXPECT_FALSE(bulk.running());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/280 (CT01T01) で中断しました。\n"
                                                   "Socket が接続されていません\n応答済み 0/280"});
}

}  // namespace
}  // namespace tqv
