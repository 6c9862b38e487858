#include "commands.h"

#include <algorithm>

#include "digits.h"
#include "glyph.h"
#include "texts.h"
#include "titles.h"

namespace tqv {

namespace {

// Indexes that come from files or answers are kept inside the tables they address.
int clamp_line(int line) { return std::clamp(line, 0, kTitleLines - 1); }
int clamp_page(int page) { return std::clamp(page, 0, kPages - 1); }
std::string line_fields(int line) {
    line = clamp_line(line);
    return channel_field(line) + position_letter(line);
}
char one_digit(int value) { return static_cast<char>('0' + std::clamp(value, 0, 9)); }

}  // namespace

// ---------------------------------------------------------------- pages
std::string page_field(int value) {
    if (value >= kAutoPage) return "AS";
    return two_digits(std::max(value, 0) + 1);
}

std::string body_page_switch_to(int line, int value) {
    return "P" + line_fields(line) + page_field(value) + "\r\n";
}

std::string body_startup_page_to(int line, int value) {
    return "SUS" + line_fields(line) + page_field(value) + "\r\n";
}

std::string body_page_switch(const Model& m, int line) {
    return body_page_switch_to(line, m.current_page[clamp_line(line)]);
}

std::string body_startup_page(const Model& m, int line) {
    return body_startup_page_to(line, m.startup_page[clamp_line(line)]);
}

void send_page_switch(SendPath& path, int line) {
    path.send_command(body_page_switch(path.model(), line));
}

void send_startup_page(SendPath& path, int line) {
    path.send_command(body_startup_page(path.model(), line));
}

// ---------------------------------------------------------------- title display
std::string body_display_one(const Model& m, int line, int page) {
    const int on = m.title_display[clamp_line(line)][clamp_page(page)];
    return "CTD" + line_fields(line) + two_digits(clamp_page(page) + 1) + (on != 0 ? "ON" : "OF") +
           "\r\n";
}

std::string body_display_line(const Model& m, int line) {
    std::string body = "CTD" + line_fields(line);
    for (int p = 0; p < kPages; ++p) body += m.title_display[clamp_line(line)][p] != 0 ? 'N' : 'F';
    return body + "\r\n";
}

void send_display_one(SendPath& path) {
    const Model& m = path.model();
    path.send_command(body_display_one(m, m.selected_title_line, m.selected_page));
}

// ---------------------------------------------------------------- switching times
std::string body_switch_time_one(const Model& m, int line, int page) {
    return "AST" + line_fields(line) + two_digits(clamp_page(page) + 1) +
           two_digits(m.switch_time[clamp_line(line)][clamp_page(page)]) + "\r\n";
}

std::string body_switch_times_line(const Model& m, int line) {
    std::string body = "AST" + line_fields(line);
    for (int p = 0; p < kPages; ++p) body += two_digits(m.switch_time[clamp_line(line)][p]);
    return body + "\r\n";
}

void send_switch_time_one(SendPath& path) {
    const Model& m = path.model();
    if (run_under_way(m)) return;
    path.send_command(body_switch_time_one(m, m.selected_title_line, m.selected_page));
}

// ---------------------------------------------------------------- levels and position
std::string body_white_level(const Model& m) {
    return std::string("CWL") + one_digit(m.white_level) + "\r\n";
}
std::string body_edge_level(const Model& m) {
    return std::string("CEL") + one_digit(m.edge_level) + "\r\n";
}
std::string body_position(const Model& m, int line) {
    return "CTDPO" + line_fields(line) + two_digits(m.position_offset[clamp_line(line)]) + "\r\n";
}
void send_white_level(SendPath& path) { path.send_command(body_white_level(path.model())); }
void send_edge_level(SendPath& path) { path.send_command(body_edge_level(path.model())); }
void send_position(SendPath& path, int line) {
    path.send_command(body_position(path.model(), line));
}

// ---------------------------------------------------------------- titles
std::optional<std::string> body_title(int store, int t, std::string_view bytes,
                                      const char** refusal) {
    PaddedTitle padded{};
    std::optional<std::string> body;
    if (pad_title_bytes(bytes, padded)) body = build_title_body(store, t, padded);
    if (!body && refusal != nullptr)
        *refusal = bytes.size() > std::size_t{kTitleMaxBytes} ? text::kTitleTooLong : text::kNotJis;
    return body;
}

const char* send_title(SendPath& path, int store, int t) {
    if (t < 0 || t >= kTitles) return text::kNotJis;
    const char* refusal = nullptr;
    auto body = body_title(store, t, slot_text(path.model().titles[t]), &refusal);
    if (!body) return refusal;
    path.send_command(*body);
    return nullptr;
}

void send_title_single(SendPath& path, int store) {
    const Model& m = path.model();
    if (run_under_way(m)) return;
    const int t = Model::title_slot(clamp_line(m.selected_title_line), clamp_page(m.selected_page));
    if (const char* refused = send_title(path, store, t)) warning_box(path.ui(), refused);
}

// ---------------------------------------------------------------- glyphs
std::string body_glyph_register(int glyph_number, const GlyphRecord& record) {
    std::string body = "GR" + two_digits(glyph_number);
    body.append(record.data(), kGlyphDigits);
    return body + "\r\n";
}

std::string body_read_request(std::uint16_t code) { return "RFBM" + hex4(code) + "\r\n"; }

std::string body_glyph_insert(const Model& m) {
    return "G" + two_digits(std::clamp(m.glyph_index, 0, 98) + 1) + "C" +
           line_fields(m.selected_title_line) + two_digits(clamp_page(m.selected_page) + 1) + "I" +
           two_digits(std::clamp(m.insert_position, 0, 13) + 1) + "\r\n";
}

void send_glyph_insert(SendPath& path) { path.send_command(body_glyph_insert(path.model())); }

std::uint16_t glyph_editor_code(int n) {
    return static_cast<std::uint16_t>(n <= 25 ? 0xA365 + n : 0xA407 + n);
}

std::uint16_t glyph_bulk_code(int n) {
    return static_cast<std::uint16_t>(n <= 25 ? 0xBA65 + n : 0xBB07 + n);
}

void send_glyph_register_editor(SendPath& path) {
    const Model& m = path.model();
    path.send_command(body_glyph_register(std::clamp(m.glyph_index, 0, 98) + 1, m.glyph_answer));
}

std::optional<std::uint16_t> sample_code(Model& m, std::string_view sample_text) {
    const auto b0 = sample_text.size() >= 2 ? static_cast<unsigned char>(sample_text[0]) : 0u;
    const auto b1 = sample_text.size() >= 2 ? static_cast<unsigned char>(sample_text[1]) : 0u;
    const unsigned v = b0 * 256 + b1;
    if (v > 0x3939) {
        std::uint16_t u = static_cast<std::uint16_t>(v);
        if (u >= 0xFA5C || (u >= 0xFA40 && u <= 0xFA49) || (u >= 0xFA55 && u <= 0xFA57))
            u = map_ibm_extension(u);
        std::uint16_t code = sjis_to_jis(u);
        return code == 0 ? kFullWidthSpaceJis : code;
    }
    if (const int n = sample_glyph_number(sample_text); n > 0) {
        m.glyph_index = n - 1;
        return glyph_bulk_code(n - 1);
    }
    return std::nullopt;
}

int sample_glyph_number(std::string_view sample_text) {
    if (sample_text.size() < 2 || !is_decimal_digit(sample_text[0]) ||
        !is_decimal_digit(sample_text[1]))
        return 0;
    const int n = two_digits_to_number(sample_text[0], sample_text[1]);
    return n >= 1 && n <= 28 ? n : 0;
}

bool send_glyph_read(SendPath& path, GlyphRead kind, std::string_view sample_text) {
    Model& m = path.model();
    if (!path.link_ready()) {
        error_box(path.ui(), text::kSocketNotConnected);
        return false;
    }
    if (m.glyph_request_pending == 1) return false;
    std::uint16_t code;
    // The answer fills this slot: a sample glyph number's, otherwise the current one.
    int slot = m.glyph_index;
    if (kind == GlyphRead::sample) {
        const int before = m.glyph_index;
        auto c = sample_code(m, sample_text);
        if (!c) {
            error_box(path.ui(), text::kGlyphNumber);
            return false;
        }
        slot = m.glyph_index;
        m.glyph_index = before;  // until the operator has agreed to the read
        code = *c;
    } else {
        code = glyph_editor_code(std::clamp(m.glyph_index, 0, 27));
    }
    if (!glyph_read_may_overwrite(m, path.ui(), slot, 1)) return false;
    m.glyph_index = slot;
    m.glyph_request_pending = 1;
    path.send_command(body_read_request(code));
    return true;
}

// ---------------------------------------------------------------- slave address, network
std::string body_slave_address(int index) { return "SA" + two_digits(index) + "\r\n"; }

std::string address_text(const Ipv4& a) {
    return three_digits(a[0]) + "." + three_digits(a[1]) + "." + three_digits(a[2]) + "." +
           three_digits(a[3]);
}

std::optional<Ipv4> parse_address(std::string_view text) {
    Ipv4 out{};
    int group = 0;
    int digits = 0;
    int value = 0;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '.') {
            if (digits == 0 || value > 255 || group > 3) return std::nullopt;
            out[group++] = static_cast<std::uint8_t>(value);
            digits = 0;
            value = 0;
        } else if (is_decimal_digit(text[i]) && digits < 3) {
            value = value * 10 + (text[i] - '0');
            ++digits;
        } else if (text[i] != ' ') {
            return std::nullopt;
        }
    }
    if (group != 4) return std::nullopt;
    return out;
}

std::optional<int> parse_port(std::string_view text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (!is_decimal_digit(c)) return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return value;
}

std::string body_ip_address(const Model& m) { return "IA" + address_text(m.ip_address) + "\r\n"; }
std::string body_gateway_address(const Model& m) {
    return "GA" + address_text(m.gateway_address) + "\r\n";
}
std::string body_active_address(const Model& m) {
    return "AA" + address_text(m.active_address) + "\r\n";
}
std::string body_subnet(const Model& m) {
    return std::string("SM") + static_cast<char>('A' + std::clamp(m.subnet_class, 0, 2)) + "\r\n";
}
std::string body_device_port(std::string_view field_text) {
    // The device expects exactly five characters; a shorter entry is filled with leading
    // zeros, as "09004" is written.
    std::string port(field_text.substr(0, 5));
    if (port.size() < 5) port.insert(0, 5 - port.size(), '0');
    return "PN" + port + "\r\n";
}
std::string body_keep_alive(const Model& m) {
    return std::string(m.keep_alive != 0 ? "KAON" : "KAOF") + "\r\n";
}
std::string body_time_register(const Model& m) {
    return std::string("TR") + static_cast<char>('1' + std::clamp(m.time_register, 0, 8)) + "\r\n";
}

std::string body_network_read(int n) {
    static const char* reads[] = {"RAA", "RGA", "RIA", "RMA", "RPN", "RSM", "RKA", "RTR", "RVN"};
    if (n < 1 || n > 9) return {};
    return std::string(reads[n - 1]) + "\r\n";
}

void send_network_command(SendPath& path, std::string_view body) {
    path.serial_send(body, Addressing::bare);
}

}  // namespace tqv
