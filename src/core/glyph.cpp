#include "glyph.h"

#include <algorithm>
#include <cstdint>

#include "atomic_file.h"
#include "digits.h"
#include "document.h"
#include "texts.h"

namespace tqv {

namespace {

constexpr int kDigitsPerRow = kGlyphSize / 4;  // 12

// The drawable range of the editor: dot columns and rows 1..46.
bool on_grid(int x, int y) { return x >= 10 && x < 470 && y >= 8 && y < 376; }

bool valid_slot(int index) { return index >= 0 && index < kGlyphSlots; }

// Stores the working bitmap into the current slot; a `glyph_index` out of range stores
// nothing rather than writing outside `glyph_data`.
void store_working_bitmap(Model& m) {
    if (!valid_slot(m.glyph_index)) return;
    if (m.glyph_data[m.glyph_index] != m.glyph_answer) m.mark_glyph_unsaved(m.glyph_index);
    m.glyph_data[m.glyph_index] = m.glyph_answer;
}

// The list commands are ignored while a glyph request waits or the list's bulk runs.
bool glyph_list_busy(const Model& m) {
    return m.glyph_request_pending == 1 || m.glyph_bulk_active == 1;
}

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void put16(std::vector<std::uint8_t>& out, std::size_t at, std::uint16_t v) {
    out[at] = static_cast<std::uint8_t>(v & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& out, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) out[at + k] = static_cast<std::uint8_t>((v >> (8 * k)) & 0xFF);
}

}  // namespace

int glyph_digit_value(char c) {
    int code = static_cast<unsigned char>(c);
    return code > '9' ? code - 55 : code - 48;
}

char glyph_digit_char(int value) {
    value &= 0x0F;
    return static_cast<char>(value < 10 ? value + 48 : value + 55);
}

bool glyph_dot(const GlyphRecord& g, int row, int col) {
    if (row < 0 || row >= kGlyphSize || col < 0 || col >= kGlyphSize) return false;
    int digit = glyph_digit_value(g[row * kDigitsPerRow + col / 4]);
    return (digit & (8 >> (col % 4))) != 0;
}

void set_glyph_dot(GlyphRecord& g, int row, int col, bool lit) {
    if (row < 0 || row >= kGlyphSize || col < 0 || col >= kGlyphSize) return;
    char& c = g[row * kDigitsPerRow + col / 4];
    int digit = glyph_digit_value(c) & 0x0F;
    int bit = 8 >> (col % 4);
    c = glyph_digit_char(lit ? (digit | bit) : (digit & ~bit));
}

void clear_glyph(GlyphRecord& g) { std::fill(g.begin(), g.begin() + kGlyphDigits, '0'); }

GlyphRecord blank_glyph() {
    GlyphRecord g;
    g.fill('0');
    return g;
}

bool glyph_dot_operation(Model& m, GlyphEditor& e, int x, int y, bool set_mode) {
    if (!on_grid(x, y)) return false;
    const int d = x / 40 + (y / 8) * kDigitsPerRow;
    const int bit = 8 >> ((x / 10) % 4);
    // A character that is not a hex digit is taken by its low four bits, so the editor
    // never writes anything but '0'..'9', 'A'..'F'.
    const int value = glyph_digit_value(m.glyph_answer[d]) & 0x0F;
    const char digit = glyph_digit_char(set_mode ? (value | bit) : (value & ~bit));
    m.glyph_answer[d] = digit;
    const bool repaint = digit != e.painted_glyph[d];
    store_working_bitmap(m);
    e.painted_glyph[d] = digit;
    return repaint;
}

bool glyph_button_down(Model& m, GlyphEditor& e, int x, int y, bool left) {
    bool repaint = glyph_dot_operation(m, e, x, y, left);
    (left ? e.drawing_set : e.drawing_clear) = 1;
    m.glyph_edited = 1;
    return repaint;
}

void glyph_button_up(GlyphEditor& e, bool left) { (left ? e.drawing_set : e.drawing_clear) = 0; }

bool glyph_mouse_move(Model& m, GlyphEditor& e, int x, int y) {
    if (!on_grid(x, y)) return false;
    bool repaint = false;
    if (e.drawing_set == 1) repaint = glyph_dot_operation(m, e, x, y, true) || repaint;
    if (e.drawing_clear == 1) repaint = glyph_dot_operation(m, e, x, y, false) || repaint;
    return repaint;
}

bool glyph_toggle_dot(Model& m, GlyphEditor& e, int row, int col) {
    if (row < kFirstDrawnDot || row > kLastDrawnDot || col < kFirstDrawnDot || col > kLastDrawnDot)
        return false;
    m.glyph_edited = 1;
    // The middle of the dot's cell, where a click would change it.
    return glyph_dot_operation(m, e, col * 10 + 5, row * 8 + 4,
                               !glyph_dot(m.glyph_answer, row, col));
}

bool glyph_editor_clear(Model& m, Ui& ui) {
    if (m.glyph_request_pending == 1) return false;
    const bool asked = m.glyph_edited == 1;
    if (asked && !ui.ask(text::kAskClearGlyph, text::kNewCaption)) return false;
    clear_glyph(m.glyph_answer);
    if (asked) m.glyph_edited = 0;
    store_working_bitmap(m);
    return true;
}

bool glyph_list_clear(Model& m, Ui& ui) {
    if (glyph_list_busy(m)) return false;
    if ((m.glyph_edited == 1 || m.glyph_list_dirty == 1) &&
        !ui.ask(text::kAskNew, text::kNewCaption))
        return false;
    for (auto& g : m.glyph_data) g.fill('0');
    m.glyph_list_path.clear();
    m.glyph_edited = 0;
    m.mark_glyphs_saved();
    return true;
}

std::string glyph_list_bytes(const Model& m) {
    std::string out;
    out.reserve(static_cast<std::size_t>(kGlyphListRecords) * 3);
    for (const auto& g : m.glyph_data) {
        for (int i = 0; i < kGlyphDigits; ++i) {
            // A character that is not a hex digit is written as the digit of its low four
            // bits (the dots it shows), so that no record is ever white space, which the
            // reader skips, and the file stays in step.
            out += glyph_digit_char(glyph_digit_value(g[i]));
            out += "\r\n";
        }
    }
    return out;
}

void parse_glyph_list(Model& m, std::string_view bytes) {
    std::size_t pos = 0;
    for (int record = 0; record < kGlyphListRecords && pos < bytes.size(); ++record) {
        // Normalised as saving does, so that a register command only ever carries digits.
        m.glyph_data[record / kGlyphDigits][record % kGlyphDigits] =
            glyph_digit_char(glyph_digit_value(bytes[pos++]));
        while (pos < bytes.size() && is_blank(bytes[pos])) ++pos;
    }
}

bool load_glyph_list(Model& m, const std::string& path) {
    // A full list, with room for lines that end in more than CR LF.
    auto bytes = read_whole_file(path, std::size_t{kGlyphListRecords} * 3 + kReadSlack);
    if (!bytes) return false;
    parse_glyph_list(m, *bytes);
    m.glyph_list_path = path;
    m.mark_glyphs_saved();
    return true;
}

bool save_glyph_list(const Model& m, const std::string& path) {
    return write_file_atomically(path, glyph_list_bytes(m));
}

bool glyph_list_open(Model& m, Ui& ui, const GlyphFileChooser& choose) {
    if (glyph_list_busy(m) || run_under_way(m)) return false;
    if (m.glyph_list_dirty == 1 && !ui.ask(text::kAskOpen, text::kAppCaption)) return false;
    std::optional<std::string> path = choose ? choose() : std::nullopt;
    if (!path) return false;
    if (!load_glyph_list(m, *path)) {
        warning_box(ui, text::kCantFileOpen);
        return false;
    }
    return true;
}

bool glyph_list_save(Model& m, Ui& ui) {
    if (glyph_list_busy(m)) return false;
    if (m.glyph_list_path.empty()) {
        warning_box(ui, text::kDontFileOpen);
        return false;
    }
    if (!save_glyph_list(m, m.glyph_list_path)) {
        error_box(ui, text::kCantFileOpen);
        return false;
    }
    m.mark_glyphs_saved();
    return true;
}

bool glyph_list_save_as(Model& m, Ui& ui, const GlyphFileChooser& choose) {
    if (glyph_list_busy(m)) return false;
    std::optional<std::string> chosen = choose ? choose() : std::nullopt;
    if (!chosen) return false;
    std::optional<std::string> path = save_as_name(ui, *chosen, ".tll");
    if (!path) return false;
    if (!save_glyph_list(m, *path)) {
        error_box(ui, text::kCantFileOpen);
        return false;
    }
    m.glyph_list_path = *path;
    m.mark_glyphs_saved();
    return true;
}

bool glyph_read_may_overwrite(Model& m, Ui& ui, int first, int count) {
    bool unsaved = false;
    for (int slot = std::max(first, 0); slot < std::min(first + count, kGlyphSlots); ++slot)
        unsaved = unsaved || m.glyph_unsaved[static_cast<std::size_t>(slot)] != 0;
    return !unsaved || ui.ask(text::kAskReadOverGlyphs, text::kAppCaption);
}

bool glyph_list_may_discard(Model& m, Ui& ui, const char* question,
                            const GlyphFileChooser& choose) {
    if (m.glyph_list_dirty != 1 || ui.ask(question, text::kAppCaption)) return true;
    return m.glyph_list_path.empty() ? glyph_list_save_as(m, ui, choose) : glyph_list_save(m, ui);
}

int bitmap_row_stride(int width) {
    if (width <= 0) return 0;
    return (3 * width + 3) / 4 * 4;
}

std::vector<std::uint8_t> bitmap_file_image(int width, int height,
                                            const std::function<std::uint32_t(int, int)>& pixel) {
    // Pictures beyond 16384 x 16384 are not previews; refusing them keeps every size below
    // in 32 bits.
    if (width < 0 || height < 0 || width > 16384 || height > 16384) return {};
    const std::size_t stride = static_cast<std::size_t>(bitmap_row_stride(width));
    const std::size_t data_size = stride * static_cast<std::size_t>(height);
    std::vector<std::uint8_t> out(54 + data_size, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, static_cast<std::uint32_t>(54 + data_size));
    put32(out, 10, 54);
    put32(out, 14, 40);
    put32(out, 18, static_cast<std::uint32_t>(width));
    put32(out, 22, static_cast<std::uint32_t>(height));
    put16(out, 26, 1);
    put16(out, 28, 24);
    for (int row = 0; row < height && pixel; ++row) {
        // File rows are stored bottom-up: the first stored row is picture row H - 1.
        std::size_t at = 54 + static_cast<std::size_t>(height - 1 - row) * stride;
        for (int x = 0; x < width; ++x, at += 3) {
            std::uint32_t rgb = pixel(x, row);
            out[at] = static_cast<std::uint8_t>(rgb & 0xFF);              // blue
            out[at + 1] = static_cast<std::uint8_t>((rgb >> 8) & 0xFF);   // green
            out[at + 2] = static_cast<std::uint8_t>((rgb >> 16) & 0xFF);  // red
        }
    }
    return out;
}

int glyph_preview_cell(int x, int y) {
    for (int c = 0; c < 7; ++c) {
        if (x >= 12 + 114 * c && x <= 106 + 114 * c) {
            if (y >= 11 && y <= 105) return c;
            if (y >= 158 && y <= 252) return c + 7;
            return -1;
        }
    }
    return -1;
}

int glyph_export_number(int group, int cell) { return group * 14 + cell + 1; }

std::string glyph_export_title(int number) {
    return std::string(text::kGlyphNumber) + two_digits(number) + text::kExportTitleTail;
}

std::string glyph_export_file_name(int number) { return "gl" + two_digits(number) + ".bmp"; }

}  // namespace tqv
