#include "core/bulk.h"
#include "core/glyph.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "recording_ui.h"
#include "temp_dir.h"

namespace tqv {
namespace {

#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::read_bytes;
using testing::TempDir;
using testing::write_bytes;

std::string digits_of(const GlyphRecord& g) { return std::string(g.data(), kGlyphDigits); }
std::string record_of(const GlyphRecord& g) { return std::string(g.data(), g.size()); }

// A glyph list text with `lines` records ("0" unless overridden), each ended by `end`.
std::string list_text(const std::vector<std::pair<int, char>>& overrides, const char* end = "\r\n",
                      int lines = kGlyphListRecords) {
    std::string records(lines, '0');
    for (auto [line, c] : overrides) records[line - 1] = c;
    std::string out;
    for (char c : records) {
        out += c;
        out += end;
    }
    return out;
}

// --- record and digit rule ---

TEST(GlyphRecord, DigitRuleDecodesAndEncodes) {
    EXPECT_EQ(glyph_digit_value('0'), 0);
    EXPECT_EQ(glyph_digit_value('9'), 9);
    EXPECT_EQ(glyph_digit_value('A'), 10);
    EXPECT_EQ(glyph_digit_value('F'), 15);
    // The one rule for every character: lower case is not a hex digit here.
    EXPECT_EQ(glyph_digit_value('a'), 'a' - 55);
    EXPECT_EQ(glyph_digit_value(' '), ' ' - 48);
    const std::string expected = "0123456789ABCDEF";
    for (int v = 0; v < 16; ++v) EXPECT_EQ(glyph_digit_char(v), expected[v]) << v;
}

TEST(GlyphRecord, DotAddressing) {
    GlyphRecord g = blank_glyph();
    set_glyph_dot(g, 1, 1, true);
    EXPECT_EQ(g[12], '4');
    set_glyph_dot(g, 0, 0, true);
    set_glyph_dot(g, 0, 3, true);
    EXPECT_EQ(g[0], '9');
    set_glyph_dot(g, 47, 47, true);
    EXPECT_EQ(g[575], '1');
    EXPECT_TRUE(glyph_dot(g, 0, 0));
    EXPECT_FALSE(glyph_dot(g, 0, 1));
    EXPECT_TRUE(glyph_dot(g, 47, 47));
    set_glyph_dot(g, 0, 0, false);
    EXPECT_EQ(g[0], '1');
    EXPECT_EQ(std::string(g.data() + 576, 4), "0000");  // spare characters untouched
}

TEST(GlyphRecord, ClearKeepsTheSpareCharacters) {
    GlyphRecord g;
    g.fill('F');
    clear_glyph(g);
    EXPECT_EQ(digits_of(g), std::string(576, '0'));
    EXPECT_EQ(std::string(g.data() + 576, 4), "FFFF");
    EXPECT_EQ(record_of(blank_glyph()), std::string(580, '0'));
}

// --- editor dot operation ---

TEST(GlyphEditor, LeftClickAtTheTopLeftOfTheGridLightsRow1Column1) {
    Model m;
    GlyphEditor e;
    m.glyph_index = 5;
    EXPECT_TRUE(glyph_dot_operation(m, e, 10, 8, true));
    EXPECT_EQ(m.glyph_answer[12], '4');
    EXPECT_TRUE(glyph_dot(m.glyph_answer, 1, 1));
    EXPECT_EQ(record_of(m.glyph_data[5]), record_of(m.glyph_answer));
    EXPECT_EQ(record_of(m.glyph_data[4]), std::string(580, '0'));
}

TEST(GlyphEditor, ClickAtTheBottomRightOfTheGridLightsRow46Column46) {
    Model m;
    GlyphEditor e;
    EXPECT_TRUE(glyph_dot_operation(m, e, 469, 375, true));
    EXPECT_EQ(m.glyph_answer[563], '2');
    EXPECT_TRUE(glyph_dot(m.glyph_answer, 46, 46));
    EXPECT_EQ(std::count(m.glyph_answer.begin(), m.glyph_answer.end(), '0'), 579);
}

TEST(GlyphEditor, PointsOutsideTheDrawableRangeChangeNothing) {
    Model m;
    GlyphEditor e;
    for (auto [x, y] : {std::pair{9, 100}, {470, 100}, {100, 7}, {100, 376}, {-5, -5}}) {
        EXPECT_FALSE(glyph_dot_operation(m, e, x, y, true)) << x << "," << y;
    }
    EXPECT_EQ(record_of(m.glyph_answer), std::string(580, '0'));
    EXPECT_EQ(record_of(m.glyph_data[0]), std::string(580, '0'));
}

TEST(GlyphEditor, RepaintsOnlyWhenTheDigitChanges) {
    Model m;
    GlyphEditor e;
    EXPECT_TRUE(glyph_dot_operation(m, e, 100, 100, true));
    EXPECT_FALSE(glyph_dot_operation(m, e, 100, 100, true));
    EXPECT_FALSE(glyph_dot_operation(m, e, 105, 103, true));  // same dot
    EXPECT_TRUE(glyph_dot_operation(m, e, 110, 100, true));   // next dot, same digit
    EXPECT_TRUE(glyph_dot_operation(m, e, 100, 100, false));
}

TEST(GlyphEditor, AnIndexOutsideTheSlotsStoresNothing) {
    Model m;
    GlyphEditor e;
    for (int index : {-1, kGlyphSlots, 1000}) {
        m.glyph_index = index;
        glyph_dot_operation(m, e, 10, 8, true);
    }
    EXPECT_EQ(m.glyph_answer[12], '4');
    for (const auto& g : m.glyph_data) EXPECT_EQ(record_of(g), std::string(580, '0'));
}

TEST(GlyphEditor, ANonHexDigitIsTakenByItsLowBitsAndNeverWrittenBack) {
    Model m;
    GlyphEditor e;
    m.glyph_answer[12] = 'Z';                // digit value 35, low four bits 3
    glyph_dot_operation(m, e, 10, 8, true);  // row 1, column 1: bit value 4
    EXPECT_EQ(m.glyph_answer[12], '7');
    m.glyph_answer[13] = 'z';                 // digit value 67, low four bits 3
    glyph_dot_operation(m, e, 70, 8, false);  // row 1, column 7: bit value 1
    EXPECT_EQ(m.glyph_answer[13], '2');
}

TEST(GlyphEditor, ButtonDownOutsideTheGridStillMarksTheEditor) {
    Model m;
    GlyphEditor e;
    EXPECT_FALSE(glyph_button_down(m, e, 9, 100, true));
    EXPECT_EQ(m.glyph_edited, 1);
    EXPECT_EQ(e.drawing_set, 1);
    EXPECT_EQ(record_of(m.glyph_answer), std::string(580, '0'));
    glyph_button_up(e, true);
    EXPECT_EQ(e.drawing_set, 0);
}

TEST(GlyphEditor, MovingWithBothButtonsHeldLeavesTheDotDark) {
    Model m;
    GlyphEditor e;
    glyph_button_down(m, e, 100, 100, true);
    EXPECT_TRUE(glyph_dot(m.glyph_answer, 12, 10));
    glyph_button_down(m, e, 200, 200, false);
    glyph_mouse_move(m, e, 100, 100);
    EXPECT_FALSE(glyph_dot(m.glyph_answer, 12, 10));
    glyph_button_up(e, false);
    glyph_mouse_move(m, e, 100, 100);
    EXPECT_TRUE(glyph_dot(m.glyph_answer, 12, 10));
    glyph_button_up(e, true);
    EXPECT_FALSE(glyph_mouse_move(m, e, 300, 300));
    EXPECT_FALSE(glyph_dot(m.glyph_answer, 37, 30));
}

TEST(GlyphEditor, MovingOverDotsAlreadyLitDoesNotRepaint) {
    Model m;
    GlyphEditor e;
    EXPECT_TRUE(glyph_button_down(m, e, 50, 50, true));
    EXPECT_FALSE(glyph_mouse_move(m, e, 52, 52));
    EXPECT_TRUE(glyph_mouse_move(m, e, 60, 50));
    EXPECT_FALSE(glyph_mouse_move(m, e, 50, 50));
}

TEST(GlyphEditor, ClearWithoutEditsDoesNotAsk) {
    Model m;
    RecordingUi ui;
    m.glyph_index = 2;
    m.glyph_answer.fill('F');
    EXPECT_TRUE(glyph_editor_clear(m, ui));
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(digits_of(m.glyph_answer), std::string(576, '0'));
    EXPECT_EQ(std::string(m.glyph_answer.data() + 576, 4), "FFFF");
    EXPECT_EQ(record_of(m.glyph_data[2]), record_of(m.glyph_answer));
}

TEST(GlyphEditor, ClearAfterAnEditAsksAndNoKeepsBitmapAndSlot) {
    Model m;
    GlyphEditor e;
    RecordingUi ui;
    ui.answers = {false, true};
    glyph_button_down(m, e, 10, 8, true);
    EXPECT_FALSE(glyph_editor_clear(m, ui));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずにクリアしますか？");
    EXPECT_EQ(ui.questions[0].caption, "新規作成");
    EXPECT_EQ(m.glyph_answer[12], '4');
    EXPECT_EQ(m.glyph_data[0][12], '4');
    EXPECT_EQ(m.glyph_edited, 1);

    EXPECT_TRUE(glyph_editor_clear(m, ui));
    EXPECT_EQ(m.glyph_answer[12], '0');
    EXPECT_EQ(m.glyph_data[0][12], '0');
    EXPECT_EQ(m.glyph_edited, 0);
}

TEST(GlyphEditor, ClearIsIgnoredWhileAGlyphRequestWaits) {
    Model m;
    RecordingUi ui;
    m.glyph_answer[0] = 'F';
    m.glyph_request_pending = 1;
    EXPECT_FALSE(glyph_editor_clear(m, ui));
    EXPECT_EQ(m.glyph_answer[0], 'F');
}

TEST(GlyphList, ClearAllAsksWhenEditedAndEmptiesThePath) {
    Model m;
    RecordingUi ui;
    ui.answers = {false, true};
    for (auto& g : m.glyph_data) g.fill('A');
    m.glyph_list_path = "/x/g.tll";
    m.glyph_edited = 1;
    EXPECT_FALSE(glyph_list_clear(m, ui));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに新規作成しますか？");
    EXPECT_EQ(ui.questions[0].caption, "新規作成");
    EXPECT_EQ(m.glyph_data[69][579], 'A');
    EXPECT_EQ(m.glyph_list_path, "/x/g.tll");

    EXPECT_TRUE(glyph_list_clear(m, ui));
    for (const auto& g : m.glyph_data) EXPECT_EQ(record_of(g), std::string(580, '0'));
    EXPECT_EQ(m.glyph_list_path, "");
    EXPECT_EQ(m.glyph_edited, 0);
}

TEST(GlyphList, ClearAllIsIgnoredWhileBusy) {
    RecordingUi ui;
    for (int which = 0; which < 2; ++which) {
        Model m;
        m.glyph_data[0][0] = 'F';
        (which == 0 ? m.glyph_request_pending : m.glyph_bulk_active) = 1;
        EXPECT_FALSE(glyph_list_clear(m, ui));
        EXPECT_EQ(m.glyph_data[0][0], 'F');
    }
}

// --- glyph list file ---

TEST(GlyphListFile, ResetModelGives40320LinesOfZero) {
    Model m;
    m.glyph_data[0][577] = 'X';  // spare characters are not written
    std::string bytes = glyph_list_bytes(m);
    EXPECT_EQ(bytes.size(), 120960u);
    EXPECT_EQ(bytes, list_text({}));
}

TEST(GlyphListFile, RecordsAreTheDigitsOfSlot0To69InOrder) {
    Model m;
    m.glyph_data[0][0] = 'A';
    m.glyph_data[3][0] = 'F';
    m.glyph_data[69][575] = '7';
    EXPECT_EQ(glyph_list_bytes(m), list_text({{1, 'A'}, {1729, 'F'}, {40320, '7'}}));
}

TEST(GlyphListFile, CharactersThatAreNotHexDigitsAreWrittenByTheirDotsAndStayInStep) {
    Model m;
    m.glyph_data[0][0] = ' ';  // would be skipped as white space when read
    m.glyph_data[0][1] = '\n';
    m.glyph_data[0][2] = 'Z';  // digit value 35: dots 2 and 1
    m.glyph_data[0][3] = 'B';
    const std::string bytes = glyph_list_bytes(m);
    EXPECT_EQ(bytes.size(), 120960u);
    EXPECT_EQ(bytes.substr(0, 12), "0\r\nA\r\n3\r\nB\r\n");
    Model loaded;
    parse_glyph_list(loaded, bytes);
    EXPECT_EQ(std::string(loaded.glyph_data[0].data(), 4), "0A3B");
    for (int c = 8; c < 12; ++c)
        EXPECT_EQ(glyph_dot(loaded.glyph_data[0], 0, c), glyph_dot(m.glyph_data[0], 0, c)) << c;
}

TEST(GlyphListFile, Line1729LoadsTheTopLeftOfGlyph04) {
    Model m;
    parse_glyph_list(m, list_text({{1729, 'F'}}));
    for (int c = 0; c < 4; ++c) EXPECT_TRUE(glyph_dot(m.glyph_data[3], 0, c)) << c;
    EXPECT_FALSE(glyph_dot(m.glyph_data[3], 0, 4));
    EXPECT_FALSE(glyph_dot(m.glyph_data[3], 1, 0));
    EXPECT_EQ(digits_of(m.glyph_data[2]), std::string(576, '0'));
}

TEST(GlyphListFile, ReadsLfOnlyFilesAndSkipsExtraWhiteSpace) {
    Model lf;
    parse_glyph_list(lf, list_text({{1729, 'F'}, {40320, '1'}}, "\n"));
    EXPECT_EQ(lf.glyph_data[3][0], 'F');
    EXPECT_EQ(lf.glyph_data[69][575], '1');

    Model spaced;
    parse_glyph_list(spaced, "A \t\r\n\r\n  B\nC");
    EXPECT_EQ(std::string(spaced.glyph_data[0].data(), 4), "ABC0");
}

TEST(GlyphListFile, WhiteSpaceAtTheVeryStartCountsAsARecord) {
    Model m;
    parse_glyph_list(m, " \r\nF\r\n");
    EXPECT_EQ(m.glyph_data[0][0], '0') << "a blank record is read as the digit of its low bits";
    EXPECT_EQ(m.glyph_data[0][1], 'F');
}

TEST(GlyphListFile, AShortFileLeavesTheRestUnchanged) {
    Model m;
    for (auto& g : m.glyph_data) g.fill('C');
    parse_glyph_list(m, list_text({{2, 'A'}}, "\r\n", 600));
    EXPECT_EQ(digits_of(m.glyph_data[0]), "0A" + std::string(574, '0'));
    EXPECT_EQ(std::string(m.glyph_data[0].data() + 576, 4), "CCCC");
    EXPECT_EQ(std::string(m.glyph_data[1].data(), 25), std::string(24, '0') + "C");
    EXPECT_EQ(record_of(m.glyph_data[2]), std::string(580, 'C'));
}

TEST(GlyphListFile, ExtraRecordsBeyond40320AreIgnored) {
    Model m;
    parse_glyph_list(m, list_text({}) + "F\r\nF\r\n");
    for (const auto& g : m.glyph_data) EXPECT_EQ(record_of(g), std::string(580, '0'));
}

TEST(GlyphListFile, SaveAndLoadRoundTrip) {
    TempDir dir;
    Model saved;
    for (int s = 0; s < kGlyphSlots; ++s)
        for (int i = 0; i < kGlyphDigits; ++i) saved.glyph_data[s][i] = glyph_digit_char(s + i);
    ASSERT_TRUE(save_glyph_list(saved, dir.file("g.tll")));
    EXPECT_EQ(read_bytes(dir.file("g.tll")), glyph_list_bytes(saved));

    Model loaded;
    loaded.glyph_list_dirty = 1;
    ASSERT_TRUE(load_glyph_list(loaded, dir.file("g.tll")));
    for (int s = 0; s < kGlyphSlots; ++s)
        EXPECT_EQ(digits_of(loaded.glyph_data[s]), digits_of(saved.glyph_data[s])) << s;
    EXPECT_EQ(loaded.glyph_list_path, dir.file("g.tll"));
    EXPECT_EQ(loaded.glyph_list_dirty, 0);
}

TEST(GlyphListCommands, OpenFailureIsAWarningAndChangesNothing) {
    TempDir dir;
    RecordingUi ui;
    Model m;
    m.glyph_data[0][0] = 'E';
    m.glyph_list_path = "/x/old.tll";
    m.glyph_list_dirty = 1;
    ui.answers = {true};
    EXPECT_FALSE(glyph_list_open(
        m, ui, [&] { return std::optional<std::string>(dir.file("missing.tll")); }));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(m.glyph_data[0][0], 'E');
    EXPECT_EQ(m.glyph_list_path, "/x/old.tll");
    EXPECT_EQ(m.glyph_list_dirty, 1);
}

TEST(GlyphListCommands, OpenAsksWhenDirtyAndLoads) {
    TempDir dir;
    write_bytes(dir.file("in.tll"), list_text({{1729, 'F'}}, "\n"));
    RecordingUi ui;
    Model m;
    m.glyph_list_dirty = 1;
    ui.answers = {false};
    auto choose = [&] { return std::optional<std::string>(dir.file("in.tll")); };
    EXPECT_FALSE(glyph_list_open(m, ui, choose));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに別のファイルを開きますか？");
    EXPECT_EQ(ui.questions[0].caption, "TQV-7310NX");
    EXPECT_EQ(m.glyph_data[3][0], '0');

    ui.answers = {true};
    EXPECT_TRUE(glyph_list_open(m, ui, choose));
    EXPECT_EQ(m.glyph_data[3][0], 'F');
    EXPECT_EQ(m.glyph_list_path, dir.file("in.tll"));
    EXPECT_EQ(m.glyph_list_dirty, 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(GlyphListCommands, CommandsAreIgnoredWhileAGlyphRequestWaits) {
    TempDir dir;
    write_bytes(dir.file("in.tll"), list_text({{1, 'F'}}));
    RecordingUi ui;
    Model m;
    m.glyph_request_pending = 1;
    m.glyph_list_path = dir.file("out.tll");
    int chooser_calls = 0;
    auto choose = [&] {
        ++chooser_calls;
        return std::optional<std::string>(dir.file("in.tll"));
    };
    EXPECT_FALSE(glyph_list_open(m, ui, choose));
    EXPECT_FALSE(glyph_list_save(m, ui));
    EXPECT_FALSE(glyph_list_save_as(m, ui, choose));
    EXPECT_EQ(chooser_calls, 0);
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(m.glyph_data[0][0], '0');
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"in.tll"});
}

TEST(GlyphListCommands, OpenIsIgnoredWhileABulkTransferRuns) {
    RecordingUi ui;
    Model m;
    SendPath path(m, ui);
    BulkTransfer steps(BulkKind::display_lines);
    tqv::Run run(path, steps);
    ASSERT_TRUE(run.start(false));
    int chooser_calls = 0;
    EXPECT_FALSE(glyph_list_open(m, ui, [&] {
        ++chooser_calls;
        return std::optional<std::string>("/nonexistent");
    }));
    EXPECT_EQ(chooser_calls, 0);
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(GlyphListCommands, SaveWithoutAPathWarnsDontFileOpen) {
    RecordingUi ui;
    Model m;
    EXPECT_FALSE(glyph_list_save(m, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Don't file open");
}

TEST(GlyphListCommands, SaveWritesTheFileAndClearsDirty) {
    TempDir dir;
    RecordingUi ui;
    Model m;
    m.glyph_data[1][1] = 'B';
    m.glyph_list_path = dir.file("g.tll");
    m.glyph_list_dirty = 1;
    EXPECT_TRUE(glyph_list_save(m, ui));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(m.glyph_list_dirty, 0);
    EXPECT_EQ(read_bytes(dir.file("g.tll")), list_text({{578, 'B'}}));
}

TEST(GlyphListCommands, SaveFailureIsAnErrorBoxAndKeepsThePreviousFile) {
#ifdef _WIN32
    GTEST_SKIP() << "a write cannot be made to fail part-way on Windows";
#else
    TempDir dir;
    const std::string previous = list_text({{1, 'F'}});
    write_bytes(dir.file("g.tll"), previous);
    RecordingUi ui;
    Model m;
    m.glyph_list_path = dir.file("g.tll");
    m.glyph_list_dirty = 1;
    {
        FileSizeLimit limit(1000);
        EXPECT_FALSE(glyph_list_save(m, ui));
    }
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::error);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(ui.boxes[0].caption, "Error");
    EXPECT_EQ(m.glyph_list_dirty, 1);
    EXPECT_EQ(read_bytes(dir.file("g.tll")), previous);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"g.tll"});
#endif
}

TEST(GlyphListCommands, SaveAsAppliesTheTllExtensionRule) {
    TempDir dir;
    struct Case {
        std::string chosen;
        std::string written;
    };
    for (const Case& c : {Case{"glyphs", "glyphs.tll"}, Case{"my.tll", "my.tll"},
                          Case{"a.tll.bak", "a.tll.bak"}, Case{"b.TLL", "b.TLL.tll"}}) {
        RecordingUi ui;
        Model m;
        m.glyph_list_dirty = 1;
        EXPECT_TRUE(glyph_list_save_as(
            m, ui, [&] { return std::optional<std::string>(dir.file(c.chosen)); }));
        EXPECT_EQ(m.glyph_list_path, dir.file(c.written));
        EXPECT_EQ(m.glyph_list_dirty, 0);
        EXPECT_EQ(read_bytes(dir.file(c.written)).size(), 120960u) << c.chosen;
    }
    EXPECT_EQ(dir.entries().size(), 4u);
}

TEST(GlyphListCommands, SaveAsToADirectoryIsAnErrorBox) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d.tll"));
    RecordingUi ui;
    Model m;
    m.glyph_list_path = "/x/old.tll";
    EXPECT_FALSE(
        glyph_list_save_as(m, ui, [&] { return std::optional<std::string>(dir.file("d")); }));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::error);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(m.glyph_list_path, "/x/old.tll");
}

TEST(GlyphListCommands, SaveAsCancelledWritesNothing) {
    TempDir dir;
    RecordingUi ui;
    Model m;
    EXPECT_FALSE(glyph_list_save_as(m, ui, [] { return std::optional<std::string>{}; }));
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_TRUE(ui.boxes.empty());
}

// --- bitmap export ---

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
           (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(GlyphBitmap, RowStrideIsPaddedToFourBytes) {
    EXPECT_EQ(bitmap_row_stride(24), 72);
    EXPECT_EQ(bitmap_row_stride(25), 76);
    EXPECT_EQ(bitmap_row_stride(1), 4);
    EXPECT_EQ(bitmap_row_stride(96), 288);
}

TEST(GlyphBitmap, HeaderMatchesThePartTable) {
    auto image = bitmap_file_image(25, 3, [](int, int) { return 0u; });
    ASSERT_EQ(image.size(), 54u + 76u * 3u);
    EXPECT_EQ(image[0], 'B');
    EXPECT_EQ(image[1], 'M');
    EXPECT_EQ(le32(image, 2), 54u + 76u * 3u);
    EXPECT_EQ(le32(image, 6), 0u);
    EXPECT_EQ(le32(image, 10), 54u);
    EXPECT_EQ(le32(image, 14), 40u);
    EXPECT_EQ(le32(image, 18), 25u);
    EXPECT_EQ(le32(image, 22), 3u);
    EXPECT_EQ(le16(image, 26), 1u);
    EXPECT_EQ(le16(image, 28), 24u);
    EXPECT_EQ(le32(image, 30), 0u);
    for (std::size_t i = 34; i < 54; ++i) EXPECT_EQ(image[i], 0) << i;
}

TEST(GlyphBitmap, PixelsAreBlueGreenRedBottomRowFirstWithZeroPadding) {
    // Row 0 (top) red, row 1 green, each pixel's blue channel its column.
    auto pixel = [](int x, int y) -> std::uint32_t {
        return (y == 0 ? 0xFF0000u : 0x00FF00u) | static_cast<std::uint32_t>(x);
    };
    auto image = bitmap_file_image(25, 2, pixel);
    ASSERT_EQ(image.size(), 54u + 2u * 76u);
    // First stored row is the bottom (green) row.
    EXPECT_EQ(image[54 + 0], 0);     // blue, column 0
    EXPECT_EQ(image[54 + 1], 0xFF);  // green
    EXPECT_EQ(image[54 + 2], 0);     // red
    EXPECT_EQ(image[54 + 3 * 24], 24);
    for (int pad = 75; pad < 76; ++pad) EXPECT_EQ(image[54 + pad], 0);
    const std::size_t top = 54 + 76;
    EXPECT_EQ(image[top + 1], 0);
    EXPECT_EQ(image[top + 2], 0xFF);
    EXPECT_EQ(image[top + 3 * 7], 7);
    EXPECT_EQ(image[top + 75], 0);
}

TEST(GlyphBitmap, AbsurdSizesGiveNoImage) {
    auto none = [](int, int) { return 0u; };
    EXPECT_TRUE(bitmap_file_image(-1, 5, none).empty());
    EXPECT_TRUE(bitmap_file_image(5, 100000, none).empty());
    EXPECT_EQ(bitmap_file_image(0, 0, none).size(), 54u);
}

TEST(GlyphBitmap, ExportNamesCarryTheGlyphNumber) {
    int n = glyph_export_number(1, 2);  // third preview of the second group
    EXPECT_EQ(n, 17);
    EXPECT_EQ(glyph_export_title(n), "外字登録番号17をbmpファイルで保存");
    EXPECT_EQ(glyph_export_file_name(n), "gl17.bmp");
    EXPECT_EQ(glyph_export_file_name(glyph_export_number(0, 0)), "gl01.bmp");
}

// --- preview hit test ---

TEST(GlyphPreview, CellHitTest) {
    EXPECT_EQ(glyph_preview_cell(12, 11), 0);
    EXPECT_EQ(glyph_preview_cell(106, 105), 0);
    EXPECT_EQ(glyph_preview_cell(107, 50), -1);
    EXPECT_EQ(glyph_preview_cell(50, 130), -1);
    EXPECT_EQ(glyph_preview_cell(11, 50), -1);
    EXPECT_EQ(glyph_preview_cell(12, 158), 7);
    EXPECT_EQ(glyph_preview_cell(126, 252), 8);
    EXPECT_EQ(glyph_preview_cell(12 + 114 * 6, 11), 6);
    EXPECT_EQ(glyph_preview_cell(106 + 114 * 6, 252), 13);
    EXPECT_EQ(glyph_preview_cell(107 + 114 * 6, 100), -1);
    EXPECT_EQ(glyph_preview_cell(50, 253), -1);
}

}  // namespace
}  // namespace tqv
