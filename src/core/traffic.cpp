#include "traffic.h"

#include <cstdio>
#include <ctime>

#include "platform.h"

namespace tqv {

std::string visible_bytes(std::string_view bytes) {
    static const char* const names[32] = {
        "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS", "HT", "LF",
        "VT",  "FF",  "CR",  "SO",  "SI",  "10",  "XON", "12",  "XOFF", "14", "NAK",
        "SYN", "ETB", "CAN", "EM",  "1A",  "ESC", "1C",  "1D",  "1E",  "1F"};
    std::string out;
    out.reserve(bytes.size() + 8);
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20) {
            out += '<';
            out += names[u];
            out += '>';
        } else if (u == 0x7F) {
            out += "<DEL>";
        } else {
            out += c;
        }
    }
    return out;
}

std::string format_traffic_line(const TrafficLine& line) {
    const std::time_t seconds = static_cast<std::time_t>(line.time_ms / 1000);
    const std::tm local = platform::local_time(seconds);
    char stamp[40];
    const std::size_t n = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(stamp + n, sizeof stamp - n, ".%03d", int(line.time_ms % 1000));
    std::string out = stamp;
    out += line.event ? " -- " : line.sent ? " TX " : " RX ";
    out += line.peer;
    out += ' ';
    out += visible_bytes(line.bytes);
    return out;
}

}  // namespace tqv
