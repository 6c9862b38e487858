#include "channel_picture.h"

#include <algorithm>

#include "codec.h"
#include "titles.h"

namespace tqv {

namespace {

// Characters never reach full black or full white at the lowest levels: the lowest white
// level is still text one can read, the lowest edge level is a black edge.
constexpr std::array<int, kPictureLevelMax + 1> kTextBrightness = {160, 192, 224, 255};
constexpr std::array<int, kPictureLevelMax + 1> kEdgeBrightness = {0, 48, 96, 144};

constexpr std::uint16_t kFullWidthSpace = 0x8140;
constexpr std::uint16_t kLastPlaceholder = 0x1139;

int level_index(int level) { return std::clamp(level, 0, kPictureLevelMax); }

std::string unit_text(std::string_view bytes) { return cp932_to_utf8(bytes); }

}  // namespace

PictureLevels picture_levels(int white_level, int edge_level) {
    return {kTextBrightness[static_cast<std::size_t>(level_index(white_level))],
            kEdgeBrightness[static_cast<std::size_t>(level_index(edge_level))]};
}

int placeholder_glyph_slot(std::uint16_t unit) {
    // The inverse of the device codes 0xBA65.. and 0xBB21.. less the placeholder offset.
    if (unit >= 0x1020 && unit <= 0x1039) return unit - 0x1020;
    if (unit >= 0x10DC && unit <= 0x1107) return unit - 0x10DC + 26;
    return -1;
}

std::vector<PictureCell> picture_cells(std::string_view title, int x, int y) {
    std::vector<PictureCell> cells;
    const std::size_t bytes = std::min<std::size_t>(title.size(), kTitleMaxBytes);
    for (std::size_t at = 0; at < bytes; at += 2) {
        PictureCell cell;
        cell.column = static_cast<int>(at / 2);
        cell.box = {x + cell.column * kPictureCell, y, kPictureCell, kPictureCell};
        if (at + 1 >= bytes) {
            // An odd byte at the end: no unit the device could take.
            cell.kind = PictureCellKind::unsendable;
            cell.text = unit_text(title.substr(at, 1));
            cells.push_back(std::move(cell));
            break;
        }
        const std::string_view pair = title.substr(at, 2);
        const auto unit = static_cast<std::uint16_t>(static_cast<unsigned char>(pair[0]) * 256 +
                                                     static_cast<unsigned char>(pair[1]));
        if (unit == kFullWidthSpace) continue;
        if (unit <= kLastPlaceholder) {
            cell.glyph_slot = placeholder_glyph_slot(unit);
            cell.kind = cell.glyph_slot >= 0 ? PictureCellKind::glyph : PictureCellKind::unknown_glyph;
        } else {
            cell.kind = title_unit_code(unit) ? PictureCellKind::character
                                              : PictureCellKind::unsendable;
            cell.text = unit_text(pair);
        }
        cells.push_back(std::move(cell));
    }
    return cells;
}

ChannelPicture channel_picture(const Model& m, int channel,
                               const std::array<int, kTitleLines>& pages) {
    ChannelPicture picture;
    picture.channel = std::clamp(channel, 0, 1);
    picture.levels = picture_levels(m.white_level, m.edge_level);
    for (int position = 0; position < 2; ++position) {
        PictureLine& out = picture.lines[static_cast<std::size_t>(position)];
        out.line = picture.channel * 2 + position;
        const auto line = static_cast<std::size_t>(out.line);
        out.page = pages[line];
        out.automatic = out.page == kAutoPage;
        out.offset = std::clamp(m.position_offset[line], 0, kPictureOffsetMax);
        const int base = position == 0 ? kPictureTopY : kPictureBottomY;
        out.field = {kPictureFieldX, base + (out.offset - kPictureOffsetMiddle) * kPictureOffsetStep,
                     kPictureCells * kPictureCell, kPictureCell};
        if (out.page < 0 || out.page >= kPages) continue;
        out.shown = m.title_display[line][static_cast<std::size_t>(out.page)] != 0;
        if (!out.shown) continue;
        out.cells = picture_cells(slot_text(m.title(out.line, out.page)), out.field.x, out.field.y);
    }
    return picture;
}

ChannelPicture channel_picture(const Model& m, int channel) {
    return channel_picture(m, channel, m.current_page);
}

}  // namespace tqv
