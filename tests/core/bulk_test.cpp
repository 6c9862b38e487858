#include "core/bulk.h"

#include <gtest/gtest.h>

#include "core/answers.h"
#include "core/commands.h"
#include "core_fixture.h"

namespace tqv {
namespace {

struct BulkTest : CoreFixture {
    // Runs a transfer to its end, collecting the ticks.
    std::vector<BulkTick> run(BulkTransfer& bulk, int max_ticks = 400) {
        std::vector<BulkTick> ticks;
        for (int i = 0; i < max_ticks; ++i) {
            ticks.push_back(bulk.tick());
            if (ticks.back().state != BulkTick::State::running) break;
        }
        return ticks;
    }
};

TEST_F(BulkTest, SetAllItemsAfterNewSendsTheWholeModelInOrder) {
    BulkTransfer bulk(path, BulkKind::set_all);
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
    EXPECT_TRUE(ticks[279].close_dialog);
    EXPECT_EQ(ticks[279].state, BulkTick::State::finished);
    EXPECT_EQ(model.bulk_active, 0);

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
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_EQ(ticks[2].percent, 1);  // the refused title's percentage is still shown
    EXPECT_EQ(ticks[3].state, BulkTick::State::stopped);
    EXPECT_TRUE(ticks[3].enable_close);
    EXPECT_EQ(serial.frames.size(), 2u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ＪＩＳ第１水準,第２水準以外の字が選択されてます"});
    EXPECT_EQ(model.bulk_active, 0);
    EXPECT_EQ(model.answer_error, 0);
}

TEST_F(BulkTest, ErrorAnswerEndsTheTransferAtTheNextTick) {
    AnswerDispatcher dispatcher(path);
    BulkTransfer bulk(path, BulkKind::read_settings);
    ASSERT_TRUE(bulk.start());
    bulk.tick();
    bulk.tick();
    dispatcher.dispatch_serial("00E3\r\n");
    EXPECT_EQ(bulk.tick().state, BulkTick::State::stopped);
    EXPECT_EQ(serial.frames.size(), 2u);
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
    EXPECT_TRUE(ticks[284].close_dialog);
    EXPECT_EQ(serial.frames.size(), 278u);
}

TEST_F(BulkTest, StartNeedsALinkAndOnlyOneTransferAtATime) {
    BulkTransfer a(path, BulkKind::display_lines);
    BulkTransfer b(path, BulkKind::switch_time_lines);
    ASSERT_TRUE(a.start());
    EXPECT_FALSE(b.start());
    a.tick();
    model.bulk_active = 0;
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
    EXPECT_TRUE(ticks[3].reset_progress);
    EXPECT_FALSE(ticks[3].percent.has_value());
    EXPECT_EQ(serial.frames[3].substr(0, 8), "00AST02B");
}

TEST_F(BulkTest, NetworkReadSendsNineBareReadsThenRefreshes) {
    BulkTransfer bulk(path, BulkKind::network_read);
    ASSERT_TRUE(bulk.start());
    EXPECT_FALSE(bulk.start());  // pressed twice: one sequence
    model.address_prefix_on = 1;
    auto ticks = run(bulk);
    ASSERT_EQ(ticks.size(), 10u);
    EXPECT_TRUE(ticks[8].enable_close);
    EXPECT_TRUE(ticks[9].refresh);
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
        ++ticks;
        if (ticks == 27) {
            EXPECT_EQ(t.percent_text, " 96.4");
        }
        if (ticks == 1) {
            EXPECT_EQ(t.percent_text, " 03.5");
        }
    } while (!t.finished);
    EXPECT_EQ(ticks, 28);
    EXPECT_EQ(t.percent_text, "   ");
    ASSERT_EQ(serial.frames.size(), 28u);
    EXPECT_EQ(serial.frames[0].substr(0, 6), "00GR01");
    EXPECT_EQ(serial.frames[27].substr(0, 6), "00GR28");
    EXPECT_EQ(model.glyph_index, 0);
    EXPECT_EQ(model.glyph_bulk_active, 0);
}

TEST_F(BulkTest, GlyphReadWaitsForEachAnswer) {
    AnswerDispatcher dispatcher(path);
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

}  // namespace
}  // namespace tqv
