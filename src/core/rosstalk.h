// RossTalk, the text protocol vision mixers use to fire events on other machines: one
// command per line over TCP. Only the commands a cue list needs are understood: "GO" fires
// the next cue, "GPI n" and "CC 1:n" fire cue n; each may end with the devices it is for. Anything else is unknown, to be logged and
// ignored without closing the connection.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "line_assembler.h"

namespace tqv {

// Longest command line taken, its line end included; longer lines are dropped whole.
inline constexpr std::size_t kRossTalkMaxLine = 4096;

struct RossTalkCommand {
    enum class Kind { go, fire, unknown };
    Kind kind = Kind::unknown;
    int cue = 0;  // fire: 1-based cue number as sent (the list may have fewer)
    // The devices named after it ("GO 2", "GPI 3 1,2", "CC 1:4 all"), as sent; empty: the
    // default target.
    std::string device;
    bool operator==(const RossTalkCommand&) const = default;
};

// One line, with or without its line end; surrounding blanks ignored, letters in either
// case, one or more blanks between a command and its number ("gpi  3", "cc 1:12"), and
// optionally the devices after them.
RossTalkCommand parse_rosstalk(std::string_view line);

// A line a browser sends, not a mixer: a request line ("POST / HTTP/1.1", "GET /x",
// "OPTIONS * HTTP/1.1") or a header line ("Host: x"). No command has either shape, so a web
// page that makes a browser send HTTP to the RossTalk port can be told apart.
bool looks_like_http(std::string_view line);

// Splits one connection's bytes into lines (LF or CR LF ended) of at most kRossTalkMaxLine
// bytes, so that a client that never sends a line end cannot grow a buffer without bound.
class RossTalkLines {
public:
    struct Fed {
        std::vector<std::string> lines;  // without their line ends
        std::size_t dropped = 0;         // overlong lines given up in this piece
    };
    Fed feed(std::string_view bytes);

private:
    LineAssembler lines_{kRossTalkMaxLine + 1};
};

}  // namespace tqv
