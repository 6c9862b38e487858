#include "picture/channel_painter.h"

#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>

#include "core/digits.h"
#include "core/glyph.h"

namespace tqv {

namespace {

// A full-width character's ink stays inside its 96-unit cell with a little air.
constexpr int kCharacterPixels = 92;
// The frame around a placeholder that names no glyph.
constexpr int kBoxInset = 16;
constexpr int kBoxBar = 6;
constexpr int kUnsendablePen = 4;

QColor grey(int brightness) { return QColor(brightness, brightness, brightness); }

// The lit dots of a glyph as runs along each row: a few dozen rectangles, not 2304.
void add_glyph(QPainterPath& path, const PictureCell& cell, const GlyphRecord& glyph) {
    for (int row = 0; row < kGlyphSize; ++row) {
        int col = 0;
        while (col < kGlyphSize) {
            if (!glyph_dot(glyph, row, col)) {
                ++col;
                continue;
            }
            const int first = col;
            while (col < kGlyphSize && glyph_dot(glyph, row, col)) ++col;
            path.addRect(cell.box.x + first * kPictureDot, cell.box.y + row * kPictureDot,
                         (col - first) * kPictureDot, kPictureDot);
        }
    }
}

bool has_dots(const GlyphRecord& glyph) {
    for (int i = 0; i < kGlyphDigits; ++i)
        if (glyph_digit_value(glyph[static_cast<std::size_t>(i)]) & 0xF) return true;
    return false;
}

void add_empty_box(QPainterPath& path, const PictureCell& cell) {
    const QRectF outer(cell.box.x + kBoxInset, cell.box.y + kBoxInset,
                       cell.box.width - 2 * kBoxInset, cell.box.height - 2 * kBoxInset);
    path.addRect(outer.x(), outer.y(), outer.width(), kBoxBar);
    path.addRect(outer.x(), outer.bottom() - kBoxBar, outer.width(), kBoxBar);
    path.addRect(outer.x(), outer.y() + kBoxBar, kBoxBar, outer.height() - 2 * kBoxBar);
    path.addRect(outer.right() - kBoxBar, outer.y() + kBoxBar, kBoxBar,
                 outer.height() - 2 * kBoxBar);
}

void add_text(QPainterPath& path, const PictureCell& cell, const QFont& font,
              const QFontMetricsF& metrics, qreal ideograph_middle) {
    const QString text = QString::fromUtf8(cell.text.data(), static_cast<qsizetype>(cell.text.size()));
    // Every character sits on the baseline that centres an ideograph in the cell, so
    // small kana and long-vowel marks keep their places.
    const qreal x = cell.box.x + (cell.box.width - metrics.horizontalAdvance(text)) / 2.0;
    const qreal baseline = cell.box.y + cell.box.height / 2.0 - ideograph_middle;
    path.addText(QPointF(x, baseline), font, text);
}

}  // namespace

QFont picture_font() {
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Noto Sans JP"),
                      QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("TakaoGothic"), QStringLiteral("VL Gothic")});
    font.setPixelSize(kCharacterPixels);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

void paint_channel(QPainter& painter, const QRectF& target, const ChannelPicture& picture,
                   const std::array<GlyphRecord, kGlyphSlots>& glyphs) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.translate(target.topLeft());
    painter.scale(target.width() / kPictureWidth, target.height() / kPictureHeight);
    painter.setClipRect(QRectF(0, 0, kPictureWidth, kPictureHeight));

    // The video under the titles is not known: a calm dark stand-in on which both a white
    // character and a black edge can be seen.
    QLinearGradient video(0, 0, 0, kPictureHeight);
    video.setColorAt(0, QColor(0x1d, 0x2b, 0x45));
    video.setColorAt(1, QColor(0x2f, 0x4a, 0x3a));
    painter.fillRect(QRectF(0, 0, kPictureWidth, kPictureHeight), video);

    const QFont font = picture_font();
    const QFontMetricsF metrics(font);
    const QRectF ideograph = metrics.tightBoundingRect(QStringLiteral("国"));
    const qreal ideograph_middle = ideograph.center().y();

    QPainterPath ink;
    ink.setFillRule(Qt::WindingFill);
    std::vector<QRectF> refused;
    for (const PictureLine& line : picture.lines) {
        for (const PictureCell& cell : line.cells) {
            switch (cell.kind) {
                case PictureCellKind::glyph:
                    if (has_dots(glyphs[static_cast<std::size_t>(cell.glyph_slot)])) {
                        add_glyph(ink, cell, glyphs[static_cast<std::size_t>(cell.glyph_slot)]);
                        break;
                    }
                    // No dots here (no glyph list read): where the glyph goes still shows.
                    add_empty_box(ink, cell);
                    break;
                case PictureCellKind::unknown_glyph:
                    add_empty_box(ink, cell);
                    break;
                case PictureCellKind::unsendable:
                    refused.emplace_back(cell.box.x, cell.box.y, cell.box.width, cell.box.height);
                    add_text(ink, cell, font, metrics, ideograph_middle);
                    break;
                case PictureCellKind::character:
                    add_text(ink, cell, font, metrics, ideograph_middle);
                    break;
            }
        }
    }
    // The edge first, all around, then the characters over it: one character's edge never
    // covers its neighbour.
    QPen edge(grey(picture.levels.edge), 2 * kPictureEdge, Qt::SolidLine, Qt::RoundCap,
              Qt::RoundJoin);
    painter.strokePath(ink, edge);
    painter.fillPath(ink, grey(picture.levels.text));

    QPen warning(QColor(0xe0, 0x30, 0x30), kUnsendablePen, Qt::DashLine);
    painter.setPen(warning);
    painter.setBrush(Qt::NoBrush);
    for (const QRectF& box : refused)
        painter.drawRect(box.adjusted(kUnsendablePen / 2.0, kUnsendablePen / 2.0,
                                      -kUnsendablePen / 2.0, -kUnsendablePen / 2.0));
    painter.restore();
}

QString picture_page_text(int page) {
    if (page == kAutoPage) return QStringLiteral("AUTO");
    if (page < 0 || page > kAutoPage) return QStringLiteral("?");
    return QString::fromStdString(two_digits(page + 1));
}

QString channel_caption(const ChannelPicture& picture) {
    QStringList parts{QStringLiteral("ch.%1").arg(picture.channel + 1)};
    for (std::size_t i = 0; i < picture.lines.size(); ++i) {
        const PictureLine& line = picture.lines[i];
        QString part = (i == 0 ? QStringLiteral("Top ") : QStringLiteral("Bottom ")) +
                       picture_page_text(line.page);
        if (!line.automatic && !line.shown) part += QStringLiteral(" OFF");
        parts << part;
    }
    return parts.join(QStringLiteral("  "));
}

QImage preview_image(const Model& m, const std::array<int, kTitleLines>& pages, int frame_width) {
    const int frame_height = frame_width * 9 / 16;
    const int block = kPreviewCaptionHeight + frame_height;
    QImage image(frame_width, 2 * block, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont caption = picture_font();
    caption.setPixelSize(kPreviewCaptionHeight * 2 / 3);
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelPicture picture = channel_picture(m, channel, pages);
        const int top = channel * block;
        painter.setFont(caption);
        painter.setPen(Qt::black);
        painter.drawText(QRectF(6, top, frame_width - 12, kPreviewCaptionHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, channel_caption(picture));
        paint_channel(painter, QRectF(0, top + kPreviewCaptionHeight, frame_width, frame_height),
                      picture, m.glyph_data);
    }
    return image;
}

}  // namespace tqv
