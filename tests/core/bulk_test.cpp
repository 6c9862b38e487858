#include "core/bulk.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "core/answers.h"
#include "core/commands.h"
#include "core/texts.h"
#include "core_fixture.h"

namespace tqv {
namespace {

struct BulkTest : CoreFixture {
    AnswerDispatcher dispatcher{path};
    std::size_t answered = 0;
    std::unique_ptr<RunSteps> steps;
    std::unique_ptr<tqv::Run> run;
    std::optional<RunEnd> end;  // how the last run ended

    tqv::Run& make(std::unique_ptr<RunSteps> s) {
        run.reset();
        steps = std::move(s);
        run = std::make_unique<tqv::Run>(path, *steps);
        end.reset();
        run->ended_observers.add([this](RunEnd why) { end = why; });
        return *run;
    }
    tqv::Run& make(BulkKind kind) { return make(std::make_unique<BulkTransfer>(kind)); }

    // The device: `answer` to every new addressed frame.
    void answer_new_frames(const char* answer = "GO\r\n") {
        auto& frames = model.interface_kind == 0 ? serial.frames : tcp.frames;
        for (; answered < frames.size(); ++answered) {
            if (frames[answered].substr(0, 2) == "FF") continue;
            // Every command body starts with a letter: digits in front are an address.
            const bool addressed = std::isdigit(static_cast<unsigned char>(frames[answered][0]));
            const std::string line = (addressed ? "00" : "") + std::string(answer);
            if (model.interface_kind == 0) {
                dispatcher.dispatch_serial(line);
            } else {
                dispatcher.dispatch_tcp(line);
            }
        }
    }
    // Runs to its end against a device that answers, collecting the ticks that stepped.
    std::vector<tqv::Run::Tick> run_through(int max_ticks = 400) {
        std::vector<tqv::Run::Tick> ticks;
        for (int i = 0; i < max_ticks && run->running(); ++i) {
            const tqv::Run::Tick t = run->tick();
            if (t.stepped) ticks.push_back(t);
            answer_new_frames();
        }
        return ticks;
    }
};

TEST_F(BulkTest, SetAllItemsAfterNewSendsTheWholeModelInOrder) {
    tqv::Run& r = make(BulkKind::set_all);
    ASSERT_TRUE(r.start(false));
    // 257 steps of 600 ms and 23 of 1200 ms.
    EXPECT_EQ(remaining_text(r.remaining_ms(0)), "残り 3:02");
    EXPECT_EQ(r.next_period_ms(), 600);
    auto ticks = run_through();
    ASSERT_EQ(ticks.size(), 280u);
    EXPECT_EQ(ticks[0].percent, 0);
    EXPECT_EQ(ticks[139].percent, 50);
    EXPECT_EQ(ticks[279].percent, 100);
    EXPECT_EQ(steps->period_ms(257), 600);
    EXPECT_EQ(steps->period_ms(258), 1200);
    EXPECT_FALSE(ticks[256].sent);
    EXPECT_EQ(end, RunEnd::completed);
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

TEST_F(BulkTest, UnconvertibleTitleStopsTheRunAtItsStep) {
    set_slot_text(model.title(0, 2), "AB");
    tqv::Run& r = make(BulkKind::set_all);
    ASSERT_TRUE(r.start(false));
    auto ticks = run_through();
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_EQ(ticks[2].percent, 1);  // the refused title's percentage is still shown
    EXPECT_EQ(end, RunEnd::refused);
    EXPECT_EQ(serial.frames.size(), 2u);
    // One message: the step, the title's command, the JIS warning, what was answered.
    EXPECT_EQ(ui.texts(), std::vector<std::string>{
                              "ステップ 3/280 (CT01T03) で中断しました。\n"
                              "ＪＩＳ第１水準,第２水準以外の字が選択されてます\n応答済み 2/280"});
    EXPECT_EQ(model.bulk_active, 0);
}

TEST_F(BulkTest, ErrorAnswerEndsTheRunAtOnceWithOneMessage) {
    tqv::Run& r = make(BulkKind::read_settings);
    ASSERT_TRUE(r.start(false));
    r.tick();
    r.tick();
    dispatcher.dispatch_serial("00E3\r\n");  // the answer to step 1
    EXPECT_EQ(end, RunEnd::error_answer);
    EXPECT_FALSE(r.tick().stepped);
    EXPECT_EQ(serial.frames.size(), 2u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 1/285 (RAST01B) で中断しました。\n"
                                                   "Command Error\n応答済み 0/285"});
    // The late answer of step 2 is matched to nothing: no box.
    dispatcher.dispatch_serial("00GO\r\n");
    EXPECT_EQ(ui.boxes.size(), 1u);
    // A new run begins again at step 1.
    tqv::Run& again = make(BulkKind::read_settings);
    ASSERT_TRUE(again.start(false));
    again.tick();
    EXPECT_EQ(serial.frames.back(), "00RAST01B\r\n");
}

TEST_F(BulkTest, ReadSettingsStepTableAndTheDocumentMarkedUnsaved) {
    EXPECT_EQ(read_settings_body(1), "RAST01B\r\n");
    EXPECT_EQ(read_settings_body(12), "RCTDPO02T\r\n");
    EXPECT_EQ(read_settings_body(22), "RP02T\r\n");
    EXPECT_FALSE(read_settings_body(23).has_value());
    EXPECT_FALSE(read_settings_body(29).has_value());
    EXPECT_EQ(read_settings_body(30), "RCT01T01\r\n");
    EXPECT_EQ(read_settings_body(94), "RCT01B01\r\n");
    EXPECT_EQ(read_settings_body(285), "RCT02B64\r\n");

    tqv::Run& r = make(BulkKind::read_settings);
    ASSERT_TRUE(r.start(false));
    std::vector<tqv::Run::Tick> ticks;
    for (int i = 0; i < 400 && r.running(); ++i) {
        const tqv::Run::Tick t = r.tick();
        if (t.stepped) ticks.push_back(t);
        // The device's white level differs from the document's.
        answer_new_frames(answered == 13 ? "CWL7\r\n" : "GO\r\n");
    }
    ASSERT_EQ(ticks.size(), 285u);
    EXPECT_EQ(ticks[0].percent, 0);
    EXPECT_EQ(ticks[142].percent, 50);
    EXPECT_EQ(ticks[284].percent, 99);
    EXPECT_FALSE(ticks[25].sent);  // idle steps still count
    EXPECT_EQ(end, RunEnd::completed);
    EXPECT_EQ(serial.frames.size(), 278u);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Socket Read ＯＫ"});
    EXPECT_EQ(model.white_level, 7);
    EXPECT_EQ(model.document_dirty, 1);
}

TEST_F(BulkTest, StartNeedsALinkAndOnlyOneRunAtATime) {
    BulkTransfer a_steps(BulkKind::display_lines), b_steps(BulkKind::switch_time_lines);
    tqv::Run a(path, a_steps), b(path, b_steps);
    ASSERT_TRUE(a.start(false));
    EXPECT_TRUE(run_under_way(model));
    EXPECT_FALSE(b.start(false));
    a.stop();
    EXPECT_FALSE(run_under_way(model));
    // The operator's own stop is told as information, not as a fault.
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::information);
    EXPECT_EQ(ui.boxes[0].text, "ステップ 1/4 (CTD01T) で中止しました。\n応答済み 0/4");
    ui.clear();
    model.interface_kind = 1;
    EXPECT_FALSE(b.start(false));
    EXPECT_EQ(ui.texts().back(), "Socket が接続されていません");
}

TEST_F(BulkTest, NetworkReadSendsNineBareReads) {
    tqv::Run& r = make(BulkKind::network_read);
    ASSERT_TRUE(r.start(false));
    EXPECT_FALSE(tqv::Run(path, *steps).start(false));  // pressed twice: one sequence
    auto ticks = run_through();
    ASSERT_EQ(ticks.size(), 9u);
    EXPECT_EQ(end, RunEnd::completed);
    ASSERT_EQ(serial.frames.size(), 9u);
    EXPECT_EQ(serial.frames[0], "RAA\r\n");
    EXPECT_EQ(serial.frames[8], "RVN\r\n");
}

TEST_F(BulkTest, GlyphRegisterAndReadWriteOnlyTheirOwnFlags) {
    tqv::Run& reg = make(std::make_unique<GlyphBulk>(true));
    ASSERT_TRUE(reg.start(false));
    EXPECT_EQ(model.glyph_bulk_active, 1);
    EXPECT_EQ(reg.next_period_ms(), 2000);
    EXPECT_EQ(run_through().size(), 28u);
    EXPECT_EQ(end, RunEnd::completed);
    ASSERT_EQ(serial.frames.size(), 28u);
    EXPECT_EQ(serial.frames[0].substr(0, 6), "00GR01");
    EXPECT_EQ(serial.frames[27].substr(0, 6), "00GR28");
    EXPECT_EQ(model.glyph_index, 0);
    EXPECT_EQ(model.glyph_bulk_active, 0);
    EXPECT_EQ(GlyphBulk::percent_text(1), " 03.5");
    EXPECT_EQ(GlyphBulk::percent_text(14), " 50.0");

    // A read asks for the next glyph only once the one before is in, and stores each in
    // the slot of its own step.
    serial.frames.clear();
    answered = 0;
    tqv::Run& read = make(std::make_unique<GlyphBulk>(false));
    ASSERT_TRUE(read.start(false));
    read.tick();
    read.tick();
    ASSERT_EQ(serial.frames.size(), 1u);
    EXPECT_EQ(serial.frames[0], "00RFBMBA65\r\n");
    dispatcher.dispatch_serial("00FBMBA65" + std::string(576, 'A') + "\r\n");
    read.tick();
    EXPECT_EQ(serial.frames.back(), "00RFBMBA66\r\n");
    EXPECT_EQ(model.glyph_index, 1);
    EXPECT_EQ(model.glyph_data[0][0], 'A');
}

// Faults on TCP: the first time-out ends the run with one message; the late answer of the
// timed-out command is matched to nothing and the next command waits for it.
TEST_F(BulkTest, TcpFaultsEndTheRunOnceAndLateAnswersMatchNothing) {
    use_tcp();
    tqv::Run& r = make(BulkKind::set_all);
    ASSERT_TRUE(r.start(false));
    // On TCP each step waits for the answer to the one before: the pace counts what went
    // out, never a queue.
    r.tick();
    EXPECT_FALSE(r.tick().stepped);
    dispatcher.dispatch_tcp("00GO\r\n");
    r.tick();
    dispatcher.dispatch_tcp("00GO\r\n");
    r.tick();
    EXPECT_FALSE(r.tick().stepped);
    ASSERT_EQ(tcp.frames.size(), 3u);
    EXPECT_EQ(path.tcp_queued(), 0u);
    for (int i = 0; i < SendPath::kTimeoutTicks; ++i) path.answer_timeout_tick();
    EXPECT_EQ(end, RunEnd::timeout);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 3/280 (CT01T03) で中断しました。\n"
                                                   "Answer が､きません\n応答済み 2/280"});

    // A single command now waits for the late answer of step 3, which changes nothing.
    ui.clear();
    path.send_command("P01T05\r\n");
    EXPECT_EQ(tcp.frames.size(), 3u);
    dispatcher.dispatch_tcp("00E3\r\n");
    EXPECT_TRUE(ui.boxes.empty());
    ASSERT_EQ(tcp.frames.size(), 4u);
    dispatcher.dispatch_tcp("00GO\r\n");
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"Socket ＯＫ"});

    // The link goes away between steps: the message names the step that will not go out.
    ui.clear();
    tqv::Run& again = make(BulkKind::set_all);
    ASSERT_TRUE(again.start(false));
    again.tick();
    dispatcher.dispatch_tcp("00GO\r\n");
    path.link_lost(true, "Socket が接続されていません");
    EXPECT_FALSE(again.running());
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 2/280 (CT01T02) で中断しました。\n"
                                                   "Socket が接続されていません\n応答済み 1/280"});
}

// A run started while a single command awaits its answer waits for it (or its time-out);
// the single keeps its own box, the run its own end. On both links.
TEST_F(BulkTest, ARunWaitsForTheSingleCommandBeforeIt) {
    for (const bool tcp_link : {false, true}) {
        SCOPED_TRACE(tcp_link ? "tcp" : "serial");
        model.interface_kind = tcp_link ? 1 : 0;
        model.tcp_connected = 1;
        auto& wire = tcp_link ? tcp.frames : serial.frames;
        wire.clear();
        answered = 0;
        ui.clear();
        path.send_command("P01T05\r\n");
        tqv::Run& r = make(BulkKind::display_lines);
        ASSERT_TRUE(r.start(false));
        EXPECT_FALSE(r.tick().stepped) << "the single command still awaits its answer";
        for (int i = 0; i < SendPath::kTimeoutTicks; ++i) path.answer_timeout_tick();
        EXPECT_EQ(ui.texts().size(), 1u);  // the single's time-out, not the run's
        // The single's late answer may still come over TCP; then the run goes on.
        if (tcp_link) dispatcher.dispatch_tcp("00GO\r\n");
        answered = wire.size();
        for (int i = 0; i < 20 && r.running(); ++i) {
            r.tick();
            answer_new_frames();
        }
        EXPECT_EQ(end, RunEnd::completed);
        EXPECT_EQ(wire.size(), 5u);
        EXPECT_EQ(ui.texts().size(), 1u);
    }
}

// A serial device that loses one answer in the middle of a run: the oldest waiting command
// times out and the run ends, naming it, instead of waiting forever. A command sent
// without an address is named whole.
TEST_F(BulkTest, ALostSerialAnswerEndsTheRunByItsTimeOut) {
    tqv::Run& r = make(BulkKind::network_read);
    ASSERT_TRUE(r.start(false));
    r.tick();
    r.tick();
    r.tick();
    dispatcher.dispatch_serial("AA192.168.001.002\r\n");  // the answer to step 1 only
    for (int i = 0; i < SendPath::kTimeoutTicks; ++i) path.answer_timeout_tick();
    EXPECT_EQ(end, RunEnd::timeout);
    EXPECT_EQ(ui.texts(), std::vector<std::string>{"ステップ 2/9 (RGA) で中断しました。\n" +
                                                   std::string(text::kNoConnect) + "\n応答済み 1/9"});
    EXPECT_EQ(model.answer_pending, 0);
}

}  // namespace
}  // namespace tqv

// What a state read sends, and which value each answered read carries, whatever the frame
// looks like on the wire.
TEST(StateReadTest, ReadsAreTheSettingsTablesAndEachFrameNamesItsValue) {
    const std::vector<std::string> pages = tqv::state_read_bodies(false);
    ASSERT_EQ(pages.size(), 12u);
    EXPECT_EQ(pages.front(), "RP01B\r\n");
    EXPECT_EQ(pages.back(), "RCTD02T\r\n");
    const std::vector<std::string> titles = tqv::state_read_bodies(true);
    ASSERT_EQ(titles.size(), std::size_t(tqv::kTitles));
    using K = tqv::ReadItem::Kind;
    const struct {
        const char* frame;
        std::optional<K> kind;
        int line, slot;
    } cases[] = {
        {"RP01T\r\n", K::page, 0, 0},      {"00RP02B\r\n", K::page, 3, 0},
        {"07RSUS01B\r\n", K::startup, 1, 0}, {"RCTD02T", K::display, 2, 0},
        {"00RCT01T01\r\n", K::title, 0, 0}, {"RCT02B64\r\n", K::title, 3, 255},
        {"RCT01B05", K::title, 1, 68},
        // Not reads of the state: other reads, writes, and what is malformed.
        {"RCTDPO01T\r\n", {}, 0, 0},        {"P01T05\r\n", {}, 0, 0},
        {"RCT01T65\r\n", {}, 0, 0},         {"RCT01T00", {}, 0, 0},
        {"RP03T\r\n", {}, 0, 0},            {"RP01X", {}, 0, 0},
        {"RCEL\r\n", {}, 0, 0},             {"", {}, 0, 0},
    };
    for (const auto& c : cases) {
        const std::optional<tqv::ReadItem> item = tqv::read_item(c.frame);
        ASSERT_EQ(item.has_value(), c.kind.has_value()) << c.frame;
        if (!item) continue;
        EXPECT_EQ(item->kind, *c.kind) << c.frame;
        EXPECT_EQ(item->line, c.line) << c.frame;
        EXPECT_EQ(item->slot, c.slot) << c.frame;
    }
    // Every read the state read sends is understood as what it asks for.
    for (const auto& list : {pages, titles})
        for (const std::string& body : list) EXPECT_TRUE(tqv::read_item("00" + body).has_value()) << body;
}
