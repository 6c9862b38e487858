#include "document.h"

#include <climits>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "digits.h"
#include "texts.h"

namespace tqv {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kEmptyTitle = "s";

// A two-byte unit begins here: a Shift-JIS lead byte (0x81..0x9F, 0xE0..0xFC), or the first
// byte 0x10 / 0x11 of a glyph placeholder.
bool starts_two_byte_unit(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC) || c == 0x10 || c == 0x11;
}

// A signed decimal integer, as "%d" reads it: leading blanks, an optional sign, at least one
// digit; anything after the digits is ignored. Saturates at the int range.
std::optional<int> parse_number(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    bool negative = false;
    if (i < line.size() && (line[i] == '-' || line[i] == '+')) negative = line[i++] == '-';
    if (i >= line.size() || !is_decimal_digit(line[i])) return std::nullopt;
    long long value = 0;
    for (; i < line.size() && is_decimal_digit(line[i]); ++i) {
        value = value * 10 + (line[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    if (value < INT_MIN) value = INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

std::string cut_title(std::string_view text) {
    // Never beyond a line end: a title holding CR or LF would put the records out of step.
    auto line_end = text.find_first_of("\r\n");
    if (line_end != std::string_view::npos) text = text.substr(0, line_end);
    if (text.size() <= static_cast<std::size_t>(kTitleMaxBytes)) return std::string(text);
    std::size_t n = 0;
    while (n < text.size()) {
        std::size_t width = starts_two_byte_unit(static_cast<unsigned char>(text[n])) ? 2 : 1;
        if (n + width > static_cast<std::size_t>(kTitleMaxBytes)) break;
        n += width;
    }
    return std::string(text.substr(0, n));
}

std::string document_bytes(const Model& m) {
    std::string out;
    out.reserve(kDocumentLines * 8 + kTitles * kTitleMaxBytes);
    auto number = [&](int v) {
        out += std::to_string(v);
        out += kLineEnd;
    };
    for (const auto& line : m.title_display)
        for (int v : line) number(v);
    for (const auto& line : m.switch_time)
        for (int v : line) number(v);
    for (int v : m.startup_page) number(v);
    for (int v : m.current_page) number(v);
    for (int v : m.position_offset) number(v);
    number(m.white_level);
    number(m.edge_level);
    for (const auto& slot : m.titles) {
        std::string title = cut_title(slot_text(slot));
        out += title.empty() ? std::string(kEmptyTitle) : title;
        out += kLineEnd;
    }
    for (int v : m.position_offset) number(v);
    return out;
}

void parse_document(Model& m, std::string_view bytes) {
    const std::vector<std::string_view> lines = split_lines(bytes);
    std::size_t next = 0;
    auto number = [&](int& target) {
        if (next < lines.size()) {
            if (auto v = parse_number(lines[next])) target = *v;
        }
        ++next;  // a line that holds no number still counts as its record
    };
    for (auto& line : m.title_display)
        for (int& v : line) number(v);
    for (auto& line : m.switch_time)
        for (int& v : line) number(v);
    for (int& v : m.startup_page) number(v);
    for (int& v : m.current_page) number(v);
    for (int& v : m.position_offset) number(v);
    number(m.white_level);
    number(m.edge_level);
    for (auto& slot : m.titles) {
        std::string_view line = next < lines.size() ? lines[next] : std::string_view{};
        ++next;
        set_slot_text(slot, line == kEmptyTitle ? std::string_view{} : cut_title(line));
    }
    for (int& v : m.position_offset) number(v);
}

bool load_document(Model& m, const std::string& path) {
    // The largest document: 530 numbers of up to 11 characters and 256 titles of 28 bytes,
    // each with its line end.
    constexpr std::size_t kLargest = 530 * 13 + kTitles * (kTitleMaxBytes + 2);
    auto bytes = read_whole_file(path, kLargest + kReadSlack);
    if (!bytes) return false;
    parse_document(m, *bytes);
    m.document_path = path;
    m.document_dirty = 0;
    return true;
}

bool save_document(Model& m, const std::string& path) {
    if (!write_file_atomically(path, document_bytes(m))) return false;
    m.document_path = path;
    m.document_dirty = 0;
    return true;
}

std::optional<std::string> save_as_name(Ui& ui, const std::string& chosen,
                                        std::string_view extension) {
    std::string path = with_extension(chosen, extension);
    if (path == chosen || !path_exists(path)) return path;
    const std::string question = path + text::kAskOverwriteTail;
    if (!ui.ask(question, text::kSaveDialogTitle)) return std::nullopt;
    return path;
}

bool document_new(Model& m, Ui& ui) {
    if (run_under_way(m)) return false;
    if (m.document_dirty == 1 && !ui.ask(text::kAskNew, text::kAppCaption)) return false;
    // The reset empties the glyphs too, which are no part of the document: their own
    // question, No keeping everything as the document's No does.
    if (m.glyph_list_dirty == 1 && !ui.ask(text::kAskNewGlyphs, text::kAppCaption)) return false;
    m.reset();
    return true;
}

bool document_open(Model& m, Ui& ui, const FileChooser& choose) {
    if (run_under_way(m)) return false;
    if (m.document_dirty == 1 && !ui.ask(text::kAskOpen, text::kAppCaption)) return false;
    std::optional<std::string> path = choose ? choose() : std::nullopt;
    if (!path) return false;
    if (!load_document(m, *path)) {
        warning_box(ui, text::kCantFileOpen);
        return false;
    }
    return true;
}

bool document_save(Model& m, Ui& ui) {
    if (m.document_path.empty()) {
        warning_box(ui, text::kDontFileOpen);
        return false;
    }
    if (!save_document(m, m.document_path)) {
        warning_box(ui, text::kCantFileOpen);
        return false;
    }
    return true;
}

bool document_save_as(Model& m, Ui& ui, const FileChooser& choose) {
    std::optional<std::string> chosen = choose ? choose() : std::nullopt;
    if (!chosen) return false;
    std::optional<std::string> path = save_as_name(ui, *chosen, ".dat");
    if (!path) return false;
    if (!save_document(m, *path)) {
        warning_box(ui, text::kCantFileOpen);
        return false;
    }
    return true;
}

}  // namespace tqv
