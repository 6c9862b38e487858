#include "control/picture_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QString>
#include <algorithm>
#include <set>

#include "control/control_parse.h"
#include "core/channel_picture.h"
#include "core/glyph.h"
#include "core/vocabulary.h"
#include "link/channel.h"
#include "link/fleet.h"

namespace tqv {

namespace {

QJsonArray rect(const PictureRect& r) { return {r.x, r.y, r.width, r.height}; }

const char* kind_name(PictureCellKind kind) {
    switch (kind) {
        case PictureCellKind::character:
            return "character";
        case PictureCellKind::glyph:
            return "glyph";
        case PictureCellKind::unknown_glyph:
            return "unknown_glyph";
        case PictureCellKind::unsendable:
            return "unsendable";
    }
    return "";
}

// 48 rows of 12 hex digits; empty when no dot is lit (no glyph list read).
QJsonArray glyph_rows(const GlyphRecord& glyph) {
    QJsonArray rows;
    bool lit = false;
    for (int row = 0; row < kGlyphSize; ++row) {
        QString text;
        for (int nibble = 0; nibble < kGlyphSize / 4; ++nibble) {
            int value = 0;
            for (int bit = 0; bit < 4; ++bit)
                value = value * 2 + (glyph_dot(glyph, row, nibble * 4 + bit) ? 1 : 0);
            lit = lit || value != 0;
            text += QString::number(value, 16);
        }
        rows.append(text);
    }
    return lit ? rows : QJsonArray();
}

}  // namespace

QJsonObject picture_json(const Model& m) {
    QJsonArray channels;
    std::set<int> used;
    PictureLevels levels;
    for (int channel = 0; channel < 2; ++channel) {
        const ChannelPicture picture = channel_picture(m, channel);
        levels = picture.levels;
        QJsonArray lines;
        for (const PictureLine& line : picture.lines) {
            QJsonArray cells;
            for (const PictureCell& cell : line.cells) {
                QJsonObject c{{"kind", kind_name(cell.kind)}, {"box", rect(cell.box)}};
                if (cell.kind == PictureCellKind::glyph) {
                    c["glyph"] = cell.glyph_slot + 1;
                    used.insert(cell.glyph_slot);
                } else if (cell.kind != PictureCellKind::unknown_glyph) {
                    c["text"] = QString::fromStdString(cell.text);
                }
                cells.append(c);
            }
            const bool on_page = line.page >= 0 && line.page < kPages;
            lines.append(QJsonObject{
                {"line", line_label(line.line)},
                {"page", line.automatic ? QJsonValue("AUTO") : on_page ? QJsonValue(line.page + 1) : QJsonValue()},
                {"shown", line.shown},
                {"offset", line.offset},
                {"field", rect(line.field)},
                {"cells", cells}});
        }
        channels.append(QJsonObject{{"channel", channel + 1}, {"lines", lines}});
    }
    QJsonObject glyphs;
    for (int slot : used) {
        const QJsonArray rows = glyph_rows(m.glyph_data[static_cast<std::size_t>(slot)]);
        if (!rows.isEmpty()) glyphs[QString::number(slot + 1)] = rows;
    }
    return {{"width", kPictureWidth},
            {"height", kPictureHeight},
            {"dot", kPictureDot},
            {"edge", kPictureEdge},
            {"levels", QJsonObject{{"text", levels.text}, {"edge", levels.edge}}},
            {"channels", channels},
            {"glyphs", glyphs}};
}

// ---------------------------------------------------------------- the route

QByteArray picture_answer(Fleet& fleet, std::string_view query, int* status) {
    const auto refuse = [status](int code, const char* text) {
        *status = code;
        return QJsonDocument(QJsonObject{{"error", text}}).toJson(QJsonDocument::Compact);
    };
    const std::optional<std::string> asked = query_value(query, "device");
    const std::vector<FleetDevice> known = fleet.devices();
    auto it = std::find_if(known.begin(), known.end(), [&](const FleetDevice& d) {
        return asked ? std::to_string(d.number) == *asked : d.target;
    });
    if (it == known.end()) return refuse(404, "no such device");
    Channel* channel = it->up() ? fleet.channel(*it) : nullptr;
    if (channel == nullptr) return refuse(503, "device not connected");
    QJsonObject out = tqv::picture_json(channel->model());
    out["device"] = it->number;
    *status = 200;
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

}  // namespace tqv
