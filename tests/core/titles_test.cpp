#include "core/titles.h"

#include <gtest/gtest.h>

#include "core/commands.h"
#include "core_fixture.h"

namespace tqv {
namespace {

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(Jis, ShiftJisConversionBothWays) {
    EXPECT_EQ(sjis_to_jis(0x8140), 0x2121);  // full-width space
    EXPECT_EQ(sjis_to_jis(0x82A0), 0x2422);  // hiragana a
    EXPECT_EQ(sjis_to_jis(0x889F), 0x3021);  // first kanji of level 1
    EXPECT_EQ(sjis_to_jis(0x989F), 0x5021);  // first kanji of level 2
    EXPECT_EQ(sjis_to_jis(0xEAA4), 0x7426);  // last kanji of level 2
    EXPECT_EQ(sjis_to_jis(0x8740), 0x2D21);  // NEC special characters pass
    EXPECT_EQ(sjis_to_jis(0xED40), 0x7921);  // NEC-selected IBM extension
    EXPECT_EQ(sjis_to_jis(0x4142), 0);       // ASCII letters
    EXPECT_EQ(sjis_to_jis(0xB1B2), 0);       // half-width katakana
    EXPECT_EQ(sjis_to_jis(0xF040), 0);       // user-defined area
    EXPECT_EQ(sjis_to_jis(0x817F), 0);       // 0x7F is no trail byte
    for (unsigned u : {0x8140u, 0x82A0u, 0x889Fu, 0x989Fu, 0xEAA4u, 0x8740u, 0xED40u, 0x9FFCu,
                       0xE040u, 0x837Eu, 0x8380u}) {
        EXPECT_EQ(jis_to_sjis(sjis_to_jis(static_cast<std::uint16_t>(u))), u) << std::hex << u;
    }
    EXPECT_EQ(jis_to_sjis(0x7F21), 0);
    EXPECT_EQ(jis_to_sjis(0x2120), 0);
}

TEST(Jis, IbmExtensionsMoveToTheirNecSelectedTwins) {
    EXPECT_EQ(map_ibm_extension(0xFA40), 0xEEEF);
    EXPECT_EQ(map_ibm_extension(0xFA49), 0xEEF8);
    EXPECT_EQ(map_ibm_extension(0xFA55), 0xEEFA);
    EXPECT_EQ(map_ibm_extension(0xFA5C), 0xED40);
    EXPECT_EQ(map_ibm_extension(0xFA80), 0xED63);
    EXPECT_EQ(map_ibm_extension(0xFA9C), 0xED80);
    EXPECT_EQ(map_ibm_extension(0xFB40), 0xEDE1);
    EXPECT_EQ(map_ibm_extension(0xFC4B), 0xEEEC);
    EXPECT_EQ(map_ibm_extension(0xFD40), 0);
    // Unmoved IBM characters are refused when a title is sent.
    EXPECT_FALSE(title_unit_code(0xFA4A).has_value());
    EXPECT_EQ(title_unit_code(0xFA5C), 0x7921);
}

using TitleSendTest = CoreFixture;

TEST_F(TitleSendTest, EmptyTitleGoesOutAsFourteenFullWidthSpaces) {
    EXPECT_FALSE(send_title(path, 1, 0));
    EXPECT_EQ(serial.frames.at(0), "00CT01T01" + repeat("2121", 14) + "\r\n");
    EXPECT_EQ(serial.frames[0].size(), 2u + 65u);
}

TEST_F(TitleSendTest, FieldsFollowTheTitleNumber) {
    model.slave_address_index = 3;
    send_title(path, 0, 255);  // "Not Memory" on ch.2 Bottom page 64
    EXPECT_EQ(serial.frames.at(0).substr(0, 11), "03CN02B6421");
    send_title(path, 1, 64 + 9);  // ch.1 Bottom page 10
    EXPECT_EQ(serial.frames.at(1).substr(0, 9), "03CT01B10");
    send_title(path, 1, 128);
    EXPECT_EQ(serial.frames.at(2).substr(0, 9), "03CT02T01");
}

TEST_F(TitleSendTest, RefusedTitlesSendNothing) {
    set_slot_text(model.title(0, 0), std::string(26, '\x82') + "A");  // 27 bytes: odd
    EXPECT_TRUE(send_title(path, 1, 0));
    set_slot_text(model.title(0, 0), "AB");  // even, but not double-byte characters
    EXPECT_TRUE(send_title(path, 1, 0));
    set_slot_text(model.title(0, 0), std::string("\x11\x40", 2));  // between glyphs and text
    EXPECT_TRUE(send_title(path, 1, 0));
    set_slot_text(model.title(0, 0), std::string(29, '\x82'));  // longer than 28 bytes
    EXPECT_TRUE(send_title(path, 1, 0));
    EXPECT_TRUE(serial.frames.empty());

    model.selected_title_line = 0;
    model.selected_page = 0;
    send_title_single(path, 1);
    EXPECT_EQ(ui.texts().at(0), "タイトルは28バイトまでです。") << "too long, not a JIS matter";
    set_slot_text(model.title(0, 0), "AB");
    send_title_single(path, 1);
    EXPECT_EQ(ui.texts().at(1), "ＪＩＳ第１水準,第２水準以外の字が選択されてます");
}

TEST_F(TitleSendTest, FullTitleGlyphsAndIbmCharacters) {
    std::string t;
    for (int i = 0; i < 14; ++i) t += "\x82\xa0";
    set_slot_text(model.title(1, 1), t);
    EXPECT_FALSE(send_title(path, 1, 65));
    EXPECT_EQ(serial.frames.at(0), "00CT01B02" + repeat("2422", 14) + "\r\n");

    set_slot_text(model.title(0, 0), std::string("\x10\x20\xfa\x5c\x11\x07", 6));
    EXPECT_FALSE(send_title(path, 1, 0));
    EXPECT_EQ(serial.frames.at(1), "00CT01T01BA657921BB4C" + repeat("2121", 11) + "\r\n");

    // The model keeps the title as typed; the padding exists only in the command.
    EXPECT_EQ(slot_length(model.title(0, 0)), 6u);
}

TEST_F(TitleSendTest, DecodingStopsAtTrailingSpacesOnly) {
    std::array<std::uint16_t, 14> codes;
    codes.fill(0x2121);
    EXPECT_EQ(decode_title_codes(codes), "");
    codes[2] = 0x2422;
    EXPECT_EQ(decode_title_codes(codes), "\x81\x40\x81\x40\x82\xa0");
    codes[0] = 0xBB4C;  // glyph 70
    EXPECT_EQ(decode_title_codes(codes).substr(0, 2), "\x11\x07");
}

}  // namespace
}  // namespace tqv
