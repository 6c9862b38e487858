// What show control reads from the network, checked before anything is sent or buffered:
// the JSON bodies of the routes, WebSocket requests and OSC datagrams (HTTP framing is
// request_framer.h's). Nothing here touches a socket or the device, so the fuzz harness feeds
// it directly; every limit that bounds memory per client lives here.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/vocabulary.h"

namespace tqv {

inline constexpr std::size_t kMaxHead = 16 * 1024;  // request line and headers
inline constexpr std::size_t kMaxBody = 4 * 1024;   // a body, or a WebSocket message
// The one route that takes more: a whole cue file in POST /api/cue/load.
inline constexpr std::size_t kMaxCueLoadBody = 256 * 1024;
inline constexpr int kMaxOscDepth = 8;              // bundles inside bundles

// What one request asks for, checked and converted: the core's one vocabulary.
using ControlCommand = Operation;
// Which devices a request is meant for: its "device", an index, a list of indexes or "all";
// without one, the default target.
struct DeviceChoice {
    bool given = false;
    bool all = false;
    std::vector<int> indexes;  // 1..96, each once, in the order given
    bool list = false;  // given as a list (even of one)
    // The answer holds one result per device ("all", or a list).
    bool many() const { return all || list; }
};
inline constexpr int kMaxDeviceIndex = 96;
// From a JSON value: a number, an array of numbers, "all", or text of indexes separated by
// commas ("1,3", as OSC carries it). nullopt with `error` when it is none of these.
std::optional<DeviceChoice> parse_device_choice(const QJsonValue& value, std::string* error);

struct ParsedCommand {
    std::optional<ControlCommand> command;
    std::string error;  // why it cannot be sent (a 400)
    DeviceChoice device;
};
// `page`: a number 1..64 or "AUTO" (either case; not for a title). `text` in UTF-8, turned
// to full width; the errors are the vocabulary's, in English.
ParsedCommand parse_control_command(ControlCommand::Kind kind, const std::string& line,
                                    const std::string& page, const std::string* text, bool memory);
// A route's JSON body: {"line":…,"page":…[,"text":…,"memory":…]}.
ParsedCommand parse_command_json(ControlCommand::Kind kind, const QJsonObject& body);
// The same from the bytes of a body (bad JSON and non-objects included).
ParsedCommand parse_command_body(ControlCommand::Kind kind, const QByteArray& body);

// {"op":"page"|"startup"|"title"|"cue/go"|"cue/back"|"cue/goto"|"cue/load","id":…,…the
// route's body}.
struct WsRequest {
    QJsonValue id;  // echoed in the result, whatever it is
    ParsedCommand parsed;
    int status = 200;  // 400 when the message or its op is not understood
    QString cue_op;    // "go", "back", "goto", "load" for the ops "cue/…"; then `body` holds it
    QJsonObject body;
};
WsRequest parse_ws_request(const QByteArray& message);

// One HTTP request's head, as the front's framer read it (request_framer.h).
struct HttpHead {
    std::string method;
    std::string path;   // without the query
    std::string query;  // after the '?', as sent
    std::uint64_t content_length = 0;
    bool chunked = false;
    bool keep_alive = true;
    bool expect_continue = false;
    bool websocket = false;  // asks for the WebSocket upgrade
    std::string authorization;
    std::string if_none_match;  // a browser revalidating a cached file
    // Who the request says it is for and where it comes from: the gate's Host and Origin
    // checks. Empty and not given when the header is absent.
    bool host_given = false;
    std::string host;  // as sent: "127.0.0.1:8080", "[::1]:80", "localhost"
    bool origin_given = false;
    std::string origin;        // "http://127.0.0.1:8080", "null", ...
    std::string content_type;  // of the body, as sent
    bool http11 = true;        // HTTP/1.1 (false: HTTP/1.0)
    std::size_t size = 0;  // bytes up to and including the blank line
};

// The value of `name` in a query ("a=1&b=%20x"), percent-decoded; nullopt when absent or
// badly encoded.
std::optional<std::string> query_value(std::string_view query, std::string_view name);

// "Bearer TOKEN", the scheme in any case.
bool bearer_matches(std::string_view header, std::string_view token);

struct OscArg {
    char type = 0;  // 'i', 'f', 's', 'T', 'F'
    std::int32_t number = 0;
    float real = 0;
    std::string_view text;
};
struct OscMessage {
    std::string_view address;
    std::string_view types;  // without the leading comma
    std::vector<OscArg> args;
};
// One message; nullopt with `error` when it is malformed or has an argument type we do not
// take.
std::optional<OscMessage> parse_osc_message(std::string_view data, std::string* error);
// Calls `message` for the datagram's message, or for each message of its bundle in order,
// bundles nested at most kMaxOscDepth deep. Nothing is copied. Returns what made it stop
// early (empty when the whole datagram was read).
std::string walk_osc(std::string_view datagram,
                     const std::function<void(std::string_view message)>& message);
// The reply to a request at `address`: "/reply" + address, one string argument.
QByteArray osc_reply(std::string_view address, const QByteArray& json);

}  // namespace tqv
