// A title slot's code page 932 bytes as the title dialog shows and edits them.
//
// Glyph placeholders (two bytes, the first 0x10 or 0x11) are no characters of code page
// 932. The edit field carries each as one private-use character (U+F000 + the unit's value
// - 0x1000) so that editing other characters of a title keeps its glyphs; the page cells
// show them as full-width blanks.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace tqv {

QString title_edit_text(std::string_view slot_bytes);
// The slot bytes for an edit field text; nullopt when a character has no code page 932
// form. The length is not checked here.
std::optional<std::string> title_slot_bytes(const QString& text);
// The cell form: every unit at an even offset that starts with a placeholder byte becomes
// a full-width space.
QString title_cell_text(std::string_view slot_bytes);

}  // namespace tqv
