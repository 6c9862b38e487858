// What one channel shows over its video, worked out from the model without drawing
// anything: where each title line and each character cell goes, which cells are custom
// glyphs, and how bright the characters and their edges are. The program's on-air window
// and the tool's preview both paint from this, so they cannot disagree on the layout.
//
// The picture shows layout and content, not the device's own font. Positions are in units
// of a 1920 x 1080 frame (16:9); a painter scales them to its size.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"

namespace tqv {

inline constexpr int kPictureWidth = 1920;
inline constexpr int kPictureHeight = 1080;
// A title is 14 full-width cells; a cell is as wide as a glyph's 48 dots at two units each,
// so a glyph fills its cell dot for dot.
inline constexpr int kPictureCells = 14;
inline constexpr int kPictureCell = 96;
inline constexpr int kPictureDot = 2;
// The 14-cell field, centred across the frame.
inline constexpr int kPictureFieldX = (kPictureWidth - kPictureCells * kPictureCell) / 2;
// Where the top and the bottom line sit at the middle position offset: a tenth of the
// height inside the frame, clear of the edges a monitor may crop.
inline constexpr int kPictureTopY = 120;
inline constexpr int kPictureBottomY = kPictureHeight - 120 - kPictureCell;
// The position offset moves a line down by this much per step above the middle value
// (07) and up per step below it: 00 lifts a line 56 units, 15 lowers it 64.
inline constexpr int kPictureOffsetMiddle = 7;
inline constexpr int kPictureOffsetStep = 8;
inline constexpr int kPictureOffsetMax = 15;
inline constexpr int kPictureLevelMax = 3;
// The edge drawn around every character and lit glyph dot: two dots wide.
inline constexpr int kPictureEdge = 2 * kPictureDot;

struct PictureRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PictureRect&) const = default;
};

enum class PictureCellKind {
    character,      // a character of code page 932, drawn with a Japanese font
    glyph,          // a custom glyph whose 48 x 48 dots are glyph_data[glyph_slot]
    unknown_glyph,  // a glyph placeholder that names none of glyphs 01..70
    unsendable,     // two bytes the device cannot take (half-width text, no character)
};

struct PictureCell {
    PictureCellKind kind = PictureCellKind::character;
    int column = 0;     // 0..13
    PictureRect box;
    std::string text;   // character, unsendable: the bytes as UTF-8
    int glyph_slot = -1;  // glyph: 0..69
};

struct PictureLine {
    int line = 0;  // title line 0..3
    int page = 0;  // 0..63, or kAutoPage
    // The page's title is drawn: a page (not automatic switching) whose display is on.
    bool shown = false;
    bool automatic = false;
    int offset = kPictureOffsetMiddle;  // position offset, kept to 0..15
    PictureRect field;                  // the 14 cells, where the offset puts them
    std::vector<PictureCell> cells;     // what is drawn; blank cells are left out
};

// Brightness 0..255 of the characters (white level) and of their edge (edge level).
struct PictureLevels {
    int text = 255;
    int edge = 0;
    bool operator==(const PictureLevels&) const = default;
};

struct ChannelPicture {
    int channel = 0;  // 0: ch.1 (lines 0, 1), 1: ch.2 (lines 2, 3)
    std::array<PictureLine, 2> lines;  // top, bottom
    PictureLevels levels;
};

// The levels 0..3 as brightness; a value outside 0..3 (a document is read as it is) counts
// as the nearest level.
PictureLevels picture_levels(int white_level, int edge_level);
// The glyph slot 0..69 of a placeholder unit (0x1020..0x1039: glyphs 01..26,
// 0x10DC..0x1107: glyphs 27..70), or -1.
int placeholder_glyph_slot(std::uint16_t unit);
// The cells of one title slot's bytes, read as the device reads a title: 14 two-byte units
// from the left of the field at (x, y); full-width spaces and bytes beyond 28 draw nothing.
std::vector<PictureCell> picture_cells(std::string_view title, int x, int y);

// Channel `channel` (0 or 1) with each of its two lines on the page `pages[line]` gives
// (0..63, or kAutoPage for automatic switching, which the picture cannot know and leaves
// out, as it leaves out a page whose display is off).
ChannelPicture channel_picture(const Model& m, int channel,
                               const std::array<int, kTitleLines>& pages);
// The same with the pages on air (`current_page`).
ChannelPicture channel_picture(const Model& m, int channel);

}  // namespace tqv
