#include "core/answers.h"
#include "core/box_queue.h"
#include "core/bulk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <utility>

#include "core/commands.h"
#include "core/digits.h"
#include "core/texts.h"
#include "core/titles.h"
#include "core_fixture.h"

namespace tqv {
namespace {

struct AnswersTest : CoreFixture {
    AnswerDispatcher dispatcher{path};

    static std::string repeat(std::string_view s, int n) {
        std::string out;
        for (int i = 0; i < n; ++i) out += s;
        return out;
    }
};

TEST_F(AnswersTest, SerialGoShowsSuccessOnlyWithPrefixAndNoBulk) {
    model.answer_pending = 1;
    model.pending_ticks = 3;
    dispatcher.dispatch_serial("05GO\r\n");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Success");
    EXPECT_EQ(ui.boxes[0].caption, "設定完了");
    EXPECT_EQ(model.answer_pending, 0);
    EXPECT_EQ(model.pending_ticks, 0);

    // The answer to a bare command is taken whole: an address in front is not dropped.
    path.serial_send("RVN\r\n", Addressing::bare);
    dispatcher.dispatch_serial("05GO\r\n");
    EXPECT_EQ(ui.boxes.size(), 1u);

    // While a run is under way, a "GO" shows no box over it.
    path.send_command("RCEL\r\n");
    for (const bool glyphs : {false, true}) {
        BulkTransfer lines(BulkKind::display_lines);
        GlyphBulk reads(false);
        tqv::Run run(path, glyphs ? static_cast<RunSteps&>(reads) : lines);
        ASSERT_TRUE(run.start(false));
        dispatcher.dispatch_serial("05GO\r\n");
    }
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST_F(AnswersTest, TcpGoIsRecognisedByItsLeadingLetters) {
    dispatcher.dispatch_tcp("00GOOD\r\n");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Socket ＯＫ");
    EXPECT_EQ(ui.boxes[0].caption, "Success");
}

TEST_F(AnswersTest, TcpPiecesAreJoinedAndDispatchedOnce) {
    std::string line = "00CT01T05" + repeat("2422", 3) + repeat("2121", 11) + "\r\n";
    dispatcher.tcp_receive(line.substr(0, 20));
    EXPECT_EQ(slot_length(model.title(0, 4)), 0u);
    dispatcher.tcp_receive(line.substr(20));
    EXPECT_EQ(slot_text(model.title(0, 4)), "\x82\xa0\x82\xa0\x82\xa0");
    // Two answers in one piece are two dispatches.
    dispatcher.tcp_receive("00GO\r\n00GO\r\n");
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(AnswersTest, TitleAnswerReplacesTheWholeSlot) {
    set_slot_text(model.title(2, 9), std::string(28, '\x82'));
    dispatcher.dispatch_serial("00CT02T10" + repeat("2121", 14) + "\r\n");
    EXPECT_EQ(slot_length(model.title(2, 9)), 0u);

    // Glyph 01 comes back as its placeholder; trailing spaces only are removed.
    dispatcher.dispatch_serial("00CT01B01BA652121" + repeat("2422", 1) + repeat("2121", 11) +
                               "\r\n");
    EXPECT_EQ(slot_text(model.title(1, 0)), std::string("\x10\x20\x81\x40\x82\xa0", 6));
}

// Each answer line says which shown value it wrote; malformed ones and values not shown
// touch nothing.
TEST_F(AnswersTest, EachAnswerTellsTheValueItTouched) {
    std::vector<Touched> touched;
    dispatcher.touched.add([&](const Touched& t) { touched.push_back(t); });
    using K = Touched::Kind;
    const std::string codes = repeat("2422", 14);
    const struct {
        std::string line;
        std::vector<Touched> expected;
    } cases[] = {
        {"00P01T05", {{K::page, 0}}},
        {"00P02BA", {{K::page, 3}}},
        {"00SUS01B64", {{K::startup, 1}}},
        {"00SUS02TA", {{K::startup, 2}}},
        {"00CT01T01" + codes, {{K::title, 0}}},
        {"00CT02B64" + codes, {{K::title, 255}}},
        {"00CT01B10" + codes, {{K::title, 64 + 9}}},
        {"00CTD02T" + std::string(64, 'N'), {{K::display, 2}}},
        {"00CTDPO01B15", {{K::position, 1}}},
        {"00CEL3", {{K::edge_level, 0}}},
        {"00CWL0", {{K::white_level, 0}}},
        // Not shown, or not well formed: nothing.
        {"00AST01T" + repeat("01", 64), {}},
        {"00CTDPO01T1", {}},
        {"00CELx", {}},
        {"00GO", {}},
        {"00E3", {}},
        {"00P03T05", {}},
        {"00P01T65", {}},
        {"00SUS01T", {}},
        {"00CT01T01" + codes.substr(4), {}},
        {"00CTD01T" + std::string(63, 'N'), {}},
    };
    for (const auto& c : cases) {
        touched.clear();
        dispatcher.dispatch_tcp(c.line + "\r\n");
        EXPECT_EQ(touched, c.expected) << c.line;
    }
}

// What a command has the device hold once answered, read from its body or its frame.
TEST(CommandSettingTest, ReadsWhatThePageTitleLevelAndPositionCommandsSet) {
    using K = Touched::Kind;
    std::array<char, 29> padded{};
    ASSERT_TRUE(pad_title_bytes("\x82\xa0", padded));
    const std::string title = *build_title_body(1, 130, padded);
    const std::string no_memory = *build_title_body(0, 5, padded);
    const struct {
        std::string body;
        std::optional<K> kind;
        int index = 0;
        int page = 0;
        std::string title;
    } cases[] = {
        {body_page_switch_to(2, 4), K::page, 2, 4, ""},
        {"00" + body_page_switch_to(3, kAutoPage), K::page, 3, kAutoPage, ""},
        {"FF" + body_startup_page_to(1, 63), K::startup, 1, 63, ""},
        {body_startup_page_to(0, kAutoPage), K::startup, 0, kAutoPage, ""},
        {title, K::title, 130, 0, "\x82\xa0"},
        {"05" + no_memory, K::title, 5, 0, "\x82\xa0"},
        {"CTD01T05ON\r\n", std::nullopt, 0, 0, ""},
        {"CTD01T" + std::string(64, 'N') + "\r\n", std::nullopt, 0, 0, ""},
        {"RP01T\r\n", std::nullopt, 0, 0, ""},
        {"PN12345\r\n", std::nullopt, 0, 0, ""},
        {"P04T05\r\n", std::nullopt, 0, 0, ""},
        {title.substr(0, 20), std::nullopt, 0, 0, ""},
        // The value of a level or a position is in the page column.
        {"00CTDPO02B11\r\n", K::position, 3, 11, ""},
        {"CWL3\r\n", K::white_level, 0, 3, ""},
        {"FFCEL0\r\n", K::edge_level, 0, 0, ""},
        {"CTDPO05T11\r\n", std::nullopt, 0, 0, ""},
        {"CTDPO01T1\r\n", std::nullopt, 0, 0, ""},
        {"CWLx\r\n", std::nullopt, 0, 0, ""},
        {"", std::nullopt, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.body);
        const auto s = command_setting(c.body);
        ASSERT_EQ(s.has_value(), c.kind.has_value());
        if (!s) continue;
        EXPECT_EQ(s->touched, (Touched{*c.kind, c.index}));
        if (*c.kind == K::title) {
            EXPECT_EQ(s->title, c.title);
        } else {
            EXPECT_EQ(*c.kind == K::page || *c.kind == K::startup ? s->page : s->value, c.page);
        }
    }
}

TEST_F(AnswersTest, ShortOrMalformedReportsLeaveTheModelUnchanged) {
    set_slot_text(model.title(0, 0), "\x82\xa0");
    dispatcher.dispatch_serial("00CT01T01" + repeat("2121", 13) + "\r\n");  // 4 digits short
    dispatcher.dispatch_serial("00CT03T01" + repeat("2121", 14) + "\r\n");  // no channel 03
    dispatcher.dispatch_serial("00CT01T65" + repeat("2121", 14) + "\r\n");  // no page 65
    EXPECT_EQ(slot_text(model.title(0, 0)), "\x82\xa0");

    model.glyph_data[0].fill('0');
    dispatcher.dispatch_serial("00FBM0000" + std::string(575, 'F') + "\r\n");
    EXPECT_EQ(model.glyph_data[0][0], '0');
    model.glyph_index = 70;
    dispatcher.dispatch_serial("00FBM0000" + std::string(576, 'F') + "\r\n");
    model.glyph_index = -1;
    dispatcher.dispatch_serial("00FBM0000" + std::string(576, 'F') + "\r\n");
    for (const auto& g : model.glyph_data) EXPECT_EQ(std::string(g.data(), 580), std::string(580, '0'));

    dispatcher.dispatch_serial("00AST01T" + repeat("0x", 64) + "\r\n");
    EXPECT_EQ(model.switch_time[0][0], 2);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AnswersTest, ValueReportsWriteTheirMembers) {
    std::string times;
    for (int p = 0; p < 64; ++p) times += two_digits(p);
    dispatcher.dispatch_serial("00AST02B" + times + "\r\n");
    EXPECT_EQ(model.switch_time[3][0], 0);
    EXPECT_EQ(model.switch_time[3][63], 63);

    dispatcher.dispatch_serial("00CTD01TN" + std::string(63, 'F') + "\r\n");
    EXPECT_EQ(model.title_display[0][0], 1);
    for (int p = 1; p < 64; ++p) EXPECT_EQ(model.title_display[0][p], 0);

    dispatcher.dispatch_serial("00CTDPO02T15\r\n");
    EXPECT_EQ(model.position_offset[2], 15);
    dispatcher.dispatch_serial("00CEL3\r\n");
    dispatcher.dispatch_serial("00CWL2\r\n");
    EXPECT_EQ(model.edge_level, 3);
    EXPECT_EQ(model.white_level, 2);
    dispatcher.dispatch_serial("00SUS01BA\r\n");
    EXPECT_EQ(model.startup_page[1], 64);
    dispatcher.dispatch_serial("00P02T64\r\n");
    EXPECT_EQ(model.current_page[2], 63);
    dispatcher.dispatch_serial("00P01BA\r\n");
    EXPECT_EQ(model.current_page[1], 64);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AnswersTest, NetworkReportsWithoutPrefix) {
    // Answers to the bare network reads; the lines after the first answer no waiting
    // command and are read as the last command's answers are.
    path.serial_send("RIA\r\n", Addressing::bare);
    dispatcher.dispatch_serial("IA192.168.001.003\r\n");
    EXPECT_EQ(model.ip_address, (Ipv4{192, 168, 1, 3}));
    dispatcher.dispatch_serial("GA300.000.000.001\r\n");
    EXPECT_EQ(model.gateway_address, (Ipv4{44, 0, 0, 1}));  // stored modulo 256
    dispatcher.dispatch_serial("AA010.000.000.254\r\n");
    EXPECT_EQ(model.active_address, (Ipv4{10, 0, 0, 254}));
    dispatcher.dispatch_serial("MA00-11-22-33-44-55\r\n");
    EXPECT_EQ(slot_text(model.mac_address), "00-11-22-33-44-55");
    dispatcher.dispatch_serial("PN10001\r\n");
    EXPECT_EQ(slot_text(model.device_port_number), "10001");
    dispatcher.dispatch_serial("SMB\r\n");
    EXPECT_EQ(model.subnet_class, 1);
    dispatcher.dispatch_serial("KAON\r\n");
    EXPECT_EQ(model.keep_alive, 1);
    dispatcher.dispatch_serial("KAOF\r\n");
    EXPECT_EQ(model.keep_alive, 0);
    dispatcher.dispatch_serial("TR3\r\n");
    EXPECT_EQ(model.time_register, 2);
    EXPECT_TRUE(ui.boxes.empty());
    dispatcher.dispatch_serial("VN1.32\r\n");
    EXPECT_EQ(slot_text(model.version_number), "1.32");
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].caption, "設定完了");

    // On TCP the version answer shows nothing.
    dispatcher.dispatch_tcp("00VN2.00\r\n");
    EXPECT_EQ(slot_text(model.version_number), "2.00");
    EXPECT_EQ(ui.boxes.size(), 1u);
}

// Whether a command carries the slave address is the command's own: in any order, on the
// serial line, each goes out framed as it always is and its answer is read the same way
// (an addressed answer read whole, or a bare one cut, would be applied nowhere).
TEST_F(AnswersTest, EachCommandIsFramedAndAnsweredAsItselfWhateverCameBefore) {
    struct Exchange {
        Addressing addressing;
        const char* body;
        const char* answer;
        std::function<void(Model&)> clear;
        std::function<bool(const Model&)> applied;
    };
    const Exchange exchanges[] = {
        {Addressing::bare, "RIA\r\n", "IA010.000.000.009\r\n",
         [](Model& m) { m.ip_address = {}; },
         [](const Model& m) { return m.ip_address == Ipv4{10, 0, 0, 9}; }},
        {Addressing::bare, "RTR\r\n", "TR4\r\n", [](Model& m) { m.time_register = 0; },
         [](const Model& m) { return m.time_register == 3; }},
        {Addressing::addressed, "RCEL\r\n", "07CEL2\r\n", [](Model& m) { m.edge_level = 0; },
         [](const Model& m) { return m.edge_level == 2; }},
        {Addressing::addressed, "RP01B\r\n", "07P01B09\r\n",
         [](Model& m) { m.current_page[1] = 0; },
         [](const Model& m) { return m.current_page[1] == 8; }},
    };
    model.slave_address_index = 7;
    std::mt19937 rng(std::random_device{}());
    const unsigned seed = rng();
    rng.seed(seed);
    for (int i = 0; i < 200; ++i) {
        const Exchange& e = exchanges[rng() % std::size(exchanges)];
        e.clear(model);
        path.send_command(e.body, e.addressing);
        const std::string framed =
            (e.addressing == Addressing::addressed ? "07" : "") + std::string(e.body);
        ASSERT_EQ(serial.frames.back(), framed) << "seed " << seed << ", exchange " << i;
        dispatcher.dispatch_serial(e.answer);
        ASSERT_TRUE(e.applied(model)) << e.answer << " seed " << seed << ", exchange " << i;
    }
    EXPECT_TRUE(ui.boxes.empty());
}

// A box runs its own event loop, in which the device's next lines arrive. The box of an
// answer opens only once the dispatch has returned: the line that raised it is handled
// through, a line arriving while it is open is handled at once, and the box that line
// raises opens after the first has closed, never inside it.
TEST(AnswerBoxes, OpenOnlyOnceTheDispatchHasReturned) {
    struct LoopingUi : RecordingUi {
        std::function<void()> while_open;  // what arrives while the next box is open
        int open = 0;
        int deepest = 0;
        void box(Box kind, std::string_view text, std::string_view caption) override {
            RecordingUi::box(kind, text, caption);
            deepest = std::max(deepest, ++open);
            if (auto arriving = std::exchange(while_open, nullptr)) arriving();
            --open;
        }
    };
    Model model;
    LoopingUi ui;
    BoxQueue queued(ui);
    FakeTransport serial;
    SendPath path(model, queued);
    path.set_serial_transport(&serial);
    AnswerDispatcher dispatcher(path);
    int handled = 0;
    dispatcher.line_handled.add([&] { ++handled; });
    path.send_command("CWL2\r\n");
    path.send_command("RCEL\r\n");
    path.send_command("CEL1\r\n");
    ui.while_open = [&] {
        EXPECT_EQ(handled, 1) << "the line that raised the box is handled through";
        dispatcher.dispatch_serial("00CEL3\r\n");
        EXPECT_EQ(model.edge_level, 3) << "a line arriving while the box is open is handled";
        EXPECT_EQ(handled, 2);
        dispatcher.dispatch_serial("00E3\r\n");
        EXPECT_EQ(handled, 3);
        EXPECT_EQ(ui.boxes.size(), 1u) << "its box waits for this one to close";
    };
    dispatcher.dispatch_serial("00GO\r\n");
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{text::kSuccess, text::kCommandError}));
    EXPECT_EQ(ui.deepest, 1);

    // A box withdrawn while it waits never opens.
    path.send_command("CWL1\r\n");
    queued.answers_begin();
    dispatcher.dispatch_serial("00E3\r\n");
    queued.withdraw(text::kCommandError);
    queued.answers_end();
    EXPECT_EQ(ui.boxes.size(), 2u);
}

TEST_F(AnswersTest, ErrorAnswersSetAnswerErrorWithTheirTexts) {
    dispatcher.dispatch_serial("00E3\r\n");
    dispatcher.dispatch_tcp("00E3\r\n");
    dispatcher.dispatch_serial("00E0\r\n");
    dispatcher.dispatch_tcp("00E1\r\n");
    dispatcher.dispatch_serial("00E2\r\n");
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Command Error", "Socket Command",
                                                    "Framing Error", "Socket Parity",
                                                    "Over run Error"}));
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    dispatcher.dispatch_serial("00E9\r\n");
    EXPECT_EQ(ui.boxes.size(), 5u);
}

TEST_F(AnswersTest, ModeAndMenuAnswersDependOnGlyphRequest) {
    model.glyph_request_pending = 1;
    dispatcher.dispatch_serial("00GN\r\n");
    EXPECT_EQ(model.glyph_request_pending, 0);
    model.glyph_request_pending = 1;
    dispatcher.dispatch_tcp("00GN\r\n");
    dispatcher.dispatch_serial("00GN\r\n");
    dispatcher.dispatch_tcp("00GN\r\n");
    dispatcher.dispatch_serial("00MENU\r\n");
    dispatcher.dispatch_tcp("00MENU\r\n");
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"自動切換え中！", "Socket 自動切換え中！",
                                                    "Mode difference", "Socket mode difference",
                                                    "Menu Display", "Socket Menu Display"}));
    EXPECT_EQ(ui.boxes[1].kind, Box::error);
    EXPECT_EQ(ui.boxes[3].kind, Box::success);
}

TEST_F(AnswersTest, LastTitleOfAFullReadReportsOnBothLinks) {
    dispatcher.dispatch_serial("00CT02B64" + repeat("2121", 14) + "\r\n");
    dispatcher.dispatch_tcp("00CT02B64" + repeat("2121", 14) + "\r\n");
    EXPECT_EQ(ui.texts(), (std::vector<std::string>{"Socket Read ＯＫ", "Socket Read ＯＫ"}));
}

TEST_F(AnswersTest, GlyphAnswerFillsTheCurrentSlotAndAdvancesInBulk) {
    model.glyph_index = 4;
    model.glyph_request_pending = 1;
    dispatcher.dispatch_serial("00FBMBA65" + std::string(576, 'F') + "\r\n");
    EXPECT_EQ(model.glyph_data[4][0], 'F');
    EXPECT_EQ(model.glyph_data[4][575], 'F');
    EXPECT_EQ(model.glyph_data[4][576], '0');  // spare characters stay
    EXPECT_EQ(model.glyph_data[3][0], '0');
    EXPECT_EQ(ui.repaints, 1);
    EXPECT_EQ(model.glyph_index, 4);
    EXPECT_EQ(model.glyph_request_pending, 0);
}

TEST_F(AnswersTest, TcpAnswerReleasesTheNextQueuedCommand) {
    model.interface_kind = 1;
    model.tcp_connected = 1;
    path.send_command("RCEL\r\n");
    path.send_command("RCWL\r\n");
    EXPECT_EQ(tcp.frames.size(), 1u);
    dispatcher.tcp_receive("00CE");
    EXPECT_EQ(tcp.frames.size(), 1u);
    dispatcher.tcp_receive("L2\r\n");
    EXPECT_EQ(model.edge_level, 2);
    ASSERT_EQ(tcp.frames.size(), 2u);
    EXPECT_EQ(tcp.frames[1], "00RCWL\r\n");
}

}  // namespace
}  // namespace tqv
