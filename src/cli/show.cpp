#include "cli/show.h"

#include <cstdio>

#include "core/codec.h"
#include "core/commands.h"

namespace tqv::cli {

namespace {

std::string page_text(int value) {
    if (value >= kAutoPage) return "AUTO";
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", value + 1);
    return buf;
}

std::string number(int value) { return std::to_string(value); }

}  // namespace

std::string document_text(const Model& m) {
    std::string out;
    out += "white level     " + number(m.white_level) + "\n";
    out += "edge level      " + number(m.edge_level) + "\n";
    for (int line = 0; line < kTitleLines; ++line) {
        out += "\n";
        out += kTitleLineGroups[static_cast<std::size_t>(line)];
        out += "\n";
        out += "current page    " + page_text(m.current_page[line]) + "\n";
        out += "start-up page   " + page_text(m.startup_page[line]) + "\n";
        out += "position        " + number(m.position_offset[line]) + "\n";
        out += "page  display  time  title\n";
        for (int page = 0; page < kPages; ++page) {
            char head[48];
            std::snprintf(head, sizeof head, "%-4s  %-7s  %4d  ", page_text(page).c_str(),
                          m.title_display[line][page] != 0 ? "on" : "off",
                          m.switch_time[line][page]);
            std::string row = head;
            row += cp932_to_utf8(slot_text(m.title(line, page)));
            // No trailing blanks for an empty title.
            while (!row.empty() && row.back() == ' ') row.pop_back();
            out += row + "\n";
        }
    }
    return out;
}

std::string network_text(const Model& m) {
    static const char* const kSubnet[] = {"Class A", "Class B", "Class C"};
    const std::string subnet = m.subnet_class >= 0 && m.subnet_class <= 2 ? kSubnet[m.subnet_class]
                                                                          : number(m.subnet_class);
    std::string out;
    out += "Active Address   " + address_text(m.active_address) + "\n";
    out += "Gateway Address  " + address_text(m.gateway_address) + "\n";
    out += "IP Address       " + address_text(m.ip_address) + "\n";
    out += "MAC Address      " + slot_text(m.mac_address) + "\n";
    out += "Port Number      " + slot_text(m.device_port_number) + "\n";
    out += "Subnet Mask      " + subnet + "\n";
    out += "Keep Alive       " + std::string(m.keep_alive != 0 ? "ON" : "OFF") + "\n";
    out += "Time Register    " + number(m.time_register + 1) + "\n";
    out += "Version Number   " + slot_text(m.version_number) + "\n";
    return out;
}

}  // namespace tqv::cli
