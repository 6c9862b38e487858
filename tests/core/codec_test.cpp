#include "core/codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <tuple>

namespace tqv {
namespace {

struct Row {
    const char* what;
    std::string cp932;      // bytes as held in a title
    std::string utf8;       // what cp932_to_utf8 gives
    std::string reencoded;  // what utf8_to_cp932 makes of that again
};

// Pins code page 932 as the program sees it on every system, including the
// characters that code page 932 holds twice and re-encodes to the other twin.
const Row kTable[] = {
    {"hiragana a", "\x82\xa0", "あ", "\x82\xa0"},
    {"katakana a", "\x83\x41", "ア", "\x83\x41"},
    {"full-width space", "\x81\x40", "\u3000", "\x81\x40"},
    {"geta mark", "\x81\xac", "〓", "\x81\xac"},
    {"wave dash", "\x81\x60", "\uff5e", "\x81\x60"},
    {"full-width reverse solidus", "\x81\x5f", "\uff3c", "\x81\x5f"},
    {"minus sign", "\x81\x7c", "\uff0d", "\x81\x7c"},
    {"kanji level 1 first", "\x88\x9f", "亜", "\x88\x9f"},
    {"kanji level 1 last", "\x98\x72", "腕", "\x98\x72"},
    {"kanji level 2 first", "\x98\x9f", "弌", "\x98\x9f"},
    {"kanji level 2 last", "\xea\xa4", "熙", "\xea\xa4"},
    {"NEC circled one", "\x87\x40", "①", "\x87\x40"},
    {"NEC square millimetre", "\x87\x5f", "㍉", "\x87\x5f"},
    {"NEC roman numeral one", "\x87\x54", "Ⅰ", "\x87\x54"},
    {"NEC numero sign", "\x87\x82", "№", "\x87\x82"},
    {"NEC approximately equal (JIS twin)", "\x87\x90", "≒", "\x81\xe0"},
    {"IBM small roman one", "\xfa\x40", "ⅰ", "\xfa\x40"},
    {"IBM roman numeral one (NEC twin)", "\xfa\x4a", "Ⅰ", "\x87\x54"},
    {"IBM not sign (JIS twin)", "\xfa\x54", "\uffe2", "\x81\xca"},
    {"IBM because (JIS twin)", "\xfa\x5b", "∵", "\x81\xe6"},
    {"IBM kanji", "\xfa\x5c", "纊", "\xfa\x5c"},
    {"IBM last kanji", "\xfc\x4b", "黑", "\xfc\x4b"},
    {"NEC-selected IBM small roman one", "\xee\xef", "ⅰ", "\xfa\x40"},
    {"NEC-selected IBM kanji", "\xed\x40", "纊", "\xfa\x5c"},
    {"user-defined area", "\xf0\x40", "\ue000", "\xf0\x40"},
    {"half-width katakana a", "\xb1", "ｱ", "\xb1"},
    {"half-width ideographic full stop", "\xa1", "｡", "\xa1"},
    {"half-width semi-voiced mark", "\xdf", "ﾟ", "\xdf"},
    {"control 0x1A", "\x1a", "\x1a", "\x1a"},
    {"control 0x1C", "\x1c", "\x1c", "\x1c"},
    {"control 0x7F", "\x7f", "\x7f", "\x7f"},
    {"backslash stays a backslash", "\x5c", "\\", "\x5c"},
    {"tilde stays a tilde", "\x7e", "~", "\x7e"},
    {"ASCII text", "Title 01", "Title 01", "Title 01"},
};

TEST(Codec, TableDecodesAndReencodes) {
    for (const Row& row : kTable) {
        EXPECT_EQ(cp932_to_utf8(row.cp932), row.utf8) << row.what;
        EXPECT_EQ(utf8_to_cp932(row.utf8), std::optional<std::string>(row.reencoded)) << row.what;
    }
}

TEST(Codec, GlyphPlaceholdersDecodeAsGetaMarks) {
    // Glyph 01 (0x1020), glyph 27 (0x10DC), glyph 64 (0x1101) between ordinary characters.
    EXPECT_EQ(cp932_to_utf8(std::string("\x82\xa0\x10\x20\x10\xdc\x11\x01\x82\xa2", 10)),
              "あ〓〓〓い");
    // The geta mark encodes as itself, not back into a placeholder.
    EXPECT_EQ(utf8_to_cp932("〓"), std::optional<std::string>("\x81\xac"));
}

TEST(Codec, UndecodableBytesBecomeReplacementCharacters) {
    const std::string fffd = "\uFFFD";
    EXPECT_EQ(cp932_to_utf8("\x80"), fffd);
    EXPECT_EQ(cp932_to_utf8("\xa0"), fffd);
    EXPECT_EQ(cp932_to_utf8("\xfd\xfe\xff"), fffd + fffd + fffd);
    // A lead and trail byte that name no character: one replacement for both.
    EXPECT_EQ(cp932_to_utf8("\x85\x40"
                            "a"),
              fffd + "a");
    // A lead byte without a trail byte: the next byte is decoded on its own.
    EXPECT_EQ(cp932_to_utf8("\x82 a"), fffd + " a");
    EXPECT_EQ(cp932_to_utf8("a\x82"), "a" + fffd);
    // Half a glyph placeholder at the end.
    EXPECT_EQ(cp932_to_utf8("a\x10"), "a" + fffd);
}

TEST(Codec, CharactersWithoutACodePage932FormGiveNothing) {
    EXPECT_EQ(utf8_to_cp932("あ€"), std::nullopt);
    EXPECT_EQ(utf8_to_cp932("😀"), std::nullopt);
    EXPECT_EQ(utf8_to_cp932("\uFFFD"), std::nullopt);
    EXPECT_EQ(utf8_to_cp932("ハングル 한"), std::nullopt);
    // Text that is not UTF-8 at all, or ends inside a character.
    EXPECT_EQ(utf8_to_cp932("\xff"), std::nullopt);
    EXPECT_EQ(utf8_to_cp932("\xe3\x81"), std::nullopt);
}

TEST(Codec, FoldsSomeCharactersOneWay) {
    // These go to look-alikes; decoding gives the look-alike, not the original. Between
    // ordinary characters, as typed.
    EXPECT_EQ(utf8_to_cp932("¥"), std::optional<std::string>("\x5c"));
    EXPECT_EQ(utf8_to_cp932("a¢b—c"), std::optional<std::string>("a\x81\x91" "b\x81\x5c" "c"));
    // What one system alone would give a form, or drop, has none.
    for (const char* none : {"\u0080", "\uF8F0", "a\U000E0041"}) EXPECT_EQ(utf8_to_cp932(none), std::nullopt) << none;
    EXPECT_EQ(utf8_to_cp932("‾"), std::optional<std::string>("\x7e"));
    EXPECT_EQ(utf8_to_cp932("〜"), std::optional<std::string>("\x81\x60"));
    EXPECT_EQ(utf8_to_cp932("∥"), std::optional<std::string>("\x81\x61"));
}

// Every one- and two-byte sequence and every code point, folded into one number: the core
// converts alike on every system it is built for (the number was taken on Linux).
TEST(Codec, TheWholeCodePageConvertsAlikeOnEverySystem) {
    std::uint64_t digest = 14695981039346656037u;  // FNV-1a
    auto mix = [&](std::string_view bytes) {
        for (unsigned char c : std::string(bytes) + '\xff') digest = (digest ^ c) * 1099511628211u;
    };
    int decoded = 0, encoded = 0;
    for (int a = 0; a < 0x100; ++a) {
        for (int b = -1; b < (a < 0x80 ? 0 : 0x100); ++b) {
            const std::string bytes = b < 0 ? std::string(1, char(a)) : std::string{char(a), char(b)};
            const std::string text = cp932_to_utf8(bytes);
            decoded += text.find("\uFFFD") == std::string::npos;
            mix(text);
        }
    }
    for (char32_t c = 0; c <= 0x10FFFF; c = c == 0xD7FF ? 0xE000 : c + 1) {
        std::string text;
        append_utf8(text, c);
        const std::optional<std::string> bytes = utf8_to_cp932(text);
        encoded += bytes.has_value();
        mix(bytes.value_or("-"));
    }
    EXPECT_EQ(std::make_tuple(decoded, encoded, digest), std::make_tuple(21700, 9406, std::uint64_t(9749885179257302473u)));
}

TEST(Codec, EmptyAndLongTextsConvert) {
    EXPECT_EQ(cp932_to_utf8(""), "");
    EXPECT_EQ(utf8_to_cp932(""), std::optional<std::string>(""));
    std::string many;
    for (int i = 0; i < 1000; ++i) many += "漢字";
    auto encoded = utf8_to_cp932(many);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->size(), 4000u);
    EXPECT_EQ(cp932_to_utf8(*encoded), many);
}

}  // namespace
}  // namespace tqv
