#include "core/bulk.h"
#include "core/document.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/texts.h"
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

// Lines of a file written with CR LF; fails the test on a bare LF.
std::vector<std::string> crlf_lines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "last line without CR LF";
        if (end == std::string::npos) break;
        std::string line = bytes.substr(start, end - start);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "bare LF in line " << lines.size() + 1;
        lines.push_back(line);
        start = end + 2;
    }
    return lines;
}

// A document text from its 786 lines.
std::string document_text(const std::vector<std::string>& lines, const char* end = "\r\n") {
    std::string out;
    for (const auto& l : lines) out += l + end;
    return out;
}

std::vector<std::string> fresh_lines() { return crlf_lines(document_bytes(Model{})); }

constexpr int kFirstTitleLine = 526;  // index of line 527

// A model whose device settings block differs from the initial values everywhere.
Model edited_model() {
    Model m;
    for (int l = 0; l < kTitleLines; ++l) {
        for (int p = 0; p < kPages; ++p) {
            m.title_display[l][p] = (l + p) % 2;
            m.switch_time[l][p] = (l * 64 + p) % 100;
        }
        m.startup_page[l] = l == 0 ? kAutoPage : 10 + l;
        m.current_page[l] = l == 3 ? kAutoPage : 20 + l;
        m.position_offset[l] = 30 + l;
    }
    m.white_level = 3;
    m.edge_level = 4;
    set_slot_text(m.title(0, 0), "  leading blanks");
    set_slot_text(m.title(0, 1), "\x82\xa0\x82\xa2\x8a\xbf\x8e\x9a");  // あい漢字
    set_slot_text(m.title(1, 5), "\x10\x20\x82\xa0");                  // glyph 01, あ
    // 14 double-byte characters: all 28 bytes.
    set_slot_text(m.title(2, 63),
                  "\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f"
                  "\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f\x88\x9f");
    set_slot_text(m.title(3, 63), "last");
    return m;
}

void expect_same_block(const Model& a, const Model& b) {
    EXPECT_EQ(a.title_display, b.title_display);
    EXPECT_EQ(a.switch_time, b.switch_time);
    EXPECT_EQ(a.startup_page, b.startup_page);
    EXPECT_EQ(a.current_page, b.current_page);
    EXPECT_EQ(a.position_offset, b.position_offset);
    EXPECT_EQ(a.white_level, b.white_level);
    EXPECT_EQ(a.edge_level, b.edge_level);
    for (int t = 0; t < kTitles; ++t)
        EXPECT_EQ(slot_text(a.titles[t]), slot_text(b.titles[t])) << "title " << t;
}

TEST(DocumentFormat, FreshModelGives786LinesInTheSpecifiedOrder) {
    std::vector<std::string> lines = fresh_lines();
    ASSERT_EQ(lines.size(), 786u);
    std::vector<std::string> expected;
    expected.insert(expected.end(), 256, "1");
    expected.insert(expected.end(), 256, "2");
    expected.insert(expected.end(), 8, "0");
    expected.insert(expected.end(), 4, "7");
    expected.insert(expected.end(), 2, "1");
    expected.insert(expected.end(), 256, "s");
    expected.insert(expected.end(), 4, "7");
    EXPECT_EQ(lines, expected);
}

TEST(DocumentFormat, LinesFollowTheModelLayout) {
    Model m = edited_model();
    std::vector<std::string> lines = crlf_lines(document_bytes(m));
    ASSERT_EQ(lines.size(), 786u);
    EXPECT_EQ(lines[1 * 64 + 2], std::to_string(m.title_display[1][2]));  // line 67
    EXPECT_EQ(lines[256 + 3 * 64 + 63], std::to_string(m.switch_time[3][63]));
    EXPECT_EQ(lines[512], "64");  // startup_page[0], automatic
    EXPECT_EQ(lines[519], "64");  // current_page[3], automatic
    EXPECT_EQ(lines[520], "30");  // first position block
    EXPECT_EQ(lines[524], "3");   // white level
    EXPECT_EQ(lines[525], "4");   // edge level
    EXPECT_EQ(lines[kFirstTitleLine], "  leading blanks");
    EXPECT_EQ(lines[kFirstTitleLine + 2], "s");
    EXPECT_EQ(lines[kFirstTitleLine + 255], "last");
    EXPECT_EQ(lines[782], "30");  // second position block
    EXPECT_EQ(lines[785], "33");
}

TEST(DocumentFormat, SaveAndLoadRestoreTheSettingsBlockExactly) {
    TempDir dir;
    Model saved = edited_model();
    saved.document_dirty = 1;
    ASSERT_TRUE(save_document(saved, dir.file("a.dat")));
    EXPECT_EQ(saved.document_dirty, 0);
    EXPECT_EQ(saved.document_path, dir.file("a.dat"));

    Model loaded;
    loaded.document_dirty = 1;
    ASSERT_TRUE(load_document(loaded, dir.file("a.dat")));
    expect_same_block(loaded, saved);
    EXPECT_EQ(slot_text(loaded.title(0, 0)), "  leading blanks");
    EXPECT_EQ(loaded.startup_page[0], kAutoPage);
    EXPECT_EQ(slot_length(loaded.title(2, 63)), 28u);
    EXPECT_EQ(loaded.document_path, dir.file("a.dat"));
    EXPECT_EQ(loaded.document_dirty, 0);
}

TEST(DocumentFormat, TitleConsistingOfTheLetterSComesBackEmpty) {
    Model m;
    set_slot_text(m.title(0, 0), "s");
    set_slot_text(m.title(0, 1), "ss");
    std::vector<std::string> lines = crlf_lines(document_bytes(m));
    EXPECT_EQ(lines[kFirstTitleLine], "s");
    EXPECT_EQ(lines[kFirstTitleLine + 1], "ss");

    Model loaded;
    set_slot_text(loaded.title(0, 0), "old");
    parse_document(loaded, document_bytes(m));
    EXPECT_EQ(slot_text(loaded.title(0, 0)), "");
    EXPECT_EQ(slot_text(loaded.title(0, 1)), "ss");
}

TEST(DocumentFormat, ReadsFilesWithLfLineEnds) {
    std::vector<std::string> lines = crlf_lines(document_bytes(edited_model()));
    Model loaded;
    parse_document(loaded, document_text(lines, "\n"));
    expect_same_block(loaded, edited_model());
}

TEST(DocumentFormat, ReadsAFileWhoseLastLineHasNoLineEnd) {
    std::string bytes = document_bytes(edited_model());
    bytes.resize(bytes.size() - 2);  // "33" without CR LF
    Model loaded;
    parse_document(loaded, bytes);
    EXPECT_EQ(loaded.position_offset[3], 33);
}

TEST(DocumentFormat, TooLongTitleLinesAreCutAndLaterRecordsStayInStep) {
    std::vector<std::string> lines = fresh_lines();
    lines[kFirstTitleLine + 0] = std::string(40, 'a');
    // 15 double-byte characters (30 bytes): 14 stay.
    std::string kanji15;
    for (int i = 0; i < 15; ++i) kanji15 += "\x8a\xbf";
    lines[kFirstTitleLine + 1] = kanji15;
    // 13 double-byte characters, one ASCII letter, then one more double-byte character
    // whose lead byte is byte 28: cutting at 28 would split it, so 27 bytes stay.
    std::string mixed;
    for (int i = 0; i < 13; ++i) mixed += "\x82\xa0";
    mixed += "x\x82\xa2";
    lines[kFirstTitleLine + 2] = mixed;
    // A lead byte from the upper range 0xE0..0xFC, same situation.
    std::string upper = std::string(27, 'b') + "\xe0\x40" + "c";
    lines[kFirstTitleLine + 3] = upper;
    lines[kFirstTitleLine + 4] = "next title";
    lines[782] = "9";
    lines[785] = "12";

    Model m;
    parse_document(m, document_text(lines));
    EXPECT_EQ(slot_text(m.title(0, 0)), std::string(28, 'a'));
    EXPECT_EQ(slot_text(m.title(0, 1)), kanji15.substr(0, 28));
    EXPECT_EQ(slot_text(m.title(0, 2)), mixed.substr(0, 27));
    EXPECT_EQ(slot_text(m.title(0, 3)), std::string(27, 'b'));
    EXPECT_EQ(slot_text(m.title(0, 4)), "next title");
    EXPECT_EQ(slot_text(m.title(0, 5)), "");
    EXPECT_EQ(m.position_offset[0], 9);
    EXPECT_EQ(m.position_offset[3], 12);
}

TEST(DocumentFormat, GlyphPlaceholderIsNotSplitWhenCutting) {
    std::vector<std::string> lines = fresh_lines();
    std::string title = std::string(27, 'g') + std::string("\x10\x21", 2) + "zz";
    lines[kFirstTitleLine] = title;
    Model m;
    parse_document(m, document_text(lines));
    EXPECT_EQ(slot_text(m.title(0, 0)), std::string(27, 'g'));
}

TEST(DocumentFormat, ATitleOfAtMost28BytesIsKeptWhole) {
    // A 28-byte line that ends in a lone lead byte is not longer than the slot allows.
    std::string title = std::string(27, 'k') + "\x82";
    std::vector<std::string> lines = fresh_lines();
    lines[kFirstTitleLine] = title;
    Model m;
    parse_document(m, document_text(lines));
    EXPECT_EQ(slot_text(m.title(0, 0)), title);
}

TEST(DocumentFormat, SavedTitleLinesNeverExceed28BytesOrBreakTheLineOrder) {
    Model m;
    // A 29-byte slot (the slot's full capacity) and a title holding a line feed.
    set_slot_text(m.title(0, 0), std::string(29, 'w'));
    set_slot_text(m.title(0, 1), "one\ntwo");
    std::vector<std::string> lines = crlf_lines(document_bytes(m));
    ASSERT_EQ(lines.size(), 786u);
    EXPECT_EQ(lines[kFirstTitleLine], std::string(28, 'w'));
    EXPECT_EQ(lines[kFirstTitleLine + 1], "one");
    EXPECT_EQ(lines[kFirstTitleLine + 2], "s");
}

TEST(DocumentFormat, ShortFileKeepsMissingNumbersAndEmptiesMissingTitles) {
    Model m = edited_model();
    parse_document(m, "0\r\n5\r\n");
    EXPECT_EQ(m.title_display[0][0], 0);
    EXPECT_EQ(m.title_display[0][1], 5);
    Model expected = edited_model();
    EXPECT_EQ(m.title_display[0][2], expected.title_display[0][2]);
    EXPECT_EQ(m.switch_time, expected.switch_time);
    EXPECT_EQ(m.startup_page, expected.startup_page);
    EXPECT_EQ(m.position_offset, expected.position_offset);
    EXPECT_EQ(m.white_level, 3);
    for (int t = 0; t < kTitles; ++t) EXPECT_EQ(slot_length(m.titles[t]), 0u) << t;
}

TEST(DocumentFormat, FileEndingInsideTheTitlesEmptiesOnlyTheTitlesNotRead) {
    std::vector<std::string> lines = crlf_lines(document_bytes(edited_model()));
    lines.resize(kFirstTitleLine + 2);  // the first two titles only
    Model m = edited_model();
    m.position_offset = {1, 2, 3, 4};
    parse_document(m, document_text(lines));
    EXPECT_EQ(slot_text(m.title(0, 0)), "  leading blanks");
    EXPECT_EQ(slot_text(m.title(0, 1)), slot_text(edited_model().title(0, 1)));
    EXPECT_EQ(slot_text(m.title(3, 63)), "");
    // The first position block was read; the second was not there.
    EXPECT_EQ(m.position_offset, (std::array<int, 4>{30, 31, 32, 33}));
}

TEST(DocumentFormat, SecondPositionBlockIsTheOneThatStays) {
    std::vector<std::string> lines = fresh_lines();
    for (int l = 0; l < 4; ++l) {
        lines[520 + l] = std::to_string(1 + l);
        lines[782 + l] = std::to_string(9 + l);
    }
    Model m;
    parse_document(m, document_text(lines));
    EXPECT_EQ(m.position_offset, (std::array<int, 4>{9, 10, 11, 12}));
}

TEST(DocumentFormat, NumbersAreTakenWithoutRangeChecks) {
    std::vector<std::string> lines = fresh_lines();
    lines[0] = "-5";
    lines[256] = "150";
    lines[512] = "64";
    lines[513] = "99999";
    lines[524] = " 8";
    lines[525] = "99999999999";  // saturates rather than overflowing
    Model m;
    parse_document(m, document_text(lines));
    EXPECT_EQ(m.title_display[0][0], -5);
    EXPECT_EQ(m.switch_time[0][0], 150);
    EXPECT_EQ(m.startup_page[0], 64);
    EXPECT_EQ(m.startup_page[1], 99999);
    EXPECT_EQ(m.white_level, 8);
    EXPECT_EQ(m.edge_level, 2147483647);
}

TEST(DocumentFormat, LineWithoutANumberKeepsTheValueAndTheRecordsStayInStep) {
    std::vector<std::string> lines = fresh_lines();
    lines[0] = "x";
    lines[1] = "0";
    lines[kFirstTitleLine] = "title";
    Model m;
    m.title_display[0][0] = 0;
    parse_document(m, document_text(lines));
    EXPECT_EQ(m.title_display[0][0], 0);
    EXPECT_EQ(m.title_display[0][1], 0);
    EXPECT_EQ(slot_text(m.title(0, 0)), "title");
}

// --- the menu commands ---

TEST(DocumentCommands, NewResetsTheModelWhenNothingIsUnsaved) {
    RecordingUi ui;
    Model m = edited_model();
    m.document_path = "/x/a.dat";
    m.slave_address_index = 5;
    m.glyph_data[3][0] = 'F';
    EXPECT_TRUE(document_new(m, ui));
    EXPECT_TRUE(ui.questions.empty());
    expect_same_block(m, Model{});
    EXPECT_EQ(m.document_path, "");
    EXPECT_EQ(m.slave_address_index, 0);
    EXPECT_EQ(m.glyph_data[3][0], '0');
}

TEST(DocumentCommands, NewAsksWhenDirtyAndNoKeepsEverything) {
    RecordingUi ui;
    ui.answers = {false};
    Model m = edited_model();
    m.document_dirty = 1;
    m.document_path = "/x/a.dat";
    EXPECT_FALSE(document_new(m, ui));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに新規作成しますか？");
    EXPECT_EQ(ui.questions[0].caption, "TQV-7310NX");
    expect_same_block(m, edited_model());
    EXPECT_EQ(m.document_dirty, 1);
    EXPECT_EQ(m.document_path, "/x/a.dat");

    ui.answers = {true};
    EXPECT_TRUE(document_new(m, ui));
    expect_same_block(m, Model{});
    EXPECT_EQ(m.document_dirty, 0);
}

TEST(DocumentCommands, NewAndOpenDoNothingWhileABulkTransferRuns) {
    RecordingUi ui;
    Model m = edited_model();
    m.document_dirty = 1;
    SendPath path(m, ui);
    BulkTransfer steps(BulkKind::display_lines);
    tqv::Run run(path, steps);
    ASSERT_TRUE(run.start(false));
    int chooser_calls = 0;
    auto choose = [&]() -> std::optional<std::string> {
        ++chooser_calls;
        return std::nullopt;
    };
    EXPECT_FALSE(document_new(m, ui));
    EXPECT_FALSE(document_open(m, ui, choose));
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(chooser_calls, 0);
    expect_same_block(m, edited_model());
    EXPECT_TRUE(run.running());
}

TEST(DocumentCommands, OpenAnsweredNoLeavesTheDocumentUntouched) {
    RecordingUi ui;
    ui.answers = {false};
    Model m = edited_model();
    m.document_dirty = 1;
    m.document_path = "/x/a.dat";
    int chooser_calls = 0;
    auto choose = [&]() -> std::optional<std::string> {
        ++chooser_calls;
        return "/nonexistent";
    };
    EXPECT_FALSE(document_open(m, ui, choose));
    ASSERT_EQ(ui.questions.size(), 1u);
    EXPECT_EQ(ui.questions[0].text, "データを保存せずに別のファイルを開きますか？");
    EXPECT_EQ(ui.questions[0].caption, "TQV-7310NX");
    EXPECT_EQ(chooser_calls, 0);
    EXPECT_EQ(m.document_path, "/x/a.dat");
    EXPECT_EQ(m.document_dirty, 1);
    expect_same_block(m, edited_model());
}

TEST(DocumentCommands, OpenCancelledChangesNothing) {
    RecordingUi ui;
    Model m = edited_model();
    EXPECT_FALSE(document_open(m, ui, [] { return std::optional<std::string>{}; }));
    EXPECT_TRUE(ui.boxes.empty());
    expect_same_block(m, edited_model());
}

TEST(DocumentCommands, OpenOfAnUnreadableFileWarnsAndChangesNothing) {
    TempDir dir;
    RecordingUi ui;
    Model m = edited_model();
    m.document_dirty = 1;
    m.document_path = "/x/a.dat";
    for (std::string path : {dir.file("missing.dat"), dir.path()}) {
        ui.clear();
        EXPECT_FALSE(document_open(m, ui, [&] { return std::optional<std::string>(path); }));
        ASSERT_EQ(ui.boxes.size(), 1u) << path;
        EXPECT_EQ(ui.boxes[0].kind, Box::warning);
        EXPECT_EQ(ui.boxes[0].text, "Can't file open");
        EXPECT_EQ(ui.boxes[0].caption, "Error");
        EXPECT_EQ(m.document_path, "/x/a.dat");
        EXPECT_EQ(m.document_dirty, 1);
        expect_same_block(m, edited_model());
    }
}

TEST(DocumentCommands, OpenLoadsTheFileAndNamesTheDocument) {
    TempDir dir;
    Model source = edited_model();
    ASSERT_TRUE(save_document(source, dir.file("b.dat")));
    RecordingUi ui;
    Model m;
    EXPECT_TRUE(
        document_open(m, ui, [&] { return std::optional<std::string>(dir.file("b.dat")); }));
    EXPECT_TRUE(ui.boxes.empty());
    expect_same_block(m, source);
    EXPECT_EQ(m.document_path, dir.file("b.dat"));
    EXPECT_EQ(m.document_dirty, 0);
}

TEST(DocumentCommands, SaveWithoutANameWarnsDontFileOpen) {
    RecordingUi ui;
    Model m;
    m.document_dirty = 1;
    EXPECT_FALSE(document_save(m, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Don't file open");
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(m.document_dirty, 1);
}

TEST(DocumentCommands, SaveWritesCrLfFileAndClearsDirty) {
    TempDir dir;
    RecordingUi ui;
    Model m = edited_model();
    m.document_path = dir.file("c.dat");
    m.document_dirty = 1;
    EXPECT_TRUE(document_save(m, ui));
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(m.document_dirty, 0);
    EXPECT_EQ(read_bytes(dir.file("c.dat")), document_bytes(edited_model()));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"c.dat"});
}

TEST(DocumentCommands, SaveAsAppliesTheDatExtensionRule) {
    TempDir dir;
    struct Case {
        std::string chosen;
        std::string written;
    };
    for (const Case& c : {Case{"abc", "abc.dat"}, Case{"abc.DAT", "abc.DAT.dat"},
                          Case{"x.dat.old", "x.dat.old"}, Case{"y.dat", "y.dat"}}) {
        RecordingUi ui;
        Model m;
        m.document_dirty = 1;
        EXPECT_TRUE(document_save_as(
            m, ui, [&] { return std::optional<std::string>(dir.file(c.chosen)); }));
        EXPECT_EQ(m.document_path, dir.file(c.written));
        EXPECT_EQ(m.document_dirty, 0);
        EXPECT_EQ(read_bytes(dir.file(c.written)), document_bytes(Model{})) << c.chosen;
    }
    EXPECT_EQ(dir.entries().size(), 4u);
}

TEST(DocumentCommands, SaveAsCancelledWritesNothing) {
    TempDir dir;
    RecordingUi ui;
    Model m;
    m.document_dirty = 1;
    EXPECT_FALSE(document_save_as(m, ui, [] { return std::optional<std::string>{}; }));
    EXPECT_TRUE(dir.entries().empty());
    EXPECT_TRUE(ui.boxes.empty());
    EXPECT_EQ(m.document_dirty, 1);
}

TEST(DocumentCommands, SaveAsToADirectoryWarnsAndKeepsTheName) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("d.dat"));
    RecordingUi ui;
    Model m;
    m.document_path = "/x/a.dat";
    m.document_dirty = 1;
    EXPECT_FALSE(
        document_save_as(m, ui, [&] { return std::optional<std::string>(dir.file("d")); }));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(m.document_path, "/x/a.dat");
    EXPECT_EQ(m.document_dirty, 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("d.dat")));
}

TEST(DocumentCommands, SaveIntoAMissingDirectoryWarns) {
    TempDir dir;
    RecordingUi ui;
    Model m;
    m.document_path = dir.file("gone/a.dat");
    m.document_dirty = 1;
    EXPECT_FALSE(document_save(m, ui));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(m.document_dirty, 1);
}

TEST(DocumentCommands, FailedSaveLeavesThePreviousFileIntact) {
#ifdef _WIN32
    GTEST_SKIP() << "a write cannot be made to fail part-way on Windows";
#else
    TempDir dir;
    const std::string previous = document_bytes(Model{});
    write_bytes(dir.file("keep.dat"), previous);
    RecordingUi ui;
    Model m = edited_model();
    m.document_path = dir.file("keep.dat");
    m.document_dirty = 1;
    {
        // The new document is larger than this; its write fails part-way.
        FileSizeLimit limit(100);
        EXPECT_FALSE(document_save(m, ui));
    }
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].kind, Box::warning);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    EXPECT_EQ(m.document_dirty, 1);
    EXPECT_EQ(read_bytes(dir.file("keep.dat")), previous);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"keep.dat"});  // no temporary file left
#endif
}

}  // namespace
}  // namespace tqv
