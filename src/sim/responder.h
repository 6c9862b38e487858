// The simulated TQV-7310NX: a protocol responder that keeps a whole device state and turns
// each received command line into the line the device sends back. No I/O and no Qt here,
// so that the same device can be served on a pseudo-terminal, over TCP or inside a test.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "core/model.h"

namespace tqv::sim {

inline constexpr int kTitleCodes = 14;               // JIS codes per title
inline constexpr int kRegisteredGlyphs = 28;         // glyph numbers 01..28
inline constexpr std::uint16_t kBlankCode = 0x2121;  // full-width space

// Which link the device sits on. It changes one thing: a broadcast ("FF") is carried out on
// both, but only answered on TCP, where each device has its own connection and answers
// cannot collide.
enum class Link { serial, tcp };

using Octets = std::array<std::uint8_t, 4>;
using TitleCodes = std::array<std::uint16_t, kTitleCodes>;

// Everything the device remembers. A fresh state holds the values the program's settings
// model is reset to, so that a read-back of an untouched device matches a new document.
struct DeviceState {
    std::array<std::array<TitleCodes, kPages>, kTitleLines> titles{};
    std::array<std::array<bool, kPages>, kTitleLines> title_display{};
    std::array<std::array<int, kPages>, kTitleLines> switch_time{};  // seconds, 0..99
    std::array<int, kTitleLines> current_page{};  // 0..63, kAutoPage = automatic switching
    std::array<int, kTitleLines> startup_page{};
    std::array<int, kTitleLines> position_offset{};  // 0..15
    int white_level = 1;                             // 0..3
    int edge_level = 1;
    std::array<std::string, kRegisteredGlyphs> glyphs;  // 576 upper-case hex digits each

    Octets ip_address{};
    Octets gateway_address{};
    Octets active_address{};
    char subnet_class = 'C';  // 'A', 'B' or 'C'
    std::string port_number = "09004";
    std::string mac_address = "00-00-00-00-00-00";
    std::string version_number = "0.00";
    bool keep_alive = false;
    int time_register = 6;  // the digit as the device sends it, 1..6

    DeviceState();
    bool operator==(const DeviceState&) const = default;
};

// The device code under which registered glyph `index` (0..27) is stored in a title and read
// back with "RFBM": 0xBA65.. for the first 26, 0xBB21/0xBB22 for the last two.
std::uint16_t glyph_title_code(int index);
// The code the glyph editor reads the same glyph with: 0xA365.., 0xA421/0xA422.
std::uint16_t glyph_editor_code(int index);
// The 576 dot digits the device reports for a character of its own font. Only a stand-in
// for the real font: blank for the full-width space and for codes that name no character,
// otherwise the four code digits repeated, so that each character reads back differently.
std::string font_pattern(std::uint16_t code);

class Responder {
  public:
    explicit Responder(int address = 0, Link link = Link::tcp);

    // One received line, with or without its CR LF. Returns the line to send back, ending in
    // CR LF, or an empty string when the device stays silent (another address, a broadcast on
    // the serial link, an empty line).
    std::string respond(std::string_view line);

    // Answers `code` ("E0".."E3", "GN", "MENU") to every command it would otherwise carry out,
    // and carries out nothing; an empty code returns to normal service.
    void set_forced_answer(std::string code) { forced_answer_ = std::move(code); }

    int address() const { return address_; }
    const DeviceState& state() const { return state_; }
    DeviceState& state() { return state_; }

  private:
    // The answer text without address and CR LF; "E3" for anything it cannot carry out.
    std::string execute(std::string_view body);

    std::string read_switch_times(std::string_view rest);
    std::string read_display(std::string_view rest);
    std::string read_position(std::string_view rest);
    std::string read_title(std::string_view rest);
    std::string read_startup_page(std::string_view rest);
    std::string read_current_page(std::string_view rest);
    std::string read_glyph(std::string_view rest);
    std::string set_title(std::string_view rest);
    std::string set_display(std::string_view rest);
    std::string set_position(std::string_view rest);
    std::string set_switch_times(std::string_view rest);
    std::string set_startup_page(std::string_view rest);
    std::string set_current_page(std::string_view rest);
    std::string set_level(int& level, std::string_view rest);
    std::string register_glyph(std::string_view rest);
    std::string insert_glyph(std::string_view rest);
    std::string set_slave_address(std::string_view rest);
    std::string set_address(Octets& target, std::string_view rest);
    std::string set_subnet(std::string_view rest);
    std::string set_port(std::string_view rest);
    std::string set_keep_alive(std::string_view rest);
    std::string set_time_register(std::string_view rest);

    int address_;
    Link link_;
    std::string forced_answer_;
    DeviceState state_;
};

}  // namespace tqv::sim
