// RossTalk lines: whatever bytes a client sends, in whatever pieces, no line beyond 4 KiB
// comes out, and a command means the same in any case and with blanks around it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/rosstalk.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    RossTalkLines lines;
    // The first byte chooses the piece length, so that lines are split at every place.
    const std::size_t piece = size == 0 ? 1 : 1 + data[0] % 64;
    for (std::size_t at = 0; at < size; at += piece) {
        for (const std::string& line : lines.feed(bytes.substr(at, piece)).lines) {
            fuzz::check(line.size() < kRossTalkMaxLine, "no overlong line comes out");
            const RossTalkCommand command = parse_rosstalk(line);
            fuzz::check(command.kind != RossTalkCommand::Kind::fire || command.cue >= 1,
                        "cues are numbered from 1");
            std::string lower = " \t" + line + " \r\n";
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            fuzz::check(parse_rosstalk(lower) == command, "case and blanks do not matter");
            fuzz::check(command.kind == RossTalkCommand::Kind::unknown || !looks_like_http(line),
                        "no command is taken for HTTP");
        }
    }
    return 0;
}
