// Hostile input into everything that reads bytes from a device or a file. Run under the
// sanitizers, these catch any read or write out of bounds; the checks afterwards catch
// values a later command could not carry.
#include <gtest/gtest.h>

#include <random>

#include "core/answers.h"
#include "core/bulk.h"
#include "core/commands.h"
#include "core/document.h"
#include "core/glyph.h"
#include "fake_transport.h"
#include "recording_ui.h"

namespace tqv {
namespace {

std::string random_line(std::mt19937& rng) {
    static const char* prefixes[] = {"AST", "CTDPO", "CTD", "CEL", "CWL", "SUS", "CT", "P0",
                                     "FBM", "AA",  "GA",    "IA",  "MA",  "PN",  "SM", "KA",
                                     "TR",  "VN",  "GN",    "MENU", "E0", "E3", "GO", ""};
    static const char alphabet[] = "0123456789ABCDEFTBNF.-\r\n\x82\xa0\x10 ";
    std::uniform_int_distribution<int> pick(0, std::size(prefixes) - 1);
    std::uniform_int_distribution<int> len(0, 700);
    std::uniform_int_distribution<int> ch(0, sizeof(alphabet) - 2);
    std::uniform_int_distribution<int> raw(0, 255);
    std::string line = std::string("0") + static_cast<char>('0' + rng() % 10) + prefixes[pick(rng)];
    const int n = len(rng);
    for (int i = 0; i < n; ++i)
        line += (rng() % 8 == 0) ? static_cast<char>(raw(rng)) : alphabet[ch(rng)];
    if (rng() % 2) line += "\r\n";
    return line;
}

TEST(Robustness, RandomAnswersNeverLeaveTheModelUnsendable) {
    std::mt19937 rng(7310);
    Model model;
    RecordingUi ui;
    FakeTransport serial, tcp;
    SendPath path(model, ui);
    path.set_serial_transport(&serial);
    path.set_tcp_transport(&tcp);
    AnswerDispatcher dispatcher(path);
    model.tcp_connected = 1;
    for (int i = 0; i < 20000; ++i) {
        model.glyph_index = static_cast<int>(rng() % 90) - 10;
        model.glyph_bulk_active = static_cast<int>(rng() % 2);
        std::string line = random_line(rng);
        if (i % 2) {
            dispatcher.serial_receive(line);
        } else {
            dispatcher.tcp_receive(line);
        }
    }
    // Whatever arrived, every command the model can build still has only digits in its
    // digit fields and keeps its fixed length.
    for (int line = 0; line < 4; ++line) {
        EXPECT_EQ(body_switch_times_line(model, line).size(), 136u);
        EXPECT_EQ(body_display_line(model, line).size(), 72u);
        EXPECT_EQ(body_position(model, line).size(), 12u);
        const std::string p = body_page_switch(model, line);
        EXPECT_TRUE(p.size() == 8u) << p;
    }
    EXPECT_EQ(body_white_level(model).size(), 6u);
    EXPECT_EQ(body_time_register(model).size(), 5u);
    for (int t = 0; t < kTitles; ++t) EXPECT_LE(slot_length(model.titles[t]), 29u);
}

TEST(Robustness, RandomDocumentsAndGlyphListsLoadWithinBounds) {
    std::mt19937 rng(932);
    std::uniform_int_distribution<int> raw(0, 255);
    for (int round = 0; round < 200; ++round) {
        std::string bytes;
        const int n = static_cast<int>(rng() % 9000);
        for (int i = 0; i < n; ++i) {
            int r = raw(rng);
            bytes += r < 40 ? '\n' : r < 60 ? '\r' : r < 160 ? static_cast<char>('0' + r % 10)
                                                              : static_cast<char>(r);
        }
        Model model;
        parse_document(model, bytes);
        parse_glyph_list(model, bytes);
        for (int t = 0; t < kTitles; ++t) ASSERT_LE(slot_length(model.titles[t]), 28u);
        // Whatever numbers the file held, the bodies built from them stay well formed.
        FakeTransport serial;
        RecordingUi ui;
        SendPath path(model, ui);
        path.set_serial_transport(&serial);
        BulkTransfer steps(BulkKind::set_all);
        tqv::Run run(path, steps);
        ASSERT_TRUE(run.start(false));
        // Nobody answers: at the fixed pace on the serial line every step still goes out.
        for (int i = 0; i < 300 && !run.all_out(); ++i) run.tick();
        for (const auto& f : serial.frames) ASSERT_EQ(f.substr(f.size() - 2), "\r\n");
    }
}

}  // namespace
}  // namespace tqv
