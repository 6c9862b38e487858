// Paints the channel pictures of the core's layout (core/channel_picture.h): the program's
// on-air window and the tool's preview use these, so both show the same picture.
#pragma once

#include <QFont>
#include <QImage>
#include <QRectF>
#include <QString>
#include <array>

#include "core/channel_picture.h"
#include "core/model.h"

class QPainter;

namespace tqv {

// A Japanese face found on the machine, at the size of a character cell (frame units).
QFont picture_font();

// Paints `picture` into `target` of `painter`, scaled from the 1920 x 1080 frame: a
// stand-in for the video, then each shown line, characters in the picture font and glyph
// dots from `glyphs`, everything with its edge. A glyph placeholder that names no glyph,
// or a glyph without a lit dot (no glyph list read), is an empty box; a unit the device
// cannot take is framed in red.
void paint_channel(QPainter& painter, const QRectF& target, const ChannelPicture& picture,
                   const std::array<GlyphRecord, kGlyphSlots>& glyphs);

// "05" for page index 4, "AUTO" for automatic switching.
QString picture_page_text(int page);
// The caption of a channel: "ch.1  Top 05  Bottom 12 OFF" (OFF: the page's display is off).
QString channel_caption(const ChannelPicture& picture);

// Both channels of `m`, each line on `pages[line]`: ch.1 above ch.2, each a caption strip
// over a 16:9 frame `frame_width` pixels wide. What `tqv7310nx-cli preview` writes.
inline constexpr int kPreviewFrameWidth = 640;
inline constexpr int kPreviewCaptionHeight = 24;
QImage preview_image(const Model& m, const std::array<int, kTitleLines>& pages,
                     int frame_width = kPreviewFrameWidth);

}  // namespace tqv
