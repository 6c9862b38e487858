// The command line of tqv7310nx-cli: which link, which device address, how fast, and the
// one command to run. Parsing only; nothing here touches a device or a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tqv::cli {

enum class LinkKind { none, serial, tcp, listen };

enum class Command {
    send,
    page,
    startup,
    title,
    push,
    pull,
    glyphs_push,
    glyphs_pull,
    network_show,
    serve,
    show,
    diff,
    cue,
    preview,
};

struct Options {
    LinkKind link = LinkKind::none;
    std::string serial_path;      // --serial
    std::string host;             // --tcp HOST:PORT
    std::uint16_t port = 0;       // --tcp port, or the --listen port (0: any free port)
    int devices = 1;              // --listen: how many devices to wait for
    std::string bind_address;     // --listen: the address to listen on (empty: every one)
    std::vector<std::string> allowed;  // --listen: the only peers accepted (empty: any)
    int slave_address_index = 0;  // 0..31, 32 = broadcast ("FF")
    bool fast = false;
    bool quiet = false;
    bool stats = false;     // byte counts and time on stderr at the end
    int wait_seconds = 30;  // longest wait for a connection to be made

    Command command = Command::show;
    std::string body;        // send: without CR LF
    int line = 0;            // page, startup, title: title line 0..3
    int page = 0;            // 0..63, or 64 (AUTO) for page and startup
    std::string text;        // title: UTF-8
    bool no_memory = false;  // title: "CN" instead of "CT"
    std::string file;        // push, pull, glyphs, show, diff
    bool changed_only = false;  // push: read first, send only what differs
    int http_port = -1;      // serve: -1 off, 0 any free port
    int osc_port = -1;
    int rosstalk_port = -1;  // serve: a vision mixer's GO and GPI for the cue list
    std::string cues;        // serve: the cue file loaded at the start
    int cue_number = 0;      // cue: the cue fired, from 1
    std::string bind = "127.0.0.1";  // serve: the address of the HTTP and OSC ports
    std::string token;       // serve: the bearer token every HTTP request must carry
    std::string token_file;  // serve: the token's file (its first line), kept out of `ps`
    std::vector<std::string> allow_hosts;    // serve: Host names besides addresses and localhost
    std::vector<std::string> allow_origins;  // serve: web origins besides the server's own
    std::string allow_clients;  // serve: the only client addresses served (comma-separated)
    bool reconnect_check = false;  // serve --tcp: read the device after a reconnect, report differences
    int preview_page = -1;   // preview: every line on this page 0..63; -1: the current pages
    std::string glyph_file;  // preview: the glyph list the custom glyphs are drawn from
    std::string png;         // preview: the picture written
};

struct ParseResult {
    enum class Kind { run, help, usage_error };
    Kind kind = Kind::usage_error;
    Options options;
    std::string error;  // for usage_error
};

ParseResult parse_arguments(const std::vector<std::string>& args);

// serve's token: --token, else the first line of --token-file (blanks around it trimmed),
// else `environment` (TQV_TOKEN's value, null when unset); empty: none. False with `error`
// when the file cannot be read or its first line is empty.
bool serve_token(const Options& options, const char* environment, std::string* token,
                 std::string* error);

// The usage text shown with --help and after every usage error.
extern const char* const kUsage;

// The file a device's result goes to when several devices are read in one run: "a.dat" for
// device 2 gives "a-2.dat". With one device the name is used as given.
std::string file_for_device(const std::string& file, int device_number, int device_count);

// "00".."31" to 0..31, "FF" to 32; -1 otherwise.
int parse_slave_address(std::string_view text);

}  // namespace tqv::cli
