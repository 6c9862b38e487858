// The channel pictures of one device as JSON, for panels that draw them themselves (GET
// /api/picture): the layout core/channel_picture.h works out, in units of the 1920 x 1080
// frame, and the dots of the custom glyphs it uses. A browser then paints exactly what the
// program's on-air window paints, without a second copy of the layout rules.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <string_view>

#include "core/model.h"

namespace tqv {

// {"width":1920,"height":1080,"dot":2,"edge":4,"levels":{"text":…,"edge":…},
//  "channels":[{"channel":1,"lines":[{"line":"1T","page":5|"AUTO"|null,"shown":…,
//  "offset":0..15,"field":[x,y,w,h],"cells":[{"kind":"character"|"glyph"|"unknown_glyph"|
//  "unsendable","box":[x,y,w,h],"text":…,"glyph":1..70}]},…]},…],
//  "glyphs":{"4":["0f0…",… 48 rows of 12 hex digits, the left dot the high bit]}}
// Only glyphs a shown cell uses and that have a lit dot are in "glyphs".
QJsonObject picture_json(const Model& m);

class Fleet;
// GET /api/picture?device=N: the channel pictures of device N (the target by default), and
// the HTTP status (404 no such device, 503 not connected).
QByteArray picture_answer(Fleet& fleet, std::string_view query, int* status);

}  // namespace tqv
