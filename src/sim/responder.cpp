#include "sim/responder.h"

#include <optional>
#include <utility>

#include "core/digits.h"
#include "core/titles.h"

namespace tqv::sim {

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kDone = "GO";
constexpr std::string_view kCommandError = "E3";
constexpr int kMaxPositionOffset = 15;     // 16 steps of fine adjustment
constexpr int kMaxLevel = 3;               // four steps of white and edge level
constexpr std::size_t kDottedLength = 15;  // "192.168.001.003"

bool all_of(std::string_view text, bool (*test)(char)) {
    for (char c : text) {
        if (!test(c)) return false;
    }
    return true;
}

// Two decimal digits within lo..hi.
std::optional<int> number2(std::string_view text, int lo, int hi) {
    if (text.size() != 2 || !all_of(text, is_decimal_digit)) return std::nullopt;
    const int value = two_digits_to_number(text[0], text[1]);
    if (value < lo || value > hi) return std::nullopt;
    return value;
}

// Channel "01"/"02" and position letter "T"/"B" to a title line 0..3. The device knows only
// these four lines, so anything else is a malformed command.
std::optional<int> title_line(std::string_view field) {
    if (field.size() != 3) return std::nullopt;
    const auto channel = number2(field.substr(0, 2), 1, 2);
    if (!channel || (field[2] != 'T' && field[2] != 'B')) return std::nullopt;
    return (*channel - 1) * 2 + (field[2] == 'B' ? 1 : 0);
}

std::string line_field(int line) { return two_digits(line / 2 + 1) + (line % 2 == 1 ? 'B' : 'T'); }

// Page "01".."64" to 0..63, or "AS" (automatic switching) to kAutoPage when allowed.
std::optional<int> page_field(std::string_view text, bool automatic_allowed) {
    if (automatic_allowed && text == "AS") return kAutoPage;
    const auto page = number2(text, 1, kPages);
    if (!page) return std::nullopt;
    return *page - 1;
}

// A page as the device reports it: "A" for automatic switching, else two digits.
std::string reported_page(int page) { return page >= kAutoPage ? "A" : two_digits(page + 1); }

std::uint16_t hex_code(std::string_view four) {
    return static_cast<std::uint16_t>(hex_pair_to_byte(four[0], four[1]) << 8 |
                                      hex_pair_to_byte(four[2], four[3]));
}

std::string dotted(const Octets& octets) {
    std::string text;
    for (std::size_t i = 0; i < octets.size(); ++i) {
        if (i > 0) text += '.';
        text += three_digits(octets[i]);
    }
    return text;
}

std::optional<Octets> parse_dotted(std::string_view text) {
    if (text.size() != kDottedLength) return std::nullopt;
    Octets octets{};
    for (std::size_t i = 0; i < octets.size(); ++i) {
        const std::string_view group = text.substr(i * 4, 3);
        if (!all_of(group, is_decimal_digit)) return std::nullopt;
        if (i < 3 && text[i * 4 + 3] != '.') return std::nullopt;
        const int value = three_digits_to_number(group.data());
        if (value > 255) return std::nullopt;
        octets[i] = static_cast<std::uint8_t>(value);
    }
    return octets;
}

bool starts_with(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The bodies that travel without a slave address (device network settings and the slave
// address itself). Everything else needs an address in front.
constexpr std::string_view kBareBodies[] = {"RAA", "RGA", "RIA", "RMA", "RPN", "RSM",
                                            "RKA", "RTR", "RVN", "IA",  "GA",  "AA",
                                            "SM",  "PN",  "KA",  "TR",  "SA"};

bool is_bare_body(std::string_view line) {
    for (std::string_view body : kBareBodies) {
        if (starts_with(line, body)) return true;
    }
    return false;
}

}  // namespace

std::uint16_t glyph_title_code(int index) {
    return static_cast<std::uint16_t>(index < 26 ? 0xBA65 + index : 0xBB07 + index);
}

std::uint16_t glyph_editor_code(int index) {
    return static_cast<std::uint16_t>(index < 26 ? 0xA365 + index : 0xA407 + index);
}

std::string font_pattern(std::uint16_t code) {
    if (code == kBlankCode || jis_to_sjis(code) == 0) return std::string(kGlyphDigits, '0');
    const std::string digits = hex4(code);
    std::string pattern;
    pattern.reserve(kGlyphDigits);
    while (pattern.size() < static_cast<std::size_t>(kGlyphDigits)) pattern += digits;
    return pattern;
}

DeviceState::DeviceState() {
    for (auto& line : titles) {
        for (auto& title : line) title.fill(kBlankCode);
    }
    for (auto& line : title_display) line.fill(true);
    for (auto& line : switch_time) line.fill(2);
    position_offset.fill(7);
    for (auto& glyph : glyphs) glyph.assign(kGlyphDigits, '0');
}

Responder::Responder(int address, Link link) : address_(address), link_(link) {}

std::string Responder::respond(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    // A bare line end is line noise, not a command: a real device ignores it.
    if (line.empty()) return {};

    const bool addressed =
        line.size() >= 2 &&
        ((is_decimal_digit(line[0]) && is_decimal_digit(line[1])) || line.substr(0, 2) == "FF");
    if (!addressed) {
        std::string answer = !forced_answer_.empty() ? forced_answer_
                             : is_bare_body(line)    ? execute(line)
                                                     : std::string(kCommandError);
        return answer.append(kCrLf);
    }

    const bool broadcast = line.substr(0, 2) == "FF";
    if (!broadcast && two_digits_to_number(line[0], line[1]) != address_) return {};
    // The answer carries the address the command reached, even when "SA" changes it.
    std::string answer = two_digits(address_);
    answer += !forced_answer_.empty() ? forced_answer_ : execute(line.substr(2));
    if (broadcast && link_ == Link::serial) return {};
    return answer.append(kCrLf);
}

std::string Responder::execute(std::string_view body) {
    using Handler = std::string (Responder::*)(std::string_view);
    struct Command {
        std::string_view prefix;
        Handler handler;
    };
    // First match wins, so every prefix comes before the shorter prefixes it contains.
    static constexpr Command kCommands[] = {
        {"RCTDPO", &Responder::read_position},   {"RCTD", &Responder::read_display},
        {"RCT", &Responder::read_title},         {"RAST", &Responder::read_switch_times},
        {"RSUS", &Responder::read_startup_page}, {"RFBM", &Responder::read_glyph},
        {"CTDPO", &Responder::set_position},     {"CTD", &Responder::set_display},
        {"CT", &Responder::set_title},           {"CN", &Responder::set_title},
        {"AST", &Responder::set_switch_times},   {"SUS", &Responder::set_startup_page},
        {"GR", &Responder::register_glyph},      {"SA", &Responder::set_slave_address},
        {"SM", &Responder::set_subnet},          {"PN", &Responder::set_port},
        {"KA", &Responder::set_keep_alive},      {"TR", &Responder::set_time_register},
    };

    // Reads without parameters.
    if (body == "RCEL") return "CEL" + std::to_string(state_.edge_level);
    if (body == "RCWL") return "CWL" + std::to_string(state_.white_level);
    if (body == "RAA") return "AA" + dotted(state_.active_address);
    if (body == "RGA") return "GA" + dotted(state_.gateway_address);
    if (body == "RIA") return "IA" + dotted(state_.ip_address);
    if (body == "RMA") return "MA" + state_.mac_address;
    if (body == "RPN") return "PN" + state_.port_number;
    if (body == "RSM") return std::string("SM") + state_.subnet_class;
    if (body == "RKA") return state_.keep_alive ? "KAON" : "KAOF";
    if (body == "RTR") return "TR" + std::to_string(state_.time_register);
    if (body == "RVN") return "VN" + state_.version_number;
    if (starts_with(body, "RP")) return read_current_page(body.substr(2));

    if (starts_with(body, "CWL")) return set_level(state_.white_level, body.substr(3));
    if (starts_with(body, "CEL")) return set_level(state_.edge_level, body.substr(3));
    if (starts_with(body, "IA")) return set_address(state_.ip_address, body.substr(2));
    if (starts_with(body, "GA")) return set_address(state_.gateway_address, body.substr(2));
    if (starts_with(body, "AA")) return set_address(state_.active_address, body.substr(2));
    // "P" + page, or "G" + glyph insertion; their longer look-alikes ("PN", "GR", "GA") are
    // taken above or in the table.
    for (const Command& command : kCommands) {
        if (starts_with(body, command.prefix)) {
            // "CT" and "CN" differ only in whether the device keeps the title over a power
            // cycle, which a simulation without power cycles cannot show.
            return (this->*command.handler)(body.substr(command.prefix.size()));
        }
    }
    if (starts_with(body, "P")) return set_current_page(body.substr(1));
    if (starts_with(body, "G")) return insert_glyph(body.substr(1));
    return std::string(kCommandError);
}

std::string Responder::read_switch_times(std::string_view rest) {
    const auto line = title_line(rest);
    if (!line) return std::string(kCommandError);
    std::string answer = "AST" + line_field(*line);
    for (int time : state_.switch_time[*line]) answer += two_digits(time);
    return answer;
}

std::string Responder::read_display(std::string_view rest) {
    const auto line = title_line(rest);
    if (!line) return std::string(kCommandError);
    std::string answer = "CTD" + line_field(*line);
    for (bool shown : state_.title_display[*line]) answer += shown ? 'N' : 'F';
    return answer;
}

std::string Responder::read_position(std::string_view rest) {
    const auto line = title_line(rest);
    if (!line) return std::string(kCommandError);
    return "CTDPO" + line_field(*line) + two_digits(state_.position_offset[*line]);
}

std::string Responder::read_title(std::string_view rest) {
    if (rest.size() != 5) return std::string(kCommandError);
    const auto line = title_line(rest.substr(0, 3));
    const auto page = page_field(rest.substr(3), false);
    if (!line || !page) return std::string(kCommandError);
    std::string answer = "CT" + line_field(*line) + two_digits(*page + 1);
    for (std::uint16_t code : state_.titles[*line][*page]) answer += hex4(code);
    return answer;
}

std::string Responder::read_startup_page(std::string_view rest) {
    const auto line = title_line(rest);
    if (!line) return std::string(kCommandError);
    return "SUS" + line_field(*line) + reported_page(state_.startup_page[*line]);
}

std::string Responder::read_current_page(std::string_view rest) {
    const auto line = title_line(rest);
    if (!line) return std::string(kCommandError);
    // Built piece by piece: GCC 12 warns falsely (-Wrestrict) on "P" + std::string.
    std::string answer = "P";
    answer += line_field(*line);
    answer += reported_page(state_.current_page[*line]);
    return answer;
}

std::string Responder::read_glyph(std::string_view rest) {
    if (rest.size() != 4 || !all_of(rest, is_hex_digit)) return std::string(kCommandError);
    const std::uint16_t code = hex_code(rest);
    std::string answer = "FBM" + std::string(rest);
    for (int n = 0; n < kRegisteredGlyphs; ++n) {
        if (code == glyph_title_code(n) || code == glyph_editor_code(n)) {
            return answer + state_.glyphs[n];
        }
    }
    return answer + font_pattern(code);
}

std::string Responder::set_title(std::string_view rest) {
    constexpr std::size_t kDigits = kTitleCodes * 4;
    if (rest.size() != 5 + kDigits) return std::string(kCommandError);
    const auto line = title_line(rest.substr(0, 3));
    const auto page = page_field(rest.substr(3, 2), false);
    const std::string_view digits = rest.substr(5);
    if (!line || !page || !all_of(digits, is_hex_digit)) return std::string(kCommandError);
    TitleCodes& title = state_.titles[*line][*page];
    for (int k = 0; k < kTitleCodes; ++k) title[k] = hex_code(digits.substr(k * 4, 4));
    return std::string(kDone);
}

std::string Responder::set_display(std::string_view rest) {
    const auto line = title_line(rest.substr(0, 3));
    if (!line) return std::string(kCommandError);
    const std::string_view values = rest.substr(3);
    auto& display = state_.title_display[*line];
    if (values.size() == 4) {  // one page: page digits + "ON"/"OF"
        const auto page = page_field(values.substr(0, 2), false);
        const std::string_view state = values.substr(2);
        if (!page || (state != "ON" && state != "OF")) return std::string(kCommandError);
        display[*page] = state == "ON";
        return std::string(kDone);
    }
    if (values.size() != static_cast<std::size_t>(kPages)) return std::string(kCommandError);
    for (char c : values) {
        if (c != 'N' && c != 'F') return std::string(kCommandError);
    }
    for (int page = 0; page < kPages; ++page) display[page] = values[page] == 'N';
    return std::string(kDone);
}

std::string Responder::set_position(std::string_view rest) {
    if (rest.size() != 5) return std::string(kCommandError);
    const auto line = title_line(rest.substr(0, 3));
    const auto offset = number2(rest.substr(3), 0, kMaxPositionOffset);
    if (!line || !offset) return std::string(kCommandError);
    state_.position_offset[*line] = *offset;
    return std::string(kDone);
}

std::string Responder::set_switch_times(std::string_view rest) {
    const auto line = title_line(rest.substr(0, 3));
    if (!line) return std::string(kCommandError);
    const std::string_view values = rest.substr(3);
    auto& times = state_.switch_time[*line];
    if (values.size() == 4) {  // one page: page digits + time digits
        const auto page = page_field(values.substr(0, 2), false);
        const auto time = number2(values.substr(2), 0, 99);
        if (!page || !time) return std::string(kCommandError);
        times[*page] = *time;
        return std::string(kDone);
    }
    if (values.size() != static_cast<std::size_t>(kPages) * 2 ||
        !all_of(values, is_decimal_digit)) {
        return std::string(kCommandError);
    }
    for (int page = 0; page < kPages; ++page) {
        times[page] = two_digits_to_number(values[page * 2], values[page * 2 + 1]);
    }
    return std::string(kDone);
}

std::string Responder::set_startup_page(std::string_view rest) {
    if (rest.size() != 5) return std::string(kCommandError);
    const auto line = title_line(rest.substr(0, 3));
    const auto page = page_field(rest.substr(3), true);
    if (!line || !page) return std::string(kCommandError);
    state_.startup_page[*line] = *page;
    return std::string(kDone);
}

std::string Responder::set_current_page(std::string_view rest) {
    if (rest.size() != 5) return std::string(kCommandError);
    const auto line = title_line(rest.substr(0, 3));
    const auto page = page_field(rest.substr(3), true);
    if (!line || !page) return std::string(kCommandError);
    state_.current_page[*line] = *page;
    return std::string(kDone);
}

std::string Responder::set_level(int& level, std::string_view rest) {
    if (rest.size() != 1 || rest[0] < '0' || rest[0] > '0' + kMaxLevel) {
        return std::string(kCommandError);
    }
    level = rest[0] - '0';
    return std::string(kDone);
}

std::string Responder::register_glyph(std::string_view rest) {
    if (rest.size() != 2 + static_cast<std::size_t>(kGlyphDigits)) {
        return std::string(kCommandError);
    }
    const auto number = number2(rest.substr(0, 2), 1, kRegisteredGlyphs);
    const std::string_view dots = rest.substr(2);
    if (!number || !all_of(dots, is_hex_digit)) return std::string(kCommandError);
    state_.glyphs[*number - 1] = std::string(dots);
    return std::string(kDone);
}

// After the "G": glyph "01".."28", "C", line field, page, "I", position "01".."14".
std::string Responder::insert_glyph(std::string_view rest) {
    if (rest.size() != 11 || rest[2] != 'C' || rest[8] != 'I') return std::string(kCommandError);
    const auto glyph = number2(rest.substr(0, 2), 1, kRegisteredGlyphs);
    const auto line = title_line(rest.substr(3, 3));
    const auto page = page_field(rest.substr(6, 2), false);
    const auto position = number2(rest.substr(9, 2), 1, kTitleCodes);
    if (!glyph || !line || !page || !position) return std::string(kCommandError);
    state_.titles[*line][*page][*position - 1] = glyph_title_code(*glyph - 1);
    return std::string(kDone);
}

std::string Responder::set_slave_address(std::string_view rest) {
    // "FF" is the broadcast every device listens to, so a device cannot be given it.
    const auto address = number2(rest, 0, 31);
    if (!address) return std::string(kCommandError);
    address_ = *address;
    return std::string(kDone);
}

std::string Responder::set_address(Octets& target, std::string_view rest) {
    const auto octets = parse_dotted(rest);
    if (!octets) return std::string(kCommandError);
    target = *octets;
    return std::string(kDone);
}

std::string Responder::set_subnet(std::string_view rest) {
    if (rest != "A" && rest != "B" && rest != "C") return std::string(kCommandError);
    state_.subnet_class = rest[0];
    return std::string(kDone);
}

std::string Responder::set_port(std::string_view rest) {
    if (rest.size() != 5 || !all_of(rest, is_decimal_digit)) return std::string(kCommandError);
    state_.port_number = std::string(rest);
    return std::string(kDone);
}

std::string Responder::set_keep_alive(std::string_view rest) {
    if (rest != "ON" && rest != "OF") return std::string(kCommandError);
    state_.keep_alive = rest == "ON";
    return std::string(kDone);
}

std::string Responder::set_time_register(std::string_view rest) {
    if (rest.size() != 1 || rest[0] < '1' || rest[0] > '6') return std::string(kCommandError);
    state_.time_register = rest[0] - '0';
    return std::string(kDone);
}

}  // namespace tqv::sim
