// The one settings model of the program: everything the operator edits, everything the
// device reports, and the small set of link and document flags the send path, the answer
// handling and the dialogs share. Plain data; exactly one instance, passed by reference.
//
// Threading: every writer runs on the user-interface thread (serial bytes are read on the
// event loop and dispatched there), so the model needs no lock of its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "line_assembler.h"

namespace tqv {

inline constexpr int kTitleLines = 4;
inline constexpr int kPages = 64;
inline constexpr int kTitles = kTitleLines * kPages;  // 256, slot = line * 64 + page
inline constexpr int kTitleSlotSize = 30;             // 28 bytes + room for one more + NUL
inline constexpr int kTitleMaxBytes = 28;             // 14 double-byte characters
inline constexpr int kAutoPage = 64;                  // page value meaning automatic switching
inline constexpr int kGlyphSlots = 70;
inline constexpr int kGlyphRecord = 580;  // 576 hex digits + four spare "0"
inline constexpr int kGlyphDigits = 576;
inline constexpr int kHostListSize = 256;
inline constexpr int kComPorts = 6;     // COM1..COM6
inline constexpr int kBroadcastIndex = 32;  // slave address list item "Bloadcast"
inline constexpr int kMaxPathBytes = 8192;

using TitleSlot = std::array<char, kTitleSlotSize>;  // Shift-JIS bytes, NUL-terminated
using GlyphRecord = std::array<char, kGlyphRecord>;  // no terminating NUL
using Ipv4 = std::array<std::uint8_t, 4>;            // most significant octet first

// The device settings block: what a settings document holds, what a read of the device
// fills in and what a document load replaces.
struct DeviceSettings {
    std::array<TitleSlot, kTitles> titles{};
    std::array<std::array<int, kPages>, kTitleLines> title_display{};
    std::array<std::array<int, kPages>, kTitleLines> switch_time{};
    std::array<int, kTitleLines> startup_page{};
    std::array<int, kTitleLines> current_page{};
    std::array<int, kTitleLines> position_offset{};
    int white_level = 1;
    int edge_level = 1;
};

struct Model : DeviceSettings {

    // --- device network values (shown and set over RS-232C only) ---
    Ipv4 ip_address{};
    Ipv4 gateway_address{};
    Ipv4 active_address{};
    int subnet_class = 2;
    std::array<char, 6> device_port_number{};
    std::array<char, 18> mac_address{};
    std::array<char, 5> version_number{};
    int keep_alive = 0;
    int time_register = 5;

    // --- configuration values (tqv7310nx.ini) ---
    int interface_kind = 0;  // 0 RS-232C, 1 TCP/IP
    int com_port_index = 0;  // 0..5 = COM1..COM6 (kComPorts)
    std::string com_device;  // device path overriding the COM port (USB adapters, ptys)
    std::array<char, 6> port_number{};  // program's own TCP port, five characters
    int tcp_role = 0;                   // 0 client, 1 server
    int selected_peer = 0;              // host index (client) or peer entry (server); -1 none
    int host_count = 0;
    std::array<Ipv4, kHostListSize> host_list{};
    // Bulk runs send each command once the answer to the one before is in, instead of at
    // the fixed pace (a broadcast on the serial line keeps the pace: nobody answers it).
    int fast_transfer = 0;
    // Server role: only devices whose address is in host_list may connect.
    int allow_listed_only = 0;

    // --- link state ---
    int slave_address_index = 0;  // 0..31, 32 = broadcast ("FF")
    int answer_pending = 0;
    int pending_ticks = 0;
    // Written only by the run under way (run.h): 0 when none, else its next step.
    int bulk_active = 0;
    int tcp_connected = 0;
    int running = 0;

    // --- document state ---
    std::string document_path;  // empty: no document yet
    int document_dirty = 0;

    // --- user-interface state shared by several dialogs ---
    int selected_title_line = 0;
    int selected_page = 0;

    // --- glyph state ---
    std::array<GlyphRecord, kGlyphSlots> glyph_data{};
    GlyphRecord glyph_answer{};
    int glyph_index = 0;
    int glyph_request_pending = 0;
    int glyph_bulk_active = 0;  // written only by a glyph run (run.h), as is glyph_index then

    // --- choices the dialogs remember between openings (untouched by reset) ---
    int same_display_choice = 0;
    int same_time_choice = 2;
    int insert_position = 0;
    int glyph_group = 0;

    // --- the glyph list file (reset empties it with the glyphs) ---
    int glyph_edited = 0;
    std::string glyph_list_path;
    // 1 while `glyph_data` holds changes not in a glyph list file: set by the editor, a
    // glyph read into a slot, and cleared by loading, saving or clearing the list. The
    // settings document has its own flag.
    int glyph_list_dirty = 0;
    // The same, slot by slot, so that a read from the device asks before it overwrites
    // unsaved glyphs and only then.
    std::array<std::uint8_t, kGlyphSlots> glyph_unsaved{};

    // TCP answer pieces collected until one ends in LF; emptied by reset.
    LineAssembler tcp_line;

    Model();

    // Back to the initial values of everything a new document starts from; configuration,
    // connection state and glyph selection are kept.
    void reset();
    // The configuration values as they are with no configuration file.
    void reset_configuration();
    // Slot `slot` holds a glyph that no glyph list file has (a slot outside the table:
    // nothing). mark_glyphs_saved(): `glyph_data` is what the list file holds, or blank.
    void mark_glyph_unsaved(int slot);
    void mark_glyphs_saved();

    static int title_slot(int line, int page) { return line * kPages + page; }
    TitleSlot& title(int line, int page) { return titles[title_slot(line, page)]; }
    const TitleSlot& title(int line, int page) const { return titles[title_slot(line, page)]; }
};

// The one question of every front end: is a run of this device's model under way? The run
// alone writes the flags, so they say exactly that.
inline bool run_under_way(const Model& m) { return m.bulk_active != 0 || m.glyph_bulk_active != 0; }

// Length of a NUL-terminated fixed slot, never beyond its size.
template <std::size_t N>
std::size_t slot_length(const std::array<char, N>& slot) {
    std::size_t n = 0;
    while (n < N && slot[n] != '\0') ++n;
    return n;
}
template <std::size_t N>
std::string slot_text(const std::array<char, N>& slot) {
    return std::string(slot.data(), slot_length(slot));
}
// Copies text into a slot, cut so that a NUL always fits.
template <std::size_t N>
void set_slot_text(std::array<char, N>& slot, std::string_view text) {
    slot.fill('\0');
    std::size_t n = text.size() < N - 1 ? text.size() : N - 1;
    for (std::size_t i = 0; i < n; ++i) slot[i] = text[i];
}

// Title-line names as the lists show them (the first really is "ch1. Top").
inline constexpr std::array<const char*, 4> kTitleLineNames = {"ch1. Top", "ch.1 Bottom",
                                                               "ch.2 Top", "ch.2 Bottom"};
// The same lines as group captions in the page dialogs.
inline constexpr std::array<const char*, 4> kTitleLineGroups = {"ch.1 Top", "ch.1 Bottom",
                                                                "ch.2 Top", "ch.2 Bottom"};

}  // namespace tqv
