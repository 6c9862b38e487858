// A title slot's code page 932 bytes as the title dialog shows and edits them.
//
// Glyph placeholders (two bytes, the first 0x10 or 0x11) are no characters of code page
// 932. The edit field carries each as one private-use character (U+F000 + the unit's value
// - 0x1000) so that editing other characters of a title keeps its glyphs; the page cells
// show them as full-width blanks.
//
// Bytes that name no character (a double-byte pair such as 85 40, a JIS code from the
// device without a character, a stray byte) are carried the same way, as one character of
// the supplementary private-use plane (U+F0000 + the pair's value, or + the byte): the
// field stays editable, such a unit can be deleted like any character, and one left alone
// goes back to the slot unchanged.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tqv {

QString title_edit_text(std::string_view slot_bytes);
// The slot bytes for an edit field text; nullopt when a character has no code page 932
// form. The length is not checked here.
std::optional<std::string> title_slot_bytes(const QString& text);
// The cell form: every unit at an even offset that starts with a placeholder byte becomes
// a full-width space.
QString title_cell_text(std::string_view slot_bytes);

// An edit of the field from `before` (a title that fits) to `after`: `after` is turned to
// full width as the operator types (ｶﾞ becomes ガ, A becomes Ａ), then the inserted text
// (typed, pasted or committed by the input method) loses the characters the device cannot
// show, and is cut at a character boundary where the title would pass `max_bytes`.
struct TitleFit {
    QString text;     // what the field holds afterwards (`after` when nothing was lost)
    int cursor = 0;   // after the part of the insertion that was kept
    bool cut = false;
    bool dropped = false;
    std::vector<std::string> unsendable;  // the characters dropped (UTF-8), each once
    int characters = 0;  // the title's length had nothing been cut
};
TitleFit fit_title_edit(const QString& before, const QString& after, std::size_t max_bytes);

}  // namespace tqv
