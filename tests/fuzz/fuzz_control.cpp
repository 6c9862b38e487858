// The show-control parsers: the request framer (heads, chunked bodies), route and WebSocket
// JSON, command fields and OSC datagrams. The first byte picks the parser; the rest is its input. Every
// limit that bounds a client's memory must hold for any input.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "control/control_parse.h"
#include "control/request_framer.h"
#include "fuzz_support.h"

namespace {

// What the front would see of `in` added `piece` bytes at a time: each head, body and
// error, in order. A body is read for every head, within 4 KiB; a head whose path begins
// with "/r" and has no body is refused (dropped), as the gate does.
std::vector<std::string> frame(std::string_view in, std::size_t piece) {
    using tqv::RequestFramer;
    namespace fuzz = tqv::fuzz;
    RequestFramer framer;
    std::vector<std::string> seen;
    for (std::size_t at = 0; at < in.size(); at += piece) {
        framer.add(in.substr(at, piece));
        for (;;) {
            const RequestFramer::Step step = framer.next();
            if (step == RequestFramer::Step::more) {
                fuzz::check(framer.buffered() < tqv::kMaxHead, "held unframed: under 16 KiB");
                break;
            }
            if (step == RequestFramer::Step::error) {
                fuzz::check(framer.error_status() == 400 || framer.error_status() == 413 ||
                                framer.error_status() == 431,
                            "a framing error is 400, 413 or 431");
                seen.push_back("error");
                return seen;
            }
            if (step == RequestFramer::Step::head) {
                const tqv::HttpHead& h = framer.head();
                fuzz::check(h.size <= tqv::kMaxHead && h.size <= framer.buffered(),
                            "a head within 16 KiB and within what was added");
                fuzz::check(!h.http11 || h.host_given, "HTTP/1.1 only with a Host");
                fuzz::check(!(h.chunked && h.content_length > 0), "one way to find the body's end");
                seen.push_back(h.method + " " + h.path + "?" + h.query + " " + std::to_string(h.size));
                if (h.path.starts_with("/r") && !h.chunked && h.content_length == 0) {
                    framer.next_request();
                } else {
                    framer.read_body(tqv::kMaxBody);
                }
                continue;
            }
            const std::string body = framer.take_body();
            fuzz::check(body.size() <= tqv::kMaxBody, "a body within its limit");
            seen.push_back("body " + body);
        }
    }
    return seen;
}

// Framing does not depend on how the bytes were cut into reads, but for when and why bad
// bytes are refused: Beast looks into a head that came in pieces once its end is there,
// so a head broken before its end may be refused when the bytes came at once and still be
// waited for in pieces; and Beast 1.74 counts a chunk's size against the body's limit
// again each time it retries a chunk line whose extension is cut, so a malformed
// extension that comes in pieces may be refused as too large (413) before it is seen to
// be bad, or before its end is there.
void check_pieces(std::string_view in, std::size_t piece) {
    std::vector<std::string> whole = frame(in, in.size());
    std::vector<std::string> cut = frame(in, piece);
    for (auto* seen : {&whole, &cut})
        if (!seen->empty() && seen->back() == "error") seen->pop_back();
    tqv::fuzz::check(cut == whole, "the same requests in any pieces");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tqv;
    if (size == 0) return 0;
    const std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QByteArray bytes(in.data(), qsizetype(in.size()));
    const auto kind = ControlCommand::Kind((data[0] / 6) % 3);
    switch (data[0] % 6) {
        case 0:
            check_pieces(in, 1 + in.size() % 7);
            break;
        case 1:
            check_pieces("POST / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n" +
                             std::string(in),
                         1 + in.size() % 5);
            break;
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
