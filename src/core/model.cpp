#include "model.h"

#include <cstring>

namespace tqv {

Model::Model() {
    reset();
    reset_configuration();
    glyph_answer.fill('0');
}

void Model::reset() {
    for (auto& slot : titles) slot.fill('\0');
    for (auto& line : title_display) line.fill(1);
    for (auto& line : switch_time) line.fill(2);
    startup_page.fill(0);
    current_page.fill(0);
    position_offset.fill(7);
    white_level = 1;
    edge_level = 1;

    ip_address.fill(0);
    gateway_address.fill(0);
    active_address.fill(0);
    subnet_class = 2;
    set_slot_text(device_port_number, "09004");
    set_slot_text(mac_address, "00-00-00-00-00-00");
    set_slot_text(version_number, "0.00");
    keep_alive = 0;
    time_register = 5;

    document_path.clear();
    document_dirty = 0;

    slave_address_index = 0;
    answer_pending = 0;
    pending_ticks = 0;
    bulk_active = 0;
    selected_page = 0;

    // The glyphs start blank, in no file: saving them must not overwrite the file they came
    // from.
    for (auto& g : glyph_data) g.fill('0');
    mark_glyphs_saved();
    glyph_list_path.clear();
    glyph_edited = 0;
    glyph_answer.fill('0');
    tcp_line.clear();
}

void Model::reset_configuration() {
    interface_kind = 0;
    fast_transfer = 0;
    allow_listed_only = 0;
    com_port_index = 0;
    com_device.clear();
    set_slot_text(port_number, "09004");
    tcp_role = 0;
    selected_peer = 0;
    host_count = 0;
    for (auto& h : host_list) h.fill(0);
}

void Model::mark_glyph_unsaved(int slot) {
    if (slot < 0 || slot >= kGlyphSlots) return;
    glyph_unsaved[static_cast<std::size_t>(slot)] = 1;
    glyph_list_dirty = 1;
}

void Model::mark_glyphs_saved() {
    glyph_unsaved.fill(0);
    glyph_list_dirty = 0;
}

}  // namespace tqv
