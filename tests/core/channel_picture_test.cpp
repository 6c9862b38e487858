#include "core/channel_picture.h"

#include <gtest/gtest.h>

#include <random>

#include "core/commands.h"
#include "core/titles.h"

namespace tqv {
namespace {

class ChannelPictureTest : public ::testing::Test {
  protected:
    void title(int line, int page, std::string_view bytes) { set_slot_text(m.title(line, page), bytes); }
    Model m;
};

TEST_F(ChannelPictureTest, PositionOffsetMovesEachLineByItsOwnValue) {
    struct Case {
        int line;
        int offset;
        int y;
    };
    const Case cases[] = {
        {0, 7, kPictureTopY},           {1, 7, kPictureBottomY},
        {0, 0, kPictureTopY - 56},      {0, 15, kPictureTopY + 64},
        {1, 0, kPictureBottomY - 56},   {1, 15, kPictureBottomY + 64},
        {2, 8, kPictureTopY + 8},       {3, 6, kPictureBottomY - 8},
        // A document's value is taken as it is; the picture keeps it to the list's range.
        {2, -4, kPictureTopY - 56},     {3, 99, kPictureBottomY + 64},
    };
    for (const Case& c : cases) {
        Model model;
        model.position_offset[static_cast<std::size_t>(c.line)] = c.offset;
        set_slot_text(model.title(c.line, 0), "\x82\xA0");  // あ
        const ChannelPicture picture = channel_picture(model, c.line / 2);
        const PictureLine& line = picture.lines[static_cast<std::size_t>(c.line % 2)];
        SCOPED_TRACE(testing::Message() << "line " << c.line << " offset " << c.offset);
        EXPECT_EQ(line.line, c.line);
        EXPECT_EQ(line.field, (PictureRect{kPictureFieldX, c.y, kPictureCells * kPictureCell, kPictureCell}));
        ASSERT_EQ(line.cells.size(), 1u);
        EXPECT_EQ(line.cells[0].box.y, c.y);
        // The other line of the channel stays where its own offset (07) puts it.
        const PictureLine& other = picture.lines[static_cast<std::size_t>(1 - c.line % 2)];
        EXPECT_EQ(other.field.y, c.line % 2 == 0 ? kPictureBottomY : kPictureTopY);
        // Whatever the offsets, both lines stay inside the frame and apart.
        EXPECT_GE(picture.lines[0].field.y, 0);
        EXPECT_LT(picture.lines[0].field.y + kPictureCell, picture.lines[1].field.y);
        EXPECT_LE(picture.lines[1].field.y + kPictureCell, kPictureHeight);
    }
}

TEST_F(ChannelPictureTest, HiddenAutomaticAndOutOfRangePagesDrawNothing) {
    for (int line = 0; line < kTitleLines; ++line)
        for (int page = 0; page < kPages; ++page) title(line, page, "\x93\xFA");  // 日
    m.title_display[1][9] = 0;
    m.title_display[2][9] = 0;
    struct Case {
        std::array<int, kTitleLines> pages;
        std::array<bool, kTitleLines> shown;
        std::array<bool, kTitleLines> automatic;
    };
    const Case cases[] = {
        {{0, 0, 0, 0}, {true, true, true, true}, {false, false, false, false}},
        {{9, 9, 9, 9}, {true, false, false, true}, {false, false, false, false}},
        {{kAutoPage, 9, 0, kAutoPage}, {false, false, true, false}, {true, false, false, true}},
        {{-1, 65, 63, 9}, {false, false, true, true}, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        for (int channel = 0; channel < 2; ++channel) {
            const ChannelPicture p = channel_picture(m, channel, c.pages);
            for (int i = 0; i < 2; ++i) {
                const PictureLine& line = p.lines[static_cast<std::size_t>(i)];
                const auto l = static_cast<std::size_t>(channel * 2 + i);
                SCOPED_TRACE(testing::Message() << "line " << l << " page " << c.pages[l]);
                EXPECT_EQ(line.page, c.pages[l]);
                EXPECT_EQ(line.shown, c.shown[l]);
                EXPECT_EQ(line.automatic, c.automatic[l]);
                EXPECT_EQ(line.cells.size(), c.shown[l] ? 1u : 0u);
            }
        }
    }
    // Without pages given, the pages on air.
    m.current_page = {9, 0, kAutoPage, 9};
    EXPECT_FALSE(channel_picture(m, 0).lines[0].cells.empty());
    EXPECT_EQ(channel_picture(m, 0).lines[0].page, 9);
    EXPECT_TRUE(channel_picture(m, 1).lines[0].automatic);
}

TEST_F(ChannelPictureTest, TitleUnitsBecomeCellsAsTheDeviceReadsThem) {
    struct Expected {
        PictureCellKind kind;
        int column;
        int slot;
        std::string text;
    };
    using K = PictureCellKind;
    struct Case {
        std::string bytes;
        std::vector<Expected> cells;
    };
    const Case cases[] = {
        {"", {}},
        {"\x81\x40\x81\x40", {}},  // full-width spaces draw nothing
        {"\x82\xA0\x81\x40\x93\xFA", {{K::character, 0, -1, "あ"}, {K::character, 2, -1, "日"}}},
        // Glyph numbers 01, 26, 27 and 70 by their placeholders.
        {std::string("\x10\x20\x10\x39\x10\xDC\x11\x07"),
         {{K::glyph, 0, 0, ""}, {K::glyph, 1, 25, ""}, {K::glyph, 2, 26, ""}, {K::glyph, 3, 69, ""}}},
        // Placeholders between and beyond the two glyph ranges name no glyph.
        {std::string("\x10\x3A\x10\xDB\x11\x08\x11\x39"),
         {{K::unknown_glyph, 0, -1, ""}, {K::unknown_glyph, 1, -1, ""},
          {K::unknown_glyph, 2, -1, ""}, {K::unknown_glyph, 3, -1, ""}}},
        // Half-width text is read two bytes at a time, as the device would, and refused.
        {"AB\x82\xA0", {{K::unsendable, 0, -1, "AB"}, {K::character, 1, -1, "あ"}}},
        {"\xB1\xB2", {{K::unsendable, 0, -1, "ｱｲ"}}},
        // An odd byte at the end.
        {"\x82\xA0" "A", {{K::character, 0, -1, "あ"}, {K::unsendable, 1, -1, "A"}}},
        // An IBM extension is sent as its NEC-selected twin: it is a character.
        {"\xFA\x40", {{K::character, 0, -1, "ⅰ"}}},
        // A fifteenth unit lies beyond the field: the device takes 28 bytes.
        {"\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40\x81\x40"
         "\x81\x40\x81\x40\x81\x40\x81\x40\x82\xA0\x82\xA0",
         {{K::character, 13, -1, "あ"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bytes of size " << c.bytes.size());
        const std::vector<PictureCell> cells = picture_cells(c.bytes, 100, 200);
        ASSERT_EQ(cells.size(), c.cells.size());
        for (std::size_t i = 0; i < cells.size(); ++i) {
            EXPECT_EQ(cells[i].kind, c.cells[i].kind) << i;
            EXPECT_EQ(cells[i].column, c.cells[i].column) << i;
            EXPECT_EQ(cells[i].glyph_slot, c.cells[i].slot) << i;
            EXPECT_EQ(cells[i].text, c.cells[i].text) << i;
            EXPECT_EQ(cells[i].box, (PictureRect{100 + c.cells[i].column * kPictureCell, 200,
                                                 kPictureCell, kPictureCell}));
        }
    }
}

TEST_F(ChannelPictureTest, EveryGlyphCodeTheDeviceIsSentMapsBackToItsSlot) {
    // The placeholder of slot n is the device code the glyph commands use, less the offset.
    for (int n = 0; n < kGlyphSlots; ++n) {
        const auto unit = static_cast<std::uint16_t>(glyph_bulk_code(n) - kGlyphCodeOffset);
        EXPECT_EQ(placeholder_glyph_slot(unit), n) << std::hex << unit;
        EXPECT_EQ(title_unit_code(unit), glyph_bulk_code(n));
    }
    int named = 0;
    for (unsigned u = 0; u <= 0x1139; ++u) named += placeholder_glyph_slot(static_cast<std::uint16_t>(u)) >= 0;
    EXPECT_EQ(named, kGlyphSlots);
}

TEST_F(ChannelPictureTest, LevelsGiveTextAndEdgeBrightness) {
    struct Case {
        int white;
        int edge;
        PictureLevels levels;
    };
    const Case cases[] = {
        {0, 0, {160, 0}}, {1, 1, {192, 48}}, {2, 2, {224, 96}}, {3, 3, {255, 144}},
        {3, 0, {255, 0}}, {0, 3, {160, 144}},
        {-1, 9, {160, 144}}, {7, -5, {255, 0}},  // a document's value out of range
    };
    for (const Case& c : cases) {
        EXPECT_EQ(picture_levels(c.white, c.edge), c.levels) << c.white << " " << c.edge;
        m.white_level = c.white;
        m.edge_level = c.edge;
        EXPECT_EQ(channel_picture(m, 1).levels, c.levels);
    }
    // A higher level is never darker, and text always stands out from its edge.
    for (int level = 0; level < kPictureLevelMax; ++level) {
        EXPECT_LT(picture_levels(level, level).text, picture_levels(level + 1, level + 1).text);
        EXPECT_LT(picture_levels(level, level).edge, picture_levels(level + 1, level + 1).edge);
        EXPECT_GT(picture_levels(0, kPictureLevelMax).text, picture_levels(0, kPictureLevelMax).edge);
    }
}

TEST_F(ChannelPictureTest, RandomTitlesNeverLeaveTheirField) {
    std::mt19937 random(7310);
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<int> length(0, kTitleSlotSize - 1);
    for (int round = 0; round < 2000; ++round) {
        std::string bytes(static_cast<std::size_t>(length(random)), '\0');
        for (char& b : bytes) b = static_cast<char>(byte(random));
        m.position_offset[0] = round % 16;
        title(0, 0, bytes);
        const PictureLine line = channel_picture(m, 0).lines[0];
        int previous = -1;
        for (const PictureCell& cell : line.cells) {
            EXPECT_GT(cell.column, previous);
            previous = cell.column;
            EXPECT_GE(cell.box.x, line.field.x);
            EXPECT_LE(cell.box.x + cell.box.width, line.field.x + line.field.width);
            EXPECT_EQ(cell.box.y, line.field.y);
            EXPECT_EQ(cell.kind == PictureCellKind::glyph, cell.glyph_slot >= 0);
            if (cell.kind == PictureCellKind::glyph) {
                EXPECT_LT(cell.glyph_slot, kGlyphSlots);
            }
        }
    }
}

}  // namespace
}  // namespace tqv
