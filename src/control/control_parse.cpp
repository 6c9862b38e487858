#include "control/control_parse.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>
#include <QtEndian>
#include <array>
#include <cctype>
#include <cstring>

#include "core/model.h"

namespace tqv {

namespace {

std::string upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

char lower(char c) { return char(std::tolower(static_cast<unsigned char>(c))); }

bool iequals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

// Digits only, saturating instead of overflowing: the caller compares with a limit.
std::optional<std::uint64_t> decimal(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value > (UINT64_MAX - 9) / 10 ? UINT64_MAX : value * 10 + std::uint64_t(c - '0');
    }
    return value;
}

}  // namespace

ParsedCommand parse_control_command(ControlCommand::Kind kind, const std::string& line,
                                    const std::string& page, const std::string* text, bool memory) {
    ParsedOperation p = parse_operation(kind, line, page, text, memory, Language::english);
    ParsedCommand r;
    r.command = std::move(p.operation);
    r.error = std::move(p.error);
    return r;
}

std::optional<DeviceChoice> parse_device_choice(const QJsonValue& value, std::string* error) {
    DeviceChoice c;
    if (value.isUndefined() || value.isNull()) return c;
    c.given = true;
    auto add = [&](std::uint64_t index) {
        if (index < 1 || index > std::uint64_t(kMaxDeviceIndex)) return false;
        if (std::find(c.indexes.begin(), c.indexes.end(), int(index)) == c.indexes.end())
            c.indexes.push_back(int(index));
        return true;
    };
    bool ok = true;
    if (value.isDouble()) {
        const double d = value.toDouble();
        ok = d == double(std::int64_t(d)) && d >= 1 && add(std::uint64_t(d));
    } else if (value.isArray()) {
        c.list = true;
        const QJsonArray list = value.toArray();
        ok = !list.isEmpty() && list.size() <= kMaxDeviceIndex;
        for (const QJsonValue& v : list) {
            const double d = v.toDouble(-1);
            ok = ok && v.isDouble() && d == double(std::int64_t(d)) && d >= 1 && add(std::uint64_t(d));
        }
    } else if (value.isString()) {
        const std::string text = value.toString().toStdString();
        if (upper(text) == "ALL") {
            c.all = true;
            return c;
        }
        c.list = text.find(',') != std::string::npos;
        const std::string_view rest(text);
        ok = !rest.empty() && rest.size() <= 400;
        for (std::size_t at = 0; ok && at <= rest.size();) {
            const std::size_t comma = std::min(rest.find(',', at), rest.size());
            const std::string_view word = rest.substr(at, comma - at);
            const auto index = word.size() <= 3 ? decimal(word) : std::nullopt;
            ok = index && add(*index);
            at = comma + 1;
        }
    } else {
        ok = false;
    }
    if (ok) return c;
    *error = "\"device\" must be a device number 1..96, a list of them, or \"all\"";
    return std::nullopt;
}

ParsedCommand parse_command_json(ControlCommand::Kind kind, const QJsonObject& body) {
    ParsedCommand r;
    const auto device = parse_device_choice(body.value("device"), &r.error);
    if (!device) return r;
    const QJsonValue page = body.value("page");
    const QJsonValue memory = body.value("memory");
    const QJsonValue text = body.value("text");
    if (!body.value("line").isString()) {
        r.error = "\"line\" must be a string";
    } else if (!page.isString() && !page.isDouble()) {
        r.error = "\"page\" must be a number or \"AUTO\"";
    } else if (page.isDouble() && page.toDouble() != double(page.toInt())) {
        r.error = "\"page\" must be a whole number";
    } else if (kind == ControlCommand::Kind::title &&
               (!text.isString() || !(memory.isBool() || memory.isUndefined()))) {
        r.error = "\"text\" must be a string and \"memory\" true or false";
    }
    if (!r.error.empty()) return r;
    const std::string text_utf8 = text.toString().toStdString();
    r = parse_control_command(
        kind, body.value("line").toString().toStdString(),
        page.isDouble() ? std::to_string(page.toInt()) : page.toString().toStdString(),
        text.isString() ? &text_utf8 : nullptr, memory.toBool(true));
    r.device = *device;
    return r;
}

ParsedCommand parse_command_body(ControlCommand::Kind kind, const QByteArray& body) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
    if (doc.isObject()) return parse_command_json(kind, doc.object());
    ParsedCommand r;
    r.error = "bad JSON: " + (doc.isNull() ? error.errorString() : QStringLiteral("not an object"))
                                 .toStdString();
    return r;
}

WsRequest parse_ws_request(const QByteArray& message) {
    WsRequest r;
    r.status = 400;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(message, &error);
    if (!doc.isObject()) {
        r.parsed.error = "bad JSON: " + (doc.isNull() ? error.errorString()
                                                      : QStringLiteral("not an object"))
                                            .toStdString();
        return r;
    }
    const QJsonObject body = doc.object();
    r.id = body.value("id");
    const QString op = body.value("op").toString();
    for (const char* cue : {"go", "back", "goto", "load"}) {
        if (op == QLatin1String("cue/") + QLatin1String(cue)) {
            r.cue_op = QLatin1String(cue);
            r.body = body;
            r.status = 200;
            return r;
        }
    }
    for (auto kind : {ControlCommand::Kind::page, ControlCommand::Kind::startup,
                      ControlCommand::Kind::title}) {
        if (op == QLatin1String(operation_name(kind))) {
            r.parsed = parse_command_json(kind, body);
            if (r.parsed.command) r.status = 200;
            return r;
        }
    }
    r.parsed.error = "unknown op: \"page\", \"startup\", \"title\" or \"cue/go\", \"cue/back\", "
                     "\"cue/goto\", \"cue/load\"";
    return r;
}

std::optional<std::string> query_value(std::string_view query, std::string_view name) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::size_t eq = pair.find('=');
        if (pair.substr(0, eq) != name) continue;
        const std::string_view raw = eq == std::string_view::npos ? std::string_view() : pair.substr(eq + 1);
        std::string out;
        for (std::size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '+') {
                out += ' ';
            } else if (raw[i] != '%') {
                out += raw[i];
            } else {
                auto hex = [](char c) {
                    return c >= '0' && c <= '9'   ? c - '0'
                           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                  : -1;
                };
                if (i + 2 >= raw.size()) return std::nullopt;  // a cut "%4"
                const int high = hex(raw[i + 1]);
                const int low = hex(raw[i + 2]);
                if (high < 0 || low < 0) return std::nullopt;
                out += char(high * 16 + low);
                i += 2;
            }
        }
        return out;
    }
    return std::nullopt;
}

bool bearer_matches(std::string_view header, std::string_view token) {
    const std::size_t space = header.find(' ');
    if (space == std::string_view::npos || !iequals(header.substr(0, space), "bearer")) return false;
    std::string_view given = header.substr(space);
    while (!given.empty() && given.front() == ' ') given.remove_prefix(1);
    if (given.size() != token.size()) return false;
    // Every byte compared, so the time taken says nothing about where they differ.
    unsigned char differ = 0;
    for (std::size_t i = 0; i < token.size(); ++i)
        differ |= static_cast<unsigned char>(given[i] ^ token[i]);
    return differ == 0;
}

namespace {

// An OSC string: NUL-terminated, padded with NULs to a multiple of four bytes.
std::optional<std::string_view> osc_string(std::string_view data, std::size_t& at) {
    if (at >= data.size()) return std::nullopt;
    const std::size_t nul = data.find('\0', at);
    if (nul == std::string_view::npos) return std::nullopt;
    const std::string_view text = data.substr(at, nul - at);
    at = (nul + 4) & ~std::size_t(3);
    if (at > data.size()) return std::nullopt;
    return text;
}

std::int32_t big_endian32(std::string_view data, std::size_t at) {
    return qFromBigEndian<qint32>(data.data() + at);
}

}  // namespace

std::optional<OscMessage> parse_osc_message(std::string_view data, std::string* error) {
    OscMessage m;
    std::size_t at = 0;
    const auto address = osc_string(data, at);
    if (!address || address->empty() || address->front() != '/') {
        *error = "no address";
        return std::nullopt;
    }
    m.address = *address;
    const auto types = osc_string(data, at);
    if (!types || types->empty() || types->front() != ',') {
        *error = "no type tags";
        return std::nullopt;
    }
    m.types = types->substr(1);
    for (char type : m.types) {
        OscArg arg;
        arg.type = type;
        switch (type) {
            case 'i':
            case 'f':
                if (data.size() < at + 4) {
                    *error = "argument missing";
                    return std::nullopt;
                }
                arg.number = big_endian32(data, at);
                std::memcpy(&arg.real, &arg.number, sizeof arg.real);
                at += 4;
                break;
            case 's': {
                const auto text = osc_string(data, at);
                if (!text) {
                    *error = "argument missing";
                    return std::nullopt;
                }
                arg.text = *text;
                break;
            }
            case 'T':
            case 'F':
                break;
            default:
                *error = std::string("argument type '") + (type >= 0x20 && type < 0x7F ? type : '?') +
                         "' not taken";
                return std::nullopt;
        }
        m.args.push_back(arg);
    }
    if (at != data.size()) {
        *error = "bytes after the arguments";
        return std::nullopt;
    }
    return m;
}

namespace {

std::string walk(std::string_view data, int depth,
                 const std::function<void(std::string_view)>& message) {
    static constexpr std::string_view kBundle("#bundle\0", 8);
    if (data.substr(0, 8) != kBundle) {
        message(data);
        return {};
    }
    if (depth >= kMaxOscDepth) return "bundles nested deeper than 8";
    if (data.size() < 16) return "malformed bundle";
    // Time tags ask for nothing a button press needs: the elements are carried out at
    // once, in order.
    std::size_t at = 16;  // after "#bundle\0" and the time tag
    while (at + 4 <= data.size()) {
        const std::int32_t size = big_endian32(data, at);
        if (size <= 0 || std::size_t(size) > data.size() - at - 4) return "malformed bundle";
        std::string inner = walk(data.substr(at + 4, std::size_t(size)), depth + 1, message);
        if (!inner.empty()) return inner;
        at += 4 + std::size_t(size);
    }
    return at == data.size() ? std::string() : "malformed bundle";
}

}  // namespace

std::string walk_osc(std::string_view datagram,
                     const std::function<void(std::string_view message)>& message) {
    return walk(datagram, 0, message);
}

QByteArray osc_reply(std::string_view address, const QByteArray& json) {
    auto padded = [](QByteArray text) {
        text += '\0';
        while (text.size() % 4 != 0) text += '\0';
        return text;
    };
    return padded("/reply" + QByteArray(address.data(), qsizetype(address.size()))) +
           padded(",s") + padded(json);
}

}  // namespace tqv
