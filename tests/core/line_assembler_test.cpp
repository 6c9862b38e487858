#include "core/line_assembler.h"

#include <gtest/gtest.h>

#include "core/digits.h"

namespace tqv {
namespace {

TEST(LineAssembler, LineArrivingInPiecesIsHandedOutOnceWhenLfArrives) {
    LineAssembler a;
    EXPECT_TRUE(a.feed("00CT01").empty());
    EXPECT_TRUE(a.feed("T05\r").empty());  // CR alone completes nothing
    auto lines = a.feed("\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "00CT01T05\r\n");
    EXPECT_FALSE(a.incomplete());
}

TEST(LineAssembler, TwoAnswersInOneReadAreTwoLines) {
    LineAssembler a;
    auto lines = a.feed("00GO\r\n00CEL1\r\n00P0");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "00GO\r\n");
    EXPECT_EQ(lines[1], "00CEL1\r\n");
    EXPECT_TRUE(a.incomplete());
    EXPECT_EQ(a.feed("1T05\r\n").at(0), "00P01T05\r\n");
}

TEST(LineAssembler, OverlongLineIsDroppedWholeAndTheNextLineSurvives) {
    LineAssembler a;
    EXPECT_TRUE(a.feed(std::string(599, 'X')).empty());
    EXPECT_TRUE(a.feed(std::string(400, 'Y') + "\r\n").empty());
    auto lines = a.feed("00GO\r\n");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "00GO\r\n");
    // The longest line that fits: 599 bytes with its LF.
    EXPECT_EQ(a.feed(std::string(597, 'Z') + "\r\n").size(), 1u);
}

TEST(Digits, FieldsNeverHoldNonDigits) {
    char buf[4] = {'x', 'x', 'x', '!'};
    number_to_two_digits(7, buf);
    EXPECT_EQ(std::string(buf, 4), "07x!");  // the byte after the field stays
    number_to_two_digits(123, buf);
    EXPECT_EQ(std::string(buf, 2), "99");
    number_to_two_digits(-5, buf);
    EXPECT_EQ(std::string(buf, 2), "00");
    number_to_three_digits(1000, buf);
    EXPECT_EQ(std::string(buf, 4), "999!");
    EXPECT_EQ(hex_pair_to_byte('B', 'A'), 0xBA);
    EXPECT_EQ(hex4(0xBA65), "BA65");
    EXPECT_EQ(three_digits_to_number("192"), 192);
}

TEST(Digits, ExtensionIsAppendedUnlessFoundAfterTheFirstCharacter) {
    EXPECT_EQ(with_extension("abc", ".dat"), "abc.dat");
    EXPECT_EQ(with_extension("abc.DAT", ".dat"), "abc.DAT.dat");
    EXPECT_EQ(with_extension("x.dat.old", ".dat"), "x.dat.old");
    EXPECT_EQ(with_extension(".dat", ".dat"), ".dat.dat");  // only at position 1 or later
    EXPECT_EQ(leading_number("12ab"), 12);
    EXPECT_EQ(leading_number("ab"), 0);
    EXPECT_EQ(leading_number("99999999999999"), 2147483647);
}

}  // namespace
}  // namespace tqv
