// Glyph records (48 x 48 dots as 576 hex digits + four spare "0"), the editor's dot
// operation, the glyph list file (".tll") and the bitmap export image (".bmp").
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model.h"
#include "ui.h"

namespace tqv {

inline constexpr int kGlyphSize = 48;
inline constexpr int kGlyphListRecords = kGlyphSlots * kGlyphDigits;  // 40320

// The one digit rule: above '9' gives code - 55, anything else code - 48.
int glyph_digit_value(char c);
char glyph_digit_char(int value);  // 0..15 -> '0'..'9', 'A'..'F'
bool glyph_dot(const GlyphRecord& g, int row, int col);
void set_glyph_dot(GlyphRecord& g, int row, int col, bool lit);
void clear_glyph(GlyphRecord& g);  // 576 digits "0", spare characters as they are
GlyphRecord blank_glyph();         // all 580 characters "0"

// Editor state that is not saved.
struct GlyphEditor {
    std::array<char, kGlyphDigits> painted_glyph{};  // digit after the mouse last changed it
    int drawing_set = 0;
    int drawing_clear = 0;
};

// Dot operation at editor point (x, y): 10 <= x < 470, 8 <= y < 376, cells of 10 x 8.
// Updates glyph_answer and copies it into glyph_data[glyph_index]. Returns true when the
// grid must be repainted.
// A character that is not a hex digit counts by the low four bits of its digit value, so
// only '0'..'9', 'A'..'F' are ever written; a `glyph_index` outside 0..69 stores nothing.
bool glyph_dot_operation(Model& m, GlyphEditor& e, int x, int y, bool set_mode);
// Mouse handling of the editor, in editor client coordinates; each returns true
// when the grid must be repainted. Button down applies the dot operation (left: set, right:
// clear), then sets the button's drawing flag and `glyph_edited` wherever the point lies
// (capturing the mouse is the dialog's part). A move applies set mode while the left button
// is held, then clear mode while the right one is, so with both held the dot ends dark.
bool glyph_button_down(Model& m, GlyphEditor& e, int x, int y, bool left);
void glyph_button_up(GlyphEditor& e, bool left);
bool glyph_mouse_move(Model& m, GlyphEditor& e, int x, int y);
// The dots the editor can change, by mouse or keyboard: rows and columns 1..46.
inline constexpr int kFirstDrawnDot = 1;
inline constexpr int kLastDrawnDot = kGlyphSize - 2;
// Space on the editor's dot (row, col): the dot operation there, lighting a dark dot and
// clearing a lit one; an edit as a click is. True when the grid must be repainted.
bool glyph_toggle_dot(Model& m, GlyphEditor& e, int row, int col);
// "バッファクリア" of the editor; true when the bitmap was cleared.
bool glyph_editor_clear(Model& m, Ui& ui);
// "バッファクリア" of the glyph list: all 70 slots, empties `glyph_list_path`; true when
// cleared. Ignored (like the file commands below) while `glyph_request_pending` or
// `glyph_bulk_active` is 1.
bool glyph_list_clear(Model& m, Ui& ui);

// The glyph list file: 40320 one-character records, each followed by CR LF. A character
// of `glyph_data` that is not a hex digit is written as the digit of its low four bits.
std::string glyph_list_bytes(const Model& m);
// Reads records into the digits of slots 0..69; a short file leaves the rest unchanged.
void parse_glyph_list(Model& m, std::string_view bytes);
// Load: false when unreadable or larger than a list can be (model unchanged); on success
// sets `glyph_list_path` and clears `glyph_list_dirty`. Every record is normalised to a
// digit by its low four bits. Save: replaces the file atomically; false when it cannot be
// written (previous file untouched); changes nothing in the model.
bool load_glyph_list(Model& m, const std::string& path);
bool save_glyph_list(const Model& m, const std::string& path);

// The glyph list's file commands (open 1065, save 1066, save as 1067) with their
// questions and messages; `choose` shows the file dialog. Open failure is a warning box,
// save failure an error box ("Can't file open"); open is also ignored while `bulk_active`.
// Each returns true when the file was read or written.
using GlyphFileChooser = std::function<std::optional<std::string>()>;
bool glyph_list_open(Model& m, Ui& ui, const GlyphFileChooser& choose);
bool glyph_list_save(Model& m, Ui& ui);
bool glyph_list_save_as(Model& m, Ui& ui, const GlyphFileChooser& choose);
// Before a read from the device fills slots first .. first + count - 1: when one of them
// holds an unsaved glyph, asks whether to read over it. True when the read may go on.
bool glyph_read_may_overwrite(Model& m, Ui& ui, int first, int count);
// Before leaving (exit, closing the list) with unsaved glyphs: `question` under
// "TQV-7310NX"; Yes leaves them, No saves (save-as without a path). True when leaving may
// go on: nothing unsaved, Yes, or a save that succeeded.
bool glyph_list_may_discard(Model& m, Ui& ui, const char* question,
                            const GlyphFileChooser& choose);

// A 24-bit bottom-up Windows bitmap file image of a W x H picture; `pixel(x, y)` gives
// 0xRRGGBB for the pixel at column x, row y (row 0 at the top). Empty for a negative size
// or one beyond 16384 pixels.
std::vector<std::uint8_t> bitmap_file_image(int width, int height,
                                            const std::function<std::uint32_t(int, int)>& pixel);
int bitmap_row_stride(int width);  // 3 * W rounded up to a multiple of 4

// Preview cell hit test of the glyph list window: 0..13, or -1.
int glyph_preview_cell(int x, int y);

// Bitmap export of preview `cell` in group `group`: the glyph number N, the dialog title
// "外字登録番号NNをbmpファイルで保存" and the proposed name "glNN.bmp".
int glyph_export_number(int group, int cell);
std::string glyph_export_title(int number);
std::string glyph_export_file_name(int number);

}  // namespace tqv
