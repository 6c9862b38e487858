#include "cli/options.h"

#include <cctype>
#include <charconv>
#include <fstream>
#include <optional>

#include "core/cues.h"
#include "core/send_path.h"
#include "core/texts.h"
#include "core/vocabulary.h"

namespace tqv::cli {

const char* const kUsage =
    "usage: tqv7310nx-cli LINK [--address NN|FF] [--fast] [--quiet] [--stats] [--wait S]\n"
    "                     COMMAND [ARGS]\n"
    "       tqv7310nx-cli show FILE.dat\n"
    "       tqv7310nx-cli preview FILE.dat [--page N] [--glyphs FILE.tll] --png OUT.png\n"
    "\n"
    "LINK, one of:\n"
    "  --serial PATH                RS-232C on PATH, 9600 baud, 8 data bits, even parity,\n"
    "                               1 stop bit\n"
    "  --tcp HOST:PORT              client role: connect to one device\n"
    "  --listen PORT [--devices N]  server role: wait until N devices (default 1) have\n"
    "                               connected, then run COMMAND on all of them at once, each\n"
    "                               at its own pace; PORT 0 takes a free port;\n"
    "                               \"listening <port>\" is written to stderr once the port\n"
    "                               is open\n"
    "\n"
    "COMMAND:\n"
    "  send BODY                    one command body (CR LF added); prints the answer text\n"
    "                               without its slave address\n"
    "  page LINE PAGE               switch the displayed page; LINE is 1T, 1B, 2T or 2B,\n"
    "                               PAGE is 1..64 or AUTO\n"
    "  startup LINE PAGE            set the start-up page\n"
    "  title LINE PAGE TEXT [--no-memory]\n"
    "                               set one title (PAGE 1..64); TEXT in UTF-8 is sent as\n"
    "                               JIS codes, half-width letters, digits, symbols and\n"
    "                               katakana in full width; at most 14 characters;\n"
    "                               --no-memory: shown but not stored\n"
    "  push FILE.dat [--changed-only]\n"
    "                               set all items from a settings document (280 steps);\n"
    "                               --changed-only: read the device first and send only\n"
    "                               the items that differ\n"
    "  pull FILE.dat                read all settings (285 steps) into a settings document\n"
    "  glyphs push FILE.tll         register glyph numbers 01..28 from a glyph list file\n"
    "  glyphs pull FILE.tll         read glyph numbers 01..28 into a glyph list file\n"
    "  network show                 serial link only: the device's nine network values\n"
    "  cue FILE.csv --go N          fire cue N (from 1) of a cue file once: one line per\n"
    "                               step (\"N/TOTAL STEP: done\", \"failed\", \"not sent\");\n"
    "                               exit status 1 when a step failed\n"
    "  serve [--http PORT] [--osc PORT] [--rosstalk PORT] [--cues FILE.csv]\n"
    "        [--bind ADDR] [--token TOKEN | --token-file FILE] [--allow-clients ADDR,...]\n"
    "        [--allow-host NAME,...] [--allow-origin ORIGIN,...] [--reconnect-check]\n"
    "                               keep the link open and switch pages, start-up pages and\n"
    "                               titles for HTTP and OSC requests until SIGINT or SIGTERM;\n"
    "                               --cues loads a cue list, fired by the cue routes and by\n"
    "                               RossTalk on --rosstalk (GO, GPI n, CC 1:n, one a line);\n"
    "                               PORT 0 takes a free port; \"http <port>\",\n"
    "                               \"osc <port>\" and \"rosstalk <port>\" are written to\n"
    "                               stderr once listening;\n"
    "                               ADDR defaults to 127.0.0.1; with TOKEN every HTTP\n"
    "                               request needs \"Authorization: Bearer TOKEN\" (OSC,\n"
    "                               which cannot carry it, then stays on 127.0.0.1);\n"
    "                               --token-file: the token is the file's first line;\n"
    "                               without either, the environment variable TQV_TOKEN\n"
    "                               (--token wins over --token-file, which wins over\n"
    "                               TQV_TOKEN); a request whose Host is not an IP address,\n"
    "                               localhost or a NAME of --allow-host is refused (421);\n"
    "                               one whose Origin is not the server's own or an ORIGIN\n"
    "                               of --allow-origin (http://host:port) is refused (403);\n"
    "                               --allow-clients: only these client addresses may use\n"
    "                               HTTP, the WebSocket and OSC (others: 403, OSC dropped);\n"
    "                               a request's \"device\" (a number, a list or \"all\")\n"
    "                               names the devices of --listen, numbered as they first\n"
    "                               connected and kept by address; with --tcp a lost\n"
    "                               connection is tried again by itself (1 s, doubling to\n"
    "                               30 s); --reconnect-check: then first read the device\n"
    "                               and report what differs from the document\n"
    "  show FILE.dat                print a settings document in readable form (no link)\n"
    "  preview FILE.dat [--page N] [--glyphs FILE.tll] --png OUT.png\n"
    "                               draw both channels as the device superimposes them\n"
    "                               into a PNG picture (no link, no display needed): ch.1\n"
    "                               above ch.2, each a caption over a 640 x 360 frame;\n"
    "                               every line on page N (1..64), else on the document's\n"
    "                               current pages; custom glyphs from FILE.tll (without\n"
    "                               it, empty boxes); the picture shows layout and content,\n"
    "                               not the device's own font\n"
    "  diff FILE.dat                read all settings and print the items that differ from\n"
    "                               the document, one a line (item, document, device);\n"
    "                               exit status 0 when none differ, 1 when some do\n"
    "\n"
    "options:\n"
    "  --address NN|FF              slave address 00..31, or FF for all devices (default 00)\n"
    "  --fast                       send each command as soon as the one before is answered\n"
    "                               (a broadcast on the serial link keeps the normal pace)\n"
    "  --quiet                      no progress bar, no success or confirmation texts\n"
    "  --stats                      write bytes sent and received and the time to stderr\n"
    "  --bind ADDR                  the address to listen on: serve's HTTP and OSC ports\n"
    "                               (default 127.0.0.1), else the --listen port (default:\n"
    "                               every address)\n"
    "  --allow ADDR[,ADDR...]       --listen: accept devices from these addresses only;\n"
    "                               any other is closed at once (::1 and 127.0.0.1 are\n"
    "                               one host); \"--bind ::\" takes IPv4 and IPv6 devices;\n"
    "                               a device beyond --devices is closed with a line\n"
    "  --wait S                     give up when no connection is made within S seconds\n"
    "                               (default 30)\n"
    "\n"
    "With several devices, pull and glyphs pull write one file per device (a.dat becomes\n"
    "a-1.dat, a-2.dat, ...), and send prints each answer after the device number and a tab.\n"
    "In the server role every device ends with one line on stderr: \"device N ADDRESS ok\"\n"
    "or \"device N ADDRESS failed\"; the failed ones are named again at the end.\n"
    "\n"
    "exit status: 0 when every command went out and no error answer, time-out or refusal\n"
    "happened; 1 otherwise; 2 for a usage error.\n";

namespace {

std::optional<long> number(std::string_view text, long lo, long hi) {
    if (text.empty()) return std::nullopt;
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < lo || value > hi)
        return std::nullopt;
    return value;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// "a,b,c" appended to `out`; false when the list or one of its items is empty.
bool comma_list(const std::string& text, std::vector<std::string>& out) {
    if (text.empty()) return false;
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = text.find(',', begin);
        if (end == std::string::npos) end = text.size();
        if (end == begin) return false;
        out.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return true;
}

ParseResult usage_error(std::string message) {
    ParseResult r;
    r.kind = ParseResult::Kind::usage_error;
    r.error = std::move(message);
    return r;
}

}  // namespace

int parse_slave_address(std::string_view text) {
    if (equals_ignoring_case(text, "FF")) return 32;
    if (text.size() != 2) return -1;
    const auto value = number(text, 0, 31);
    return value ? static_cast<int>(*value) : -1;
}

std::string file_for_device(const std::string& file, int device_number, int device_count) {
    if (device_count <= 1) return file;
    const std::size_t slash = file.rfind('/');
    const std::size_t dot = file.rfind('.');
    // Built by appending: GCC 12 warns falsely (-Wrestrict) about "-" + std::string.
    std::string tag(1, '-');
    tag += std::to_string(device_number);
    // A dot that starts the name ("dir/.dat") is not an extension.
    const std::size_t name_start = slash == std::string::npos ? 0 : slash + 1;
    if (dot == std::string::npos || dot <= name_start) return file + tag;
    return file.substr(0, dot) + tag + file.substr(dot);
}

ParseResult parse_arguments(const std::vector<std::string>& args) {
    Options o;
    std::vector<std::string> words;
    bool devices_given = false;
    bool bind_given = false;
    bool no_memory_given = false;
    bool serve_given = false;
    bool preview_given = false;
    bool options_done = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options_done || arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_done = true;
            continue;
        }
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        auto set_link = [&](LinkKind kind) {
            if (o.link != LinkKind::none) return false;
            o.link = kind;
            return true;
        };
        if (arg == "--help") {
            ParseResult r;
            r.kind = ParseResult::Kind::help;
            return r;
        } else if (arg == "--serial") {
            const auto v = value();
            if (!v || v->empty()) return usage_error("--serial needs a device path");
            if (!set_link(LinkKind::serial)) return usage_error("give only one LINK");
            o.serial_path = *v;
        } else if (arg == "--tcp") {
            const auto v = value();
            if (!v) return usage_error("--tcp needs HOST:PORT");
            const std::size_t colon = v->rfind(':');
            const auto port = colon == std::string::npos
                                  ? std::nullopt
                                  : number(std::string_view(*v).substr(colon + 1), 1, 65535);
            if (!port || colon == 0) return usage_error("--tcp needs HOST:PORT");
            if (!set_link(LinkKind::tcp)) return usage_error("give only one LINK");
            o.host = v->substr(0, colon);
            o.port = static_cast<std::uint16_t>(*port);
        } else if (arg == "--listen") {
            const auto v = value();
            const auto port = v ? number(*v, 0, 65535) : std::nullopt;
            if (!port) return usage_error("--listen needs a port 0..65535");
            if (!set_link(LinkKind::listen)) return usage_error("give only one LINK");
            o.port = static_cast<std::uint16_t>(*port);
        } else if (arg == "--devices") {
            const auto v = value();
            const auto n = v ? number(*v, 1, 96) : std::nullopt;
            if (!n) return usage_error("--devices needs a number 1..96");
            o.devices = static_cast<int>(*n);
            devices_given = true;
        } else if (arg == "--bind") {
            const auto v = value();
            if (!v || v->empty()) return usage_error("--bind needs an address");
            o.bind_address = *v;
            bind_given = true;
        } else if (arg == "--allow") {
            const auto v = value();
            if (!v || !comma_list(*v, o.allowed)) return usage_error("--allow needs addresses");
        } else if (arg == "--address") {
            const auto v = value();
            const int index = v ? parse_slave_address(*v) : -1;
            if (index < 0) return usage_error("--address needs 00..31 or FF");
            o.slave_address_index = index;
        } else if (arg == "--wait") {
            const auto v = value();
            const auto s = v ? number(*v, 1, 86400) : std::nullopt;
            if (!s) return usage_error("--wait needs seconds 1..86400");
            o.wait_seconds = static_cast<int>(*s);
        } else if (arg == "--fast") {
            o.fast = true;
        } else if (arg == "--quiet") {
            o.quiet = true;
        } else if (arg == "--stats") {
            o.stats = true;
        } else if (arg == "--http" || arg == "--osc" || arg == "--rosstalk") {
            const auto v = value();
            const auto port = v ? number(*v, 0, 65535) : std::nullopt;
            if (!port) return usage_error(arg + " needs a port 0..65535");
            (arg == "--http" ? o.http_port : arg == "--osc" ? o.osc_port : o.rosstalk_port) =
                static_cast<int>(*port);
            serve_given = true;
        } else if (arg == "--cues") {
            const auto v = value();
            if (!v || v->empty()) return usage_error("--cues needs FILE.csv");
            o.cues = *v;
            serve_given = true;
        } else if (arg == "--go") {
            const auto v = value();
            const auto n = v ? number(*v, 1, kCueMaxRows) : std::nullopt;
            if (!n) return usage_error("--go needs a cue number from 1");
            o.cue_number = static_cast<int>(*n);
        } else if (arg == "--token" || arg == "--allow-clients" || arg == "--token-file") {
            const auto v = value();
            if (!v || v->empty()) return usage_error(arg + " needs a value");
            (arg == "--token" ? o.token : arg == "--token-file" ? o.token_file : o.allow_clients) = *v;
            serve_given = true;
        } else if (arg == "--allow-host" || arg == "--allow-origin") {
            const auto v = value();
            if (!v || !comma_list(*v, arg == "--allow-host" ? o.allow_hosts : o.allow_origins))
                return usage_error(arg + " needs a value");
            serve_given = true;
        } else if (arg == "--reconnect-check") {
            o.reconnect_check = true;
            serve_given = true;
        } else if (arg == "--page") {
            const auto v = value();
            const int page = v ? parse_page_label(*v, false).value_or(-1) : -1;
            if (page < 0) return usage_error("--page needs a page 1..64");
            o.preview_page = page;
            preview_given = true;
        } else if (arg == "--glyphs" || arg == "--png") {
            const auto v = value();
            if (!v || v->empty()) return usage_error(arg + " needs a file name");
            (arg == "--glyphs" ? o.glyph_file : o.png) = *v;
            preview_given = true;
        } else if (arg == "--no-memory") {
            no_memory_given = true;
        } else if (arg == "--changed-only") {
            o.changed_only = true;
        } else {
            return usage_error("unknown option " + arg);
        }
    }

    if (words.empty()) return usage_error("no COMMAND given");
    const std::string& name = words[0];
    auto expect = [&](std::size_t count) { return words.size() == count; };

    if (name == "send") {
        if (!expect(2)) return usage_error("send needs one BODY");
        o.command = Command::send;
        o.body = words[1];
        if (o.body.find_first_of("\r\n") != std::string::npos)
            return usage_error("BODY must not hold a line end");
        // The body with its CR LF must fit the send path's frame.
        if (o.body.size() + 2 > SendPath::kMaxBody)
            return usage_error("BODY is longer than " + std::to_string(SendPath::kMaxBody - 2) +
                               " bytes");
    } else if (name == "page" || name == "startup" || name == "title") {
        const bool title = name == "title";
        if (!expect(title ? 4 : 3))
            return usage_error(title ? "title needs LINE, PAGE and TEXT" : name + " needs LINE and PAGE");
        o.command = title ? Command::title : name == "page" ? Command::page : Command::startup;
        std::string error;
        const auto line = parse_line_label(words[1], &error);
        const auto page = line ? parse_page_label(words[2], !title, &error) : std::nullopt;
        if (!page) return usage_error(error);
        o.line = *line;
        o.page = *page;
        if (title) o.text = words[3];
        o.no_memory = no_memory_given;
    } else if (name == "push" || name == "pull") {
        if (!expect(2)) return usage_error(name + " needs FILE.dat");
        o.command = name == "push" ? Command::push : Command::pull;
        o.file = words[1];
    } else if (name == "glyphs") {
        if (words.size() != 3 || (words[1] != "push" && words[1] != "pull"))
            return usage_error("glyphs needs push FILE.tll or pull FILE.tll");
        o.command = words[1] == "push" ? Command::glyphs_push : Command::glyphs_pull;
        o.file = words[2];
    } else if (name == "network") {
        if (words.size() != 2 || words[1] != "show") return usage_error("network needs show");
        o.command = Command::network_show;
    } else if (name == "diff") {
        if (!expect(2)) return usage_error("diff needs FILE.dat");
        o.command = Command::diff;
        o.file = words[1];
    } else if (name == "cue") {
        if (!expect(2)) return usage_error("cue needs FILE.csv");
        if (o.cue_number == 0) return usage_error("cue needs --go N");
        o.command = Command::cue;
        o.file = words[1];
    } else if (name == "serve") {
        if (!expect(1)) return usage_error("serve takes no arguments");
        if (o.http_port < 0 && o.osc_port < 0 && o.rosstalk_port < 0)
            return usage_error("serve needs --http, --osc or --rosstalk");
        o.command = Command::serve;
    } else if (name == "show") {
        if (!expect(2)) return usage_error("show needs FILE.dat");
        o.command = Command::show;
        o.file = words[1];
    } else if (name == "preview") {
        if (!expect(2)) return usage_error("preview needs FILE.dat");
        if (o.png.empty()) return usage_error("preview needs --png OUT.png");
        o.command = Command::preview;
        o.file = words[1];
    } else {
        return usage_error("unknown COMMAND " + name);
    }

    if (o.file.empty() && (o.command == Command::push || o.command == Command::pull ||
                           o.command == Command::glyphs_push || o.command == Command::glyphs_pull ||
                           o.command == Command::show || o.command == Command::diff ||
                           o.command == Command::cue || o.command == Command::preview))
        return usage_error("the file name is empty");
    if (no_memory_given && o.command != Command::title)
        return usage_error("--no-memory belongs to title");
    if (o.changed_only && o.command != Command::push)
        return usage_error("--changed-only belongs to push");
    if (serve_given && o.command != Command::serve)
        return usage_error("--http, --osc, --rosstalk, --cues, --token, --token-file, --allow-clients, "
                           "--allow-host, --allow-origin and --reconnect-check belong to serve");
    if (preview_given && o.command != Command::preview)
        return usage_error("--page, --glyphs and --png belong to preview");
    if (o.cue_number != 0 && o.command != Command::cue) return usage_error("--go belongs to cue");
    if (o.reconnect_check && o.link != LinkKind::tcp)
        return usage_error("--reconnect-check belongs to --tcp");
    if (devices_given && o.link != LinkKind::listen)
        return usage_error("--devices belongs to --listen");
    if (!o.allowed.empty() && o.link != LinkKind::listen)
        return usage_error("--allow belongs to --listen");
    if (bind_given) {
        // One address to listen on: serve's HTTP and OSC ports, else the server role's port.
        if (o.command == Command::serve) {
            o.bind = o.bind_address;
            o.bind_address.clear();
        } else if (o.link != LinkKind::listen) {
            return usage_error("--bind belongs to --listen or serve");
        }
    }
    if (o.command == Command::preview && o.link != LinkKind::none)
        return usage_error("preview takes no LINK");
    if (o.command != Command::show && o.command != Command::preview && o.link == LinkKind::none)
        return usage_error("give a LINK: --serial, --tcp or --listen");
    // The device network values travel on the serial line only.
    if (o.command == Command::network_show && o.link != LinkKind::serial)
        return usage_error(text::kUseRs232c);

    ParseResult r;
    r.kind = ParseResult::Kind::run;
    r.options = std::move(o);
    return r;
}

bool serve_token(const Options& options, const char* environment, std::string* token,
                 std::string* error) {
    if (!options.token.empty()) {
        *token = options.token;
        return true;
    }
    if (!options.token_file.empty()) {
        std::ifstream file(options.token_file);
        std::string line;
        if (!file || !std::getline(file, line)) {
            *error = options.token_file + ": cannot read the token";
            return false;
        }
        const std::size_t begin = line.find_first_not_of(" \t\r");
        const std::size_t end = line.find_last_not_of(" \t\r");
        if (begin == std::string::npos) {
            *error = options.token_file + ": the first line is empty";
            return false;
        }
        *token = line.substr(begin, end - begin + 1);
        return true;
    }
    *token = environment != nullptr ? environment : "";
    return true;
}

}  // namespace tqv::cli
