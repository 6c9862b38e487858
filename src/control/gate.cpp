#include "control/gate.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "control/control_parse.h"
#include "control/json.h"
#include "link/tcp_link.h"

namespace tqv {

namespace {

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A Host or an origin's authority: the host in lower case (without an IPv6 address's
// brackets) and the port, 80 when none is written.
struct Authority {
    std::string host;
    bool bracketed = false;
    int port = 80;
};

std::optional<Authority> authority(std::string_view text) {
    Authority a;
    std::string_view port;
    bool port_given = false;
    if (text.starts_with('[')) {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        a.host = lower(text.substr(1, close - 1));
        a.bracketed = true;
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return std::nullopt;
        port_given = !rest.empty();
        if (port_given) port = rest.substr(1);
    } else {
        const std::size_t colon = text.find(':');
        a.host = lower(text.substr(0, colon));
        port_given = colon != std::string_view::npos;
        if (port_given) port = text.substr(colon + 1);
    }
    if (a.host.empty()) return std::nullopt;
    if (port_given) {
        if (port.empty() || port.size() > 5 ||
            !std::all_of(port.begin(), port.end(), [](char c) { return c >= '0' && c <= '9'; }))
            return std::nullopt;
        a.port = std::stoi(std::string(port));
        if (a.port < 1 || a.port > 65535) return std::nullopt;
    }
    return a;
}

// The address an IP literal names (four decimal parts for IPv4, as browsers write it, or
// a bracketed IPv6 address); null for a name.
QHostAddress literal(const Authority& a) {
    QHostAddress address;
    if (a.bracketed) {
        if (address.setAddress(qs(a.host)) && address.protocol() == QAbstractSocket::IPv6Protocol)
            return address;
        return {};
    }
    int parts = 0;
    for (std::size_t at = 0; at <= a.host.size(); ++parts) {
        std::size_t end = a.host.find('.', at);
        if (end == std::string::npos) end = a.host.size();
        const std::string_view part = std::string_view(a.host).substr(at, end - at);
        if (part.empty() || part.size() > 3 ||
            !std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; }) ||
            std::stoi(std::string(part)) > 255)
            return {};
        at = end + 1;
    }
    if (parts != 4) return {};
    return QHostAddress(qs(a.host));
}

bool listed(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return lower(n) == name; });
}

// An IP address cannot be rebound by DNS; localhost does not go to DNS.
bool host_is_ours(const std::string& host, const std::vector<std::string>& names) {
    const std::optional<Authority> a = authority(host);
    if (!a) return false;
    return !literal(*a).isNull() || a->host == "localhost" || (!a->bracketed && listed(names, a->host));
}

// The request's Origin is the page of this very server (http, and the host and port the
// request went to, as its Host says), or one we were told of. "null" (a sandboxed page, a
// file) is nobody's. Host and origin must be written alike: a page from
// http://localhost:8080 that sends to http://127.0.0.1:8080 is another origin, as the
// browser sees it too, since something else may listen on ::1 and be "localhost".
bool origin_is_ours(const HttpHead& head, const std::vector<std::string>& origins) {
    std::string origin = lower(head.origin);
    if (origin == "null") return false;
    while (origin.ends_with('/')) origin.pop_back();
    for (std::string o : origins) {
        o = lower(o);
        while (o.ends_with('/')) o.pop_back();
        if (o == origin) return true;
    }
    constexpr std::string_view kScheme = "http://";
    if (!head.host_given || !origin.starts_with(kScheme)) return false;
    const std::optional<Authority> from = authority(std::string_view(origin).substr(kScheme.size()));
    const std::optional<Authority> to = authority(head.host);
    if (!from || !to || from->port != to->port || from->bracketed != to->bracketed) return false;
    const QHostAddress a = literal(*from);
    const QHostAddress b = literal(*to);
    if (!a.isNull() || !b.isNull()) return a == b;
    return from->host == to->host;
}

}  // namespace

// The client address as people write it: an IPv4 client of a dual-stack socket without
// its "::ffff:" prefix.
QHostAddress plain(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip) : address;
}

BodyType body_type(std::string_view content_type) {
    std::string media = lower(content_type.substr(0, content_type.find(';')));
    while (!media.empty() && (media.back() == ' ' || media.back() == '\t')) media.pop_back();
    if (media.empty() || media == "application/json" || media.ends_with("+json")) return BodyType::json;
    if (media == "text/plain" || media == "application/x-www-form-urlencoded") return BodyType::loose;
    return BodyType::refused;
}

bool ControlGate::start(const ControlSettings& settings, QHostAddress* address, std::string* error) {
    settings_ = settings;
    if (!address->setAddress(qs(settings.bind))) {
        *error = "control: not an address: " + settings.bind;
        return false;
    }
    // "::" alone would leave IPv4 clients out: every address of both families.
    if (*address == QHostAddress(QHostAddress::AnyIPv6)) *address = QHostAddress(QHostAddress::Any);
    for (const std::string& a : settings.allow) {
        QHostAddress allowed;
        if (!allowed.setAddress(qs(a))) {
            *error = "control: not a client address: " + a;
            return false;
        }
        allow_.push_back(plain(allowed));
    }
    return true;
}

std::optional<Refused> ControlGate::check(const HttpHead& head, const QHostAddress& peer, bool open) const {
    if (!allowed(peer)) return Refused{403, "client not allowed"};
    // A page whose name an attacker's DNS points at this machine (DNS rebinding) reaches us
    // with its own name in Host: only addresses, localhost and the names we were told of
    // are ours. HTTP/1.0 may come without a Host.
    if (!head.host_given) {
        if (head.http11) return Refused{400, "Host missing"};
    } else if (!host_is_ours(head.host, settings_.hosts)) {
        return Refused{421, "not a host name of this server"};
    }
    // A browser names the page that makes a request: only our own pages (and the origins
    // we were told of) may drive the device. Clients without an Origin are not browsers.
    if (head.origin_given && !origin_is_ours(head, settings_.origins))
        return Refused{403, "origin not allowed"};
    // The panel's files hold no data: they are read without the token and while locked, so
    // that the page can ask for the token and say that remote control is locked.
    if (open) return std::nullopt;
    if (!settings_.token.empty() && !bearer_matches(head.authorization, settings_.token) &&
        !(head.websocket &&
          bearer_matches("Bearer " + query_value(head.query, "access_token").value_or(std::string()),
                         settings_.token)))
        return Refused{401, "unauthorized"};
    if (settings_.locked) return Refused{423, "remote control is locked"};
    return std::nullopt;
}

bool ControlGate::allowed(const QHostAddress& peer) const {
    if (allow_.empty()) return true;
    // ::1 is 127.0.0.1, and a mapped address its IPv4 one, as for the devices.
    return std::any_of(allow_.begin(), allow_.end(),
                       [&](const QHostAddress& a) { return same_host(a, peer); });
}

// OSC and RossTalk cannot carry the token: with one and no allow-list, only this machine
// may use them.
QHostAddress ControlGate::tokenless_address(const QHostAddress& address, const char* what) const {
    if (settings_.token.empty() || !allow_.empty() || address.isLoopback()) return address;
    const QHostAddress loopback = address.protocol() == QAbstractSocket::IPv6Protocol
                                      ? QHostAddress(QHostAddress::LocalHostIPv6)
                                      : QHostAddress(QHostAddress::LocalHost);
    log_.say(std::string("control: ") + what + " listens on " + loopback.toString().toStdString() +
        " only: it cannot carry the token; --allow-clients opens it to those clients");
    return loopback;
}

}  // namespace tqv
