// Files the program reads and writes, seen from outside: what a loader refuses, what a
// save leaves on disk, which question comes before an overwrite or a loss of glyphs.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

#include "core/commands.h"
#include "core/config.h"
#include "core/cues.h"
#include "core/document.h"
#include "core/atomic_file.h"
#include "core/glyph.h"
#include "core/texts.h"
#include "recording_ui.h"
#include "temp_dir.h"

namespace tqv {
namespace {

using testing::read_bytes;
using testing::write_bytes;

class Files : public ::testing::Test {
protected:
    std::optional<std::string> chosen(const std::string& name) { return dir.file(name); }
    testing::TempDir dir;
    RecordingUi ui;
    Model m;
};

TEST_F(Files, EveryLoaderRefusesWhatIsNoBoundedRegularFile) {
    write_bytes(dir.file("big"), "");
    std::filesystem::resize_file(testing::fs_path(dir.file("big")), 4 << 20);
#ifdef _WIN32
    const std::vector<std::string> devices = {"NUL", "CON", "COM1"};
#else
    ASSERT_EQ(::mkfifo(dir.file("x.tll").c_str(), 0600), 0);
    const std::vector<std::string> devices = {"/dev/zero", dir.file("x.tll")};
#endif
    const std::function<bool(const std::string&)> loaders[] = {
        [&](const std::string& p) { return load_glyph_list(m, p); },
        [&](const std::string& p) { return load_document(m, p); },
        [&](const std::string& p) {
            read_configuration(m, IniFile(p));
            return m.interface_kind == 1;
        },
        [&](const std::string& p) { std::vector<Cue> c; CueFileError e; return load_cue_file(p, c, e); }};
    write_bytes(dir.file("ok.ini"), "[TQV-7310NX_Section]\r\nInterface=1\r\n");
    for (const auto& load : loaders) {
        std::vector<std::string> paths = devices;
        paths.insert(paths.end(), {dir.path(), dir.file("big")});
        for (const std::string& path : paths) {
            m.glyph_data[0][0] = 'E';
            EXPECT_FALSE(load(path)) << path;
            EXPECT_EQ(m.glyph_data[0][0], 'E') << path;
        }
    }
    EXPECT_TRUE(loaders[2](dir.file("ok.ini")));
    IniFile big(dir.file("big"));
    EXPECT_FALSE(big.set(kConfigSection, "Interface", "1")) << "an unreadable file is not replaced";
}

TEST_F(Files, GlyphRecordsAreReadAsDigitsAndRegisterOnlyDigits) {
    parse_glyph_list(m, std::string("Z\r\n\0\r\n\xE3\x81\x82\r\nf\r\n", 14));
    EXPECT_EQ(std::string(m.glyph_data[0].data(), 7), "30CABF0");
    const std::string body = body_glyph_register(1, m.glyph_data[0]);
    EXPECT_EQ(body.find_first_not_of("0123456789ABCDEF", 4), body.size() - 2);
}

TEST_F(Files, ConfigurationValuesAreNormalisedWhenRead) {
    struct Case { const char* text; int interface_kind, tcp_role, com_port; };
    for (const Case& c : {Case{"Interface=7\r\nClientServer=2\r\ncom_port=7", 0, 0, 0},
                          Case{"Interface=1\r\nClientServer=1\r\ncom_port=5", 1, 1, 5},
                          Case{"Interface=-1\r\nClientServer=x\r\ncom_port=-1", 0, 0, 0}}) {
        write_bytes(dir.file("c.ini"), std::string("[TQV-7310NX_Section]\r\n") + c.text + "\r\n");
        read_configuration(m, IniFile(dir.file("c.ini")));
        EXPECT_EQ(std::make_tuple(m.interface_kind, m.tcp_role, m.com_port_index),
                  std::make_tuple(c.interface_kind, c.tcp_role, c.com_port)) << c.text;
    }
}

TEST_F(Files, SaveAsAsksBeforeOverwritingANameTheExtensionCompleted) {
    write_bytes(dir.file("glyphs.tll"), "old");
    write_bytes(dir.file("doc.dat"), "old");
    ui.answers = {false, false};
    EXPECT_FALSE(glyph_list_save_as(m, ui, [&] { return chosen("glyphs"); }));
    EXPECT_FALSE(document_save_as(m, ui, [&] { return chosen("doc"); }));
    ASSERT_EQ(ui.questions.size(), 2u);
    EXPECT_EQ(ui.questions[0].text, dir.file("glyphs.tll") + " は既に存在します。\n上書きしますか？");
    EXPECT_EQ(ui.questions[1].caption, "ファイルの保存");
    EXPECT_EQ(read_bytes(dir.file("glyphs.tll")) + read_bytes(dir.file("doc.dat")), "oldold");
    EXPECT_TRUE(glyph_list_save_as(m, ui, [&] { return chosen("glyphs"); })) << "Yes replaces it";
    EXPECT_EQ(read_bytes(dir.file("glyphs.tll")).size(), 120960u);
}

TEST_F(Files, GlyphsHaveTheirOwnUnsavedFlag) {
    GlyphEditor editor;
    m.document_dirty = 1;
    glyph_button_down(m, editor, 20, 16, true);
    EXPECT_EQ(m.glyph_list_dirty, 1) << "a dot the editor stored";
    ASSERT_TRUE(save_glyph_list(m, dir.file("g.tll")));
    ASSERT_TRUE(load_glyph_list(m, dir.file("g.tll")));
    EXPECT_EQ(std::make_pair(m.glyph_list_dirty, m.document_dirty), std::make_pair(0, 1));

    // Leaving with unsaved glyphs: Yes leaves them, No saves them (save-as without a path).
    m.glyph_list_dirty = 1;
    ui.answers = {true, false};
    EXPECT_TRUE(glyph_list_may_discard(m, ui, text::kAskExitGlyphs, {}));
    EXPECT_EQ(m.glyph_list_dirty, 1);
    m.glyph_list_path.clear();
    EXPECT_TRUE(glyph_list_may_discard(m, ui, text::kAskExitGlyphs, [&] { return chosen("n"); }));
    EXPECT_EQ(ui.questions[0].text, "外字データを保存せずに終了しますか？");
    EXPECT_EQ(std::make_pair(m.glyph_list_dirty, m.glyph_list_path), std::make_pair(0, dir.file("n.tll")));
    m.glyph_list_dirty = 1;
    m.glyph_list_path.clear();
    ui.answers = {false};
    EXPECT_FALSE(glyph_list_may_discard(m, ui, text::kAskCloseGlyphs, {})) << "save-as cancelled";
}

TEST_F(Files, SavingRemovesTemporariesOfDeadSavesOnly) {
    const long ended = testing::ended_process_id();
    ASSERT_GT(ended, 0);
    const std::string dead = "d.dat.tmp-" + std::to_string(ended) + "-4";
    const std::string live = "d.dat.tmp-" + std::to_string(testing::own_process_id()) + "-999";
    for (const auto& name : {dead, live, std::string("d.dat.tmp-x-1")}) write_bytes(dir.file(name), "");
    ASSERT_TRUE(save_document(m, dir.file("d.dat")));
    auto names = dir.entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"d.dat", live, "d.dat.tmp-x-1"}));
}

#ifndef _WIN32
TEST_F(Files, ASaveAsRootLeavesTheFileToItsOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand a file to another user";
    const std::string path = dir.file("owned.dat");
    ASSERT_TRUE(save_document(m, path));
    ASSERT_EQ(::chown(path.c_str(), 4321, 4322), 0);
    ASSERT_TRUE(save_document(m, path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(std::make_pair(st.st_uid, st.st_gid), std::make_pair(uid_t(4321), gid_t(4322)));
}
#endif

// What a save does where Windows differs most from POSIX systems: names in Japanese, text
// with CR LF and other control bytes, a read-only file, a file another program has open.
TEST_F(Files, JapaneseNamesAndEveryByteOfAFileSurviveASaveAndALoad) {
    const std::string bytes("CR LF\r\nLF\nCR\r\x1a after end-of-file mark\0 NUL\r\n", 43);
    const std::string raw = dir.file("生の バイト.bin");
    ASSERT_TRUE(write_file_atomically(raw, bytes));
    EXPECT_EQ(read_whole_file(raw, 1000), bytes);
    EXPECT_EQ(read_bytes(raw), bytes);

    const char title[] = "\x91\xac\x95\xf1 \x8c\x80";  // "速報 研" as a title holds it
    std::copy(std::begin(title), std::end(title), m.title(2, 63).begin());
    const std::string doc = dir.file("番組①テロップ.dat");
    ASSERT_TRUE(save_document(m, doc));
    EXPECT_EQ(read_bytes(doc), document_bytes(m)) << "written as it is, CR LF included";
    Model back;
    ASSERT_TRUE(load_document(back, doc));
    EXPECT_EQ(std::string(back.title(2, 63).data()), title);

    IniFile ini(dir.file("設定.ini"));
    ASSERT_TRUE(ini.set(kConfigSection, "Interface", "1"));
    read_configuration(back, ini);
    EXPECT_EQ(back.interface_kind, 1);
    const std::vector<Cue> cues = {Cue{"速報", {CueStep{CueAction::title, 1, 5, "臨時ニュース"}}}};
    std::vector<Cue> cues_back;
    CueFileError error;
    ASSERT_TRUE(save_cue_file(dir.file("キュー.csv"), cues));
    ASSERT_TRUE(load_cue_file(dir.file("キュー.csv"), cues_back, error)) << error.message();
    EXPECT_EQ(cues_back, cues);

    ui.answers = {false};
    EXPECT_FALSE(document_save_as(m, ui, [&] { return chosen("番組①テロップ"); }));
    EXPECT_EQ(ui.questions.size(), 1u) << "the existing file was seen under its Japanese name";
    auto names = dir.entries();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"キュー.csv", "生の バイト.bin", "番組①テロップ.dat", "設定.ini"}));
}

TEST_F(Files, AReadOnlyFileIsRefusedAndKept) {
    const std::function<bool(const std::string&)> savers[] = {
        [&](const std::string& p) { return (m.document_path = p, document_save(m, ui)); },
        [&](const std::string& p) { return (m.glyph_list_path = p, glyph_list_save(m, ui)); },
        [&](const std::string& p) { IniFile ini(p); return ini.set(kConfigSection, "Interface", "1"); },
        [&](const std::string& p) { return save_cue_file(p, {}); }};
    for (const auto& save : savers) {
        const std::string path = dir.file("kept");
        write_bytes(path, "kept\r\n");
        std::filesystem::permissions(testing::fs_path(path), std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                         std::filesystem::perms::others_write,
                                     std::filesystem::perm_options::remove);
        m.document_dirty = m.glyph_list_dirty = 1;
        EXPECT_FALSE(save(path));
        EXPECT_EQ(read_bytes(path), "kept\r\n");
        EXPECT_EQ(dir.entries(), std::vector<std::string>{"kept"}) << "no temporary file left";
        std::filesystem::permissions(testing::fs_path(path), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        std::filesystem::remove(testing::fs_path(path));
    }
    EXPECT_EQ(std::make_pair(m.document_dirty, m.glyph_list_dirty), std::make_pair(1, 1));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(std::make_pair(ui.boxes[0].text, ui.boxes[1].text), std::make_pair(std::string("Can't file open"), std::string("Can't file open")));
}

TEST_F(Files, ASaveOverAFileAnotherProgramReadsReplacesItWholeOrNotAtAll) {
    const std::string path = dir.file("open.dat");
    write_bytes(path, "old\r\n");
    std::ifstream reader(testing::fs_path(path), std::ios::binary);
    ASSERT_TRUE(reader.is_open());
    m.document_path = path;
    m.document_dirty = 1;
#ifdef _WIN32
    // Opened without leave to delete it (as the C library opens files), Windows keeps the
    // file where it is: the save is refused, and can be made again once the file is closed.
    EXPECT_FALSE(document_save(m, ui));
    EXPECT_EQ(read_bytes(path), "old\r\n");
    EXPECT_EQ(m.document_dirty, 1);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Can't file open");
    // A reader that lets others delete the file (as most Windows programs do) is no obstacle.
    HANDLE shared = CreateFileW(testing::fs_path(dir.file("shared.dat")).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(shared, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(save_document(m, dir.file("shared.dat")));
    CloseHandle(shared);
    EXPECT_EQ(read_bytes(dir.file("shared.dat")), document_bytes(m));
    std::filesystem::remove(testing::fs_path(dir.file("shared.dat")));
#else
    EXPECT_TRUE(document_save(m, ui));
    EXPECT_EQ(read_bytes(path), document_bytes(m));
#endif
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(reader), {}), "old\r\n") << "the reader keeps what it opened";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"open.dat"});
}

TEST(TypedValues, PortsOutside1To65535AreRefused) {
    for (const char* bad : {"0", "70000", "99999", "", "9a", "000000"}) EXPECT_FALSE(parse_port(bad)) << bad;
    EXPECT_EQ(parse_port("09004"), 9004);
    EXPECT_EQ(parse_port("65535"), 65535);
}

}  // namespace
}  // namespace tqv
