// The traffic log's lines: every frame sent and every line received, with a millisecond
// timestamp, the direction, the peer and the text with its control bytes made visible. The
// window and the --log file show the same lines; the window keeps the last kCapacity.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace tqv {

struct TrafficLine {
    std::int64_t time_ms = 0;  // milliseconds since the epoch
    bool sent = false;         // true: frame to the device; false: line from it
    std::string peer;          // "/dev/ttyUSB0", "192.168.1.3:9004"
    std::string bytes;         // as on the wire (Shift-JIS, CR LF included)
    // A link event instead of bytes (a time-out, a lost or regained link): `bytes` holds
    // its text, Shift-JIS as well, and the line shows "--" for the direction.
    bool event = false;
};

// Control bytes as "<CR>", "<LF>", "<STX>"..., other bytes below 0x20 and 0x7F as "<1A>";
// everything else (ASCII and Shift-JIS) as it stands.
std::string visible_bytes(std::string_view bytes);
// "2026-12-08 00:15:03.123 TX /dev/ttyUSB0 01RCEL<CR><LF>", local time; the text still
// holds the wire's Shift-JIS bytes. An event: "2026-12-08 00:15:04.123 -- /dev/ttyUSB0
// 切断されました".
std::string format_traffic_line(const TrafficLine& line);

// The last kCapacity lines, oldest first.
class TrafficRing {
public:
    static constexpr std::size_t kCapacity = 10000;
    void add(TrafficLine line) {
        if (lines_.size() == kCapacity) lines_.pop_front();
        lines_.push_back(std::move(line));
    }
    void clear() { lines_.clear(); }
    const std::deque<TrafficLine>& lines() const { return lines_; }

private:
    std::deque<TrafficLine> lines_;
};

}  // namespace tqv
