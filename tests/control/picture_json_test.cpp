// GET /api/picture's document: the layout of the on-air window's pictures as a browser
// reads it, checked field by field on one model with a glyph, a hidden line, automatic
// switching, a moved line and both levels.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QStringList>

#include "control/picture_json.h"
#include "core/codec.h"
#include "core/glyph.h"

namespace {

// The value at "channels/0/lines/1/page" (array indexes and object keys alike).
QJsonValue at(const QJsonObject& root, const QString& path) {
    QJsonValue v = root;
    for (const QString& part : path.split(QLatin1Char('/')))
        v = v.isArray() ? v.toArray().at(part.toInt()) : v.toObject().value(part);
    return v;
}

TEST(PictureJson, TheLayoutTheGlyphDotsAndTheLevelsAreThere) {
    tqv::Model m;
    m.reset();
    // ch.1 top: glyph 04 then 速報, moved down three steps; ch.1 bottom: display off;
    // ch.2 top switching by itself.
    tqv::set_slot_text(m.title(0, 4), "\x10\x23" + *tqv::utf8_to_cp932("速報"));
    tqv::set_slot_text(m.title(1, 1), *tqv::utf8_to_cp932("山田"));
    for (int c = 0; c < 4; ++c) tqv::set_glyph_dot(m.glyph_data[3], 0, c, true);
    tqv::set_glyph_dot(m.glyph_data[3], 47, 47, true);
    m.current_page = {4, 1, tqv::kAutoPage, 3};
    m.title_display[1][1] = 0;
    m.position_offset[0] = 10;
    m.white_level = 3;
    m.edge_level = 1;
    const QJsonObject json = tqv::picture_json(m);

    const struct {
        const char* path;
        QJsonValue value;
    } fields[] = {
        {"width", 1920},
        {"height", 1080},
        {"levels/text", 255},
        {"levels/edge", 48},
        {"channels/0/channel", 1},
        {"channels/0/lines/0/line", "1T"},
        {"channels/0/lines/0/page", 5},
        {"channels/0/lines/0/shown", true},
        {"channels/0/lines/0/offset", 10},
        {"channels/0/lines/0/field", QJsonArray{288, 144, 1344, 96}},
        {"channels/0/lines/0/cells/0/kind", "glyph"},
        {"channels/0/lines/0/cells/0/glyph", 4},
        {"channels/0/lines/0/cells/0/box", QJsonArray{288, 144, 96, 96}},
        {"channels/0/lines/0/cells/1/kind", "character"},
        {"channels/0/lines/0/cells/1/text", "速"},
        {"channels/0/lines/0/cells/2/box", QJsonArray{480, 144, 96, 96}},
        {"channels/0/lines/1/page", 2},
        {"channels/0/lines/1/shown", false},
        {"channels/0/lines/1/cells", QJsonArray{}},
        {"channels/1/lines/0/line", "2T"},
        {"channels/1/lines/0/page", "AUTO"},
        {"channels/1/lines/0/shown", false},
        {"glyphs/4/0", "f00000000000"},
        {"glyphs/4/1", "000000000000"},
        {"glyphs/4/47", "000000000001"},
    };
    for (const auto& f : fields)
        EXPECT_EQ(at(json, QString::fromLatin1(f.path)), f.value) << f.path;
    // Only the glyphs a shown title uses, 48 rows each.
    EXPECT_EQ(json["glyphs"].toObject().keys(), QStringList{"4"});
    EXPECT_EQ(at(json, "glyphs/4").toArray().size(), 48);
    EXPECT_EQ(at(json, "channels/0/lines/0/cells").toArray().size(), 3);
}

}  // namespace
