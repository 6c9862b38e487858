// The show-control parsers: request heads, chunked bodies, route and WebSocket JSON, command
// fields and OSC datagrams. The first byte picks the parser; the rest is its input. Every
// limit that bounds a client's memory must hold for any input.
#include <cstddef>
#include <cstdint>
#include <string>

#include "control/control_parse.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    if (size == 0) return 0;
    const std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QByteArray bytes(in.data(), qsizetype(in.size()));
    const auto kind = ControlCommand::Kind((data[0] / 6) % 3);
    switch (data[0] % 6) {
        case 0: {
            const HeadParse p = parse_http_head(in);
            if (p.state == HeadParse::State::complete)
                fuzz::check(p.head.size <= in.size() && p.head.size <= kMaxHead,
                            "a head ends inside the input and within 16 KiB");
            if (in.size() < kMaxHead)
                fuzz::check(p.state != HeadParse::State::too_large, "short heads are never too large");
            break;
        }
        case 1: {
            const ChunkedParse c = parse_chunked(in, kMaxBody);
            fuzz::check(c.body.size() <= kMaxBody, "a chunked body stays within 4 KiB");
            if (c.state == ChunkedParse::State::complete)
                fuzz::check(c.size <= in.size(), "a chunked body ends inside the input");
            break;
        }
        case 2: {
            int messages = 0;
            (void)walk_osc(in, [&](std::string_view message) {
                ++messages;
                fuzz::check(message.data() >= in.data() &&
                                message.data() + message.size() <= in.data() + in.size(),
                            "OSC elements are views into the datagram");
                std::string error;
                const auto m = parse_osc_message(message, &error);
                fuzz::check(m.has_value() == error.empty(), "a message or a reason");
                if (m) fuzz::check(m->args.size() == m->types.size(), "one argument per type");
            });
            fuzz::check(std::size_t(messages) <= in.size() / 4 + 1, "no element out of nothing");
            break;
        }
        case 3: {
            const ParsedCommand p = parse_command_body(kind, bytes);
            fuzz::check(p.command.has_value() == p.error.empty(), "a command or a reason");
            if (p.command) {
                fuzz::check(p.command->line >= 0 && p.command->line < 4, "a line 1T..2B");
                fuzz::check(p.command->page >= 0 && p.command->page <= 64, "a page 1..64 or AUTO");
                fuzz::check(p.command->text.find('\0') == std::string::npos, "no NUL in a title");
            }
            break;
        }
        case 4: {
            // Either a command, or a cue op with its body, or a refusal with its reason.
            const WsRequest r = parse_ws_request(bytes);
            const bool cue = !r.cue_op.isEmpty();
            fuzz::check(r.status == 200 || r.status == 400, "200 or 400");
            fuzz::check((r.status == 200) == (r.parsed.command.has_value() || cue),
                        "200 only with a command or a cue op");
            fuzz::check(!(cue && r.parsed.command.has_value()), "never both");
            if (cue)
                fuzz::check(r.cue_op == "go" || r.cue_op == "back" || r.cue_op == "goto" ||
                                r.cue_op == "load",
                            "a known cue op");
            if (r.status == 400) fuzz::check(!r.parsed.error.empty(), "a refusal says why");
            break;
        }
        case 5: {
            // line, page and text separated by NULs, as OSC strings would carry them.
            const std::size_t a = in.find('\0');
            const std::size_t b = a == std::string_view::npos ? a : in.find('\0', a + 1);
            const std::string line(in.substr(0, a));
            const std::string page(a == std::string_view::npos ? "" : in.substr(a + 1, b - a - 1));
            const std::string text(b == std::string_view::npos ? "" : in.substr(b + 1));
            const ParsedCommand p = parse_control_command(kind, line, page, &text, true);
            if (p.command) fuzz::check(p.command->page >= 0 && p.command->page <= 64, "page range");
            (void)bearer_matches(line, page);
            break;
        }
    }
    return 0;
}
