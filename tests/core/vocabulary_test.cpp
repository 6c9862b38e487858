// The one vocabulary of remote requests, cue steps and the tool: line and page names, titles
// turned to full width and checked, the command each operation sends.
#include "core/vocabulary.h"

#include <gtest/gtest.h>

#include "core/codec.h"

namespace tqv {
namespace {

std::string cp932(const char* utf8) { return utf8_to_cp932(utf8).value(); }

std::string blanks(int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "2121";
    return s;
}

struct Vocabulary : ::testing::Test {};

TEST_F(Vocabulary, LineNamesParseInEitherCaseAndBadOnesSayWhichThereAre) {
    struct Case { const char* text; int line; const char* error; };
    const Case cases[] = {
        {"1T", 0, ""}, {"1b", 1, ""}, {"2T", 2, ""}, {"2b", 3, ""},
        {"3T", -1, "unknown line \"3T\": 1T, 1B, 2T or 2B"},
        {"t1", -1, "unknown line \"t1\": 1T, 1B, 2T or 2B"},
        {"1TT", -1, "unknown line \"1TT\": 1T, 1B, 2T or 2B"},
        {"", -1, "unknown line \"\": 1T, 1B, 2T or 2B"},
        {"1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T",
         -1, "unknown line \"1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T1T…\": 1T, 1B, 2T or 2B"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto line = parse_line_label(c.text, &error);
        EXPECT_EQ(line.value_or(-1), c.line) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        if (line) {
            EXPECT_EQ(parse_line_label(line_label(*line)), line);
        }
    }
}

TEST_F(Vocabulary, PagesAreOneOrTwoDigitsOrAutoWhereAutoIsTaken) {
    struct Case { const char* text; bool allow_auto; int page; const char* error; };
    const Case cases[] = {
        {"1", true, 0, ""}, {"01", false, 0, ""}, {"64", false, 63, ""},
        {"AUTO", true, kAutoPage, ""}, {"auto", true, kAutoPage, ""},
        {"AUTO", false, -1, "page \"AUTO\" out of range: 1..64"},
        {"0", true, -1, "page \"0\" out of range: 1..64 or AUTO"},
        {"65", true, -1, "page \"65\" out of range: 1..64 or AUTO"},
        {"005", false, -1, "page \"005\" out of range: 1..64"},
        {"-1", false, -1, "page \"-1\" out of range: 1..64"},
        {"+1", false, -1, "page \"+1\" out of range: 1..64"},
        {" 1", false, -1, "page \" 1\" out of range: 1..64"},
        {"", true, -1, "page \"\" out of range: 1..64 or AUTO"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto page = parse_page_label(c.text, c.allow_auto, &error);
        EXPECT_EQ(page.value_or(-1), c.page) << c.text;
        EXPECT_EQ(error, c.error) << c.text;
        if (page) {
            EXPECT_EQ(parse_page_label(page_label(*page), true), page);
        }
    }
}

TEST_F(Vocabulary, HalfWidthTitlesTurnFullWidthWithVoicedMarksJoined) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"ABC xyz", "ＡＢＣ　ｘｙｚ"},
        {"0123456789", "０１２３４５６７８９"},
        {"!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~",
         "！”＃＄％＆’（）＊＋，－．／：；＜＝＞？＠［＼］＾＿｀｛｜｝～"},
        {"ﾆｭｰｽ", "ニュース"},
        {"ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞ", "ガギグゲゴザジズゼゾダヂヅデド"},
        {"ﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ", "バビブベボパピプペポ"},
        {"ｳﾞ", "ヴ"},
        {"ｱﾞﾜﾞｶﾟﾟ", "ア゛ワ゛カ゜゜"},  // no single character for these: the mark stays
        {"ﾞｶ", "゛カ"},
        {"カﾞ", "ガ"},                 // a full-width letter takes a half-width mark too
        {"ｯｰ｡｢｣､･ｦｧ", "ッー。「」、・ヲァ"},
        {"日本語ガ😀", "日本語ガ😀"},
        {"A\xFF" "B", "Ａ\xFF" "Ｂ"},  // bytes that are no UTF-8 are left to the check
    };
    for (const Case& c : cases) EXPECT_EQ(full_width_title(c.in), c.out) << c.in;
}

// Whatever half-width character the conversion takes, the device can show what it becomes.
TEST_F(Vocabulary, EveryConvertedHalfWidthCharacterCanBeSent) {
    std::vector<char32_t> half;
    for (char32_t c = 0x20; c < 0x7F; ++c) half.push_back(c);
    for (char32_t c = 0xFF61; c <= 0xFF9F; ++c) half.push_back(c);
    for (char32_t c : half) {
        std::string one;
        append_utf8(one, c);
        const TitleCheck check = check_title(one);
        EXPECT_TRUE(check.ok()) << one << ": " << title_refusal(check, Language::english);
        EXPECT_EQ(check.bytes.size(), 2u) << one;
    }
}

TEST_F(Vocabulary, TitlesThatCannotBeSentNameTheCharactersAndTheLimit) {
    struct Case { const char* text; const char* bytes; const char* english; const char* japanese; };
    const Case cases[] = {
        {"ABC", "ＡＢＣ", "", ""},
        {"ﾆｭｰｽ速報", "ニュース速報", "", ""},
        {"abcdefghijklmn", "ａｂｃｄｅｆｇｈｉｊｋｌｍｎ", "", ""},
        {"", "", "", ""},
        {"abcdefghijklmno", "", "text cannot be sent: 15 characters, at most 14",
         "タイトルは全角14文字までです（15文字）。"},
        {"A😀B☃😀", "",
         "text cannot be sent: characters the device cannot show: \"😀\", \"☃\"",
         "送信できない文字があります: 「😀」「☃」。"},
        {"\t", "", "text cannot be sent: characters the device cannot show: \"U+0009\"",
         "送信できない文字があります: 「U+0009」。"},
        {"😀😀😀😀😀😀😀😀😀😀😀😀😀😀😀", "",
         "text cannot be sent: characters the device cannot show: \"😀\"; 15 characters, at most 14",
         "送信できない文字があります: 「😀」。タイトルは全角14文字までです（15文字）。"},
        {"\xE3\x81", "", "text cannot be sent: not UTF-8", "UTF-8 の文字ではありません。"},
    };
    for (const Case& c : cases) {
        const TitleCheck check = check_title(c.text);
        EXPECT_EQ(check.ok(), *c.english == '\0') << c.text;
        EXPECT_EQ(check.bytes, *c.bytes ? cp932(c.bytes) : "") << c.text;
        EXPECT_EQ(title_refusal(check, Language::english), c.english) << c.text;
        EXPECT_EQ(title_refusal(check, Language::japanese), c.japanese) << c.text;
    }
}

TEST_F(Vocabulary, OperationsParseOnceAndSendTheirDialogsCommand) {
    using K = Operation::Kind;
    struct Case { K kind; const char* line; const char* page; const char* text; bool memory;
                  std::string body; const char* error; };
    const Case cases[] = {
        {K::page, "1T", "5", nullptr, true, "P01T05\r\n", ""},
        {K::page, "2b", "auto", nullptr, true, "P02BAS\r\n", ""},
        {K::startup, "1B", "64", nullptr, true, "SUS01B64\r\n", ""},
        {K::title, "1T", "1", "ABC", true, "CT01T01234123422343" + blanks(11) + "\r\n", ""},
        {K::title, "2B", "64", "ｶﾞ", false, "CN02B64252C" + blanks(13) + "\r\n", ""},
        {K::title, "1T", "AUTO", "A", true, "", "page \"AUTO\" out of range: 1..64"},
        {K::title, "1T", "1", nullptr, true, "", "no text"},
        {K::page, "3T", "1", nullptr, true, "", "unknown line \"3T\": 1T, 1B, 2T or 2B"},
        {K::title, "1T", "1", "😀", true, "",
         "text cannot be sent: characters the device cannot show: \"😀\""},
    };
    for (const Case& c : cases) {
        const std::string text = c.text ? c.text : "";
        const ParsedOperation p =
            parse_operation(c.kind, c.line, c.page, c.text ? &text : nullptr, c.memory, Language::english);
        EXPECT_EQ(p.error, c.error) << c.line << " " << c.page;
        EXPECT_EQ(p.operation ? operation_body(*p.operation) : "", c.body) << c.line << " " << c.page;
    }
}

TEST_F(Vocabulary, AnOperationPutsWhatItSendsIntoTheModel) {
    Model m;
    for (const auto& [kind, text] : {std::pair{Operation::Kind::page, ""},
                                     std::pair{Operation::Kind::startup, ""},
                                     std::pair{Operation::Kind::title, "ﾃｽﾄ"}}) {
        const auto op = make_operation(kind, 3, 9, text, true, Language::japanese).operation.value();
        apply_operation(m, op);
    }
    EXPECT_EQ(m.current_page[3], 9);
    EXPECT_EQ(m.startup_page[3], 9);
    EXPECT_EQ(slot_text(m.title(3, 9)), cp932("テスト"));
}

}  // namespace
}  // namespace tqv
