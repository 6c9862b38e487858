// Every command body of the device protocol, built once here. Each body ends with CR LF;
// the send path adds the slave address. The send_* functions build from the model and hand
// the body to the send path, as the dialogs' buttons and the bulk transfers do.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "model.h"
#include "send_path.h"

namespace tqv {

// --- pages ("P", "SUS") ---
std::string page_field(int value);  // "01".."64", "AS" for 64 and above
// Page value 0..63, or 64 (kAutoPage) for automatic switching, of title line 0..3.
std::string body_page_switch_to(int line, int value);
std::string body_startup_page_to(int line, int value);
// The same from the line's entry of current_page / startup_page.
std::string body_page_switch(const Model& m, int line);
std::string body_startup_page(const Model& m, int line);
void send_page_switch(SendPath& path, int line);
void send_startup_page(SendPath& path, int line);

// --- title display ("CTD") ---
std::string body_display_one(const Model& m, int line, int page);
std::string body_display_line(const Model& m, int line);
void send_display_one(SendPath& path);  // selected_title_line / selected_page

// --- automatic switching ("AST") ---
std::string body_switch_time_one(const Model& m, int line, int page);
std::string body_switch_times_line(const Model& m, int line);
void send_switch_time_one(SendPath& path);  // does nothing while bulk_active

// --- levels and position ("CWL", "CEL", "CTDPO") ---
std::string body_white_level(const Model& m);
std::string body_edge_level(const Model& m);
std::string body_position(const Model& m, int line);
void send_white_level(SendPath& path);
void send_edge_level(SendPath& path);
void send_position(SendPath& path, int line);

// --- titles ("CT", "CN") ---
// The body of title t (0..255) from its code page 932 bytes; nullopt when the device cannot
// show them, with `refusal` (when given) set to the warning: the length message for more
// than 28 bytes, otherwise the JIS warning.
std::optional<std::string> body_title(int store, int t, std::string_view bytes,
                                      const char** refusal = nullptr);
// Pads and sends title t. When refused (nothing sent), the warning to show: the length
// message for a title beyond 28 bytes, otherwise the JIS warning; nullptr when sent.
const char* send_title(SendPath& path, int store, int t);
// The single send of the title dialog: refusal shows its warning.
void send_title_single(SendPath& path, int store);

// --- glyphs ("GR", "RFBM", "G..C..I..") ---
std::string body_glyph_register(int glyph_number, const GlyphRecord& record);
std::string body_read_request(std::uint16_t code);
std::string body_glyph_insert(const Model& m);  // glyph_index, selected line/page, position
void send_glyph_insert(SendPath& path);
// Code of glyph slot n for the editor's read ("A365" family) and for the sample/bulk
// read ("BA65" family).
std::uint16_t glyph_editor_code(int n);
std::uint16_t glyph_bulk_code(int n);
// Register from the editor: "GR", glyph_index + 1, the digits of glyph_answer.
void send_glyph_register_editor(SendPath& path);
enum class GlyphRead { editor, sample };
// The request steps: link test, pending test, (sample validity), the question when the
// slot the glyph goes into holds an unsaved glyph, then "RFBM" + code. Returns true when a
// request went out.
bool send_glyph_read(SendPath& path, GlyphRead kind, std::string_view sample_text = {});
// The sample's code, or nullopt for an invalid sample; a glyph number 01..28 also sets
// glyph_index.
std::optional<std::uint16_t> sample_code(Model& m, std::string_view sample_text);
// The glyph number 1..28 a sample names ("01".."28"), 0 for any other sample.
int sample_glyph_number(std::string_view sample_text);

// --- slave address and device network values (serial, no address prefix) ---
std::string body_slave_address(int index);  // "SA05"
std::string address_text(const Ipv4& a);    // "192.168.001.003"
// Parses the dotted text of an address field; nullopt unless four groups of 1..3 digits
// each at most 255.
std::optional<Ipv4> parse_address(std::string_view text);
// A TCP port as typed: one to five digits naming 1..65535; nullopt for anything else.
std::optional<int> parse_port(std::string_view text);
std::string body_ip_address(const Model& m);       // "IA..."
std::string body_gateway_address(const Model& m);  // "GA..."
std::string body_active_address(const Model& m);   // "AA..."
std::string body_subnet(const Model& m);           // "SMA".."SMC"
std::string body_device_port(std::string_view field_text);  // "PN" + five characters
std::string body_keep_alive(const Model& m);       // "KAOF"/"KAON"
std::string body_time_register(const Model& m);   // "TR1".."TR6"
// The nine reads of the device network dialog, n = 1..9 ("RAA" .. "RVN").
std::string body_network_read(int n);
// Sends a device network or slave address command the way their dialogs do: bare (it
// speaks to whichever device is on the line), serial only.
void send_network_command(SendPath& path, std::string_view body);

}  // namespace tqv
