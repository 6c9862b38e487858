// Cue files as a spreadsheet writes them, and the list's current and next cue under GO,
// BACK, goto and edits.
#include "core/cues.h"

#include <gtest/gtest.h>
#include <functional>
#include <random>

#include "temp_dir.h"

namespace tqv {
namespace {

const std::string kHeader = "cue,action,line,page,text,memory,seconds\n";

std::string spaces(int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += "2121";
    return out;
}

class CueFile : public ::testing::Test {
protected:
    std::vector<Cue> load(const std::string& rows) {
        std::vector<Cue> cues{{"kept", {}}};
        error = {};
        parse_cue_csv(kHeader + rows, cues, error);
        return cues;
    }
    CueFileError error;
    testing::TempDir dir;
};

TEST_F(CueFile, GoodRowsBecomeTheBodiesTheDialogsSend) {
    struct Case { const char* row; const char* name; std::string body; };
    const Case cases[] = {
        {"A,title,1T,5,あ,,", "A", "CT01T05" + std::string("2422") + spaces(13) + "\r\n"},
        {" A ,TITLE,2b,64,,NoMemory,", "A", "CN02B64" + spaces(14) + "\r\n"},
        // Half-width text goes out in full width, as the operator would have typed it.
        {"A,title,1T,1,Go ﾆｭｰｽ,,", "A", "CT01T01" + std::string("2347236F2121254B2565213C2539") + spaces(7) + "\r\n"},
        {"\"Intro, \"\"1\"\"\",page,1b,05,,,", "Intro, \"1\"", "P01B05\r\n"},
        {"A,page,2T,auto,,,", "A", "P02TAS\r\n"},
        {"A,startup,1T, 1 ,,,", "A", "SUS01T01\r\n"},
        {"A,wait,,,,,3600", "A", ""},
        {"A,page,1T,1,,,,,", "A", "P01T01\r\n"},  // empty cells beyond the seventh
    };
    for (const Case& c : cases) {
        const auto cues = load(std::string(c.row) + "\r\n\r\n,,,,,,\n");
        ASSERT_EQ(cues.size(), 1u) << c.row << ": " << error.message();
        EXPECT_EQ(cues[0].name, c.name);
        EXPECT_EQ(step_body(cues[0].steps.at(0)), c.body) << c.row;
    }
    const auto cues = load("B,page,1T,1,,,\nA,page,1T,2,,,\nA,wait,,,,,1\nC,page,1T,3,,,");
    ASSERT_EQ(cues.size(), 3u);
    EXPECT_EQ(cues[1].name + std::to_string(cues[1].steps.size()), "A2");
}

TEST_F(CueFile, BadRowsAreRefusedWithRowAndColumnAndNothingLoaded) {
    struct Case { std::string rows; const char* message; };
    const Case cases[] = {
        {"A,fire,1T,1,,,", "row 2, column action: unknown action \"fire\": title, page, startup or wait"},
        {"A,page,1T,1,,,\nA,page,3T,1,,,", "row 3, column line: unknown line \"3T\": 1T, 1B, 2T or 2B"},
        {"A,page,1T,65,,,", "row 2, column page: page \"65\" out of range: 1..64 or AUTO"},
        {"A,title,1T,AUTO,あ,,", "row 2, column page: page \"AUTO\" out of range: 1..64"},
        {"A,title,1T,1,あ,yes,", "row 2, column memory: \"yes\": memory, nomemory or empty"},
        {"A,wait,,,,,3601", "row 2, column seconds: seconds \"3601\": a whole number 0..3600"},
        {"A,wait,,,,,x23456789012", "row 2, column seconds: seconds \"x23456789012\": a whole number 0..3600"},
        {"A,page,1T,1,x,,", "row 2, column text: not used by a page step: leave it empty"},
        {"A,title,1T,1,abcdefghijklmno,,", "row 2, column text: text cannot be sent: 15 characters, at most 14"},
        {"A,title,1T,1,あいうえおかきくけこさしすせそ,,", "row 2, column text: text cannot be sent: 15 characters, at most 14"},
        {"A,title,1T,1,😀,,", "row 2, column text: text cannot be sent: characters the device cannot show: \"😀\""},
        {"A,page,1T,1,,,,x", "row 2, column device: a cell beyond the seven columns (the header names no device column)"},
        {",page,1T,1,,,", "row 2, column cue: a cue needs a name"},
        {"A,page,1T,1,,,\nB,page,1T,1,,,\n\nA,page,1T,2,,,", "row 5, column cue: cue \"A\" began at row 2 and other cues came between: keep its rows together"},
        {"A,page,1T,1,\"x,,\n", "row 2, column text: a quote that is never closed"},
        {"A,page,1T,1,\"\"x,,", "row 2, column text: text after the closing quote of a quoted cell"},
        {"A,page,1T,1,x\"y,,", "row 2, column text: a quote inside a cell that does not start with one"},
        {"A,page,1T,1,,,\n\xFF,page", "row 3: not UTF-8 text"},
    };
    for (const Case& c : cases) {
        const auto cues = load(c.rows);
        EXPECT_EQ(error.message(), c.message) << c.rows;
        EXPECT_EQ(cues.size() == 1 ? cues[0].name : "", "kept") << c.rows;
    }
    std::vector<Cue> cues;
    EXPECT_FALSE(parse_cue_csv("cue,action,line,page,text,memory\n", cues, error));
    EXPECT_EQ(error.message(), "row 1: the first row must be the header cue,action,line,page,text,memory,seconds[,device]");
}

TEST_F(CueFile, TheDeviceColumnGivesAStepItsOwnDevicesOnlyWhereTheHeaderNamesIt) {
    const std::string header = "cue,action,line,page,text,memory,seconds,Device\n";
    struct Case { const char* cell; const char* devices; const char* message; };
    const Case cases[] = {
        {"", "", ""},
        {"2", "2", ""},
        {" 3 ; 1 ;3", "1;3", ""},
        {"ALL", "all", ""},
        {"96;07", "7;96", ""},
        {"0", "", "row 2, column device: devices \"0\": a number 1..96, numbers joined by ';', or all"},
        {"97", "", "row 2, column device: devices \"97\": a number 1..96, numbers joined by ';', or all"},
        {"2;", "", "row 2, column device: devices \"2;\": a number 1..96, numbers joined by ';', or all"},
        {"all;2", "", "row 2, column device: devices \"all;2\": a number 1..96, numbers joined by ';', or all"},
        {"2,3", "", "row 2, column 9: a cell beyond the eight columns"},
    };
    for (const Case& c : cases) {
        std::vector<Cue> cues;
        error = {};
        const bool ok = parse_cue_csv(header + "A,wait,,,,,1," + c.cell + "\n", cues, error);
        EXPECT_EQ(error.message(), c.message) << c.cell;
        if (!ok) continue;
        EXPECT_EQ(step_devices_text(cues.at(0).steps.at(0).devices), c.devices) << c.cell;
        EXPECT_EQ(step_text(cues[0].steps[0]), std::string("wait 1") + (*c.devices ? " device " : "") + c.devices);
    }
}

TEST_F(CueFile, RandomListsReadBackAsSavedFromDiskWithEitherLineEnd) {
    std::mt19937 random(18);
    const std::vector<std::string> names = {"Opening", "a,b", "say \"hi\"", "速報", "3", "x y"};
    const std::vector<std::string> texts = {"", "ニュース速報", "あ", "東京　大阪", "①"};
    for (int round = 0; round < 40; ++round) {
        CueList list;
        for (std::size_t c = 0; c < 1 + random() % 5; ++c) {
            Cue cue{names[random() % names.size()] + std::to_string(c), {}};
            for (std::size_t k = 0; k < 1 + random() % 4; ++k) {
                CueStep s{CueAction(random() % 4), int(random() % 4), int(random() % 65),
                          texts[random() % texts.size()], random() % 2 == 0, int(random() % 3601), {}};
                if (s.action == CueAction::title) s.page %= 64;
                // Half of the lists without devices: those are saved without the column.
                const auto devices = round % 2 == 1 ? random() % 3 : 2;
                if (devices == 0) s.devices.all = true;
                if (devices == 1) s.devices.numbers = {int(1 + random() % 48), int(49 + random() % 48)};
                cue.steps.push_back(s);
            }
            ASSERT_EQ(list.insert(c, cue), "");
        }
        bool devices = false;
        for (const Cue& c : list.cues())
            for (const CueStep& s : c.steps) devices = devices || s.devices.given();
        EXPECT_EQ(cue_csv(list.cues()).find(",seconds,device\r\n") != std::string::npos, devices);
        EXPECT_EQ(cue_csv(list.cues()).find(",device") != std::string::npos, devices);
        ASSERT_TRUE(save_cue_file(dir.file("show.csv"), list.cues()));
        std::vector<Cue> back;
        ASSERT_TRUE(load_cue_file(dir.file("show.csv"), back, error)) << error.message();
        EXPECT_EQ(back, list.cues());
        std::string lf = cue_csv(list.cues()).substr(3);  // no byte order mark either
        std::erase(lf, '\r');
        ASSERT_TRUE(parse_cue_csv(lf, back, error)) << error.message();
        EXPECT_EQ(back, list.cues());
    }
    EXPECT_EQ(dir.entries().size(), 1u) << "no temporary file left";
}

// ---------------------------------------------------------------- position
class CuePosition : public ::testing::Test {
protected:
    CuePosition() {
        for (const char* name : {"A", "B", "C", "D"}) cues.push_back({name, {CueStep{}}});
    }
    // "current/next" by name, "-" for none.
    static std::string where(const CueList& list) {
        const auto name = [&](std::optional<std::size_t> i) { return i ? list.cues()[*i].name : "-"; };
        return name(list.current()) + "/" + name(list.next());
    }
    std::vector<Cue> cues;
};

TEST_F(CuePosition, GoBackAndGotoMoveCurrentAndNext) {
    CueList list(cues);
    struct Op { std::function<bool(CueList&)> op; bool done; const char* after; };
    const Op ops[] = {
        {[](CueList& l) { return l.back(); }, false, "-/A"},
        {[](CueList& l) { return l.go().has_value(); }, true, "A/B"},
        {[](CueList& l) { return l.select_next(*l.find("4")); }, true, "A/D"},
        {[](CueList& l) { return l.go() == 3u; }, true, "D/-"},
        {[](CueList& l) { return l.go().has_value(); }, false, "D/-"},
        {[](CueList& l) { return l.back(); }, true, "D/D"},
        {[](CueList& l) { return l.back(); }, true, "D/C"},
        {[](CueList& l) { return l.select_next(4); }, false, "D/C"},
        {[](CueList& l) { return l.find("5") || l.find("0") || l.find("") || l.find("a"); }, false, "D/C"},
    };
    for (std::size_t i = 0; i < std::size(ops); ++i) {
        EXPECT_EQ(ops[i].op(list), ops[i].done) << "op " << i;
        EXPECT_EQ(where(list), ops[i].after) << "op " << i;
    }
    cues[2].name = "1";
    EXPECT_EQ(CueList(cues).find("1"), 2u) << "a name wins over a number";
    EXPECT_EQ(where(CueList()), "-/-");
}

TEST_F(CuePosition, EditsKeepCurrentAndNextOnTheirCues) {
    struct Case { std::function<std::string(CueList&)> edit; const char* after; const char* order; };
    const Case cases[] = {  // every case starts with A current, B next
        {[](CueList& l) { return l.insert(0, {"E", {CueStep{}}}); }, "A/B", "EABCD"},
        {[](CueList& l) { return l.remove(1) ? "" : "no"; }, "A/C", "ACD"},
        {[](CueList& l) { return l.remove(0) ? "" : "no"; }, "-/B", "BCD"},
        {[](CueList& l) { return l.move(1, 3) ? "" : "no"; }, "A/B", "ACDB"},
        {[](CueList& l) { return l.move(3, 0) ? "" : "no"; }, "A/B", "DABC"},
        {[](CueList& l) { return l.duplicate(0) + l.duplicate(0); }, "A/B", "A[A 3][A 2]BCD"},
        {[](CueList& l) { return l.replace(1, {"B2", {CueStep{}}}); }, "A/B2", "A[B2]CD"},
        {[](CueList& l) { return l.insert(9, {"A", {CueStep{}}}); }, "A/B", "ABCD"},
        {[](CueList& l) { return l.insert(9, {"E", {}}); }, "A/B", "ABCD"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        CueList list(cues);
        list.go();
        const std::string refused = cases[i].edit(list);
        EXPECT_EQ(refused.empty(), std::string(cases[i].order) != "ABCD") << i << refused;
        EXPECT_EQ(where(list), cases[i].after) << "case " << i;
        std::string order;
        for (const Cue& c : list.cues()) order += c.name.size() == 1 ? c.name : "[" + c.name + "]";
        EXPECT_EQ(order, cases[i].order) << "case " << i;
    }
    CueList list(cues);
    list.go();
    list.mark_failed("step 2 failed");
    EXPECT_TRUE(list.current_failed());
    EXPECT_EQ(list.failure(), "step 2 failed");
    EXPECT_EQ(where(list), "A/B") << "a failed cue stays current";
    list.insert(0, {"Z", {CueStep{}}});
    EXPECT_TRUE(list.current_failed()) << "the mark follows its cue";
    list.go();
    EXPECT_FALSE(list.current_failed()) << "the next GO goes on from the next cue";
    list.mark_failed("again");
    list.remove(2);
    EXPECT_FALSE(list.current_failed());
    list.select_next(3);
    list.go();
    list.remove(3);
    EXPECT_EQ(where(list), "-/-");
    ASSERT_EQ(list.insert(9, {"E", {CueStep{}}}), "");
    EXPECT_EQ(where(list), "-/E") << "a cue added after the end becomes next";
}

}  // namespace
}  // namespace tqv
