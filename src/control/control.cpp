#include "control/control.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QWebSocket>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string_view>

#include "control/cue_show.h"
#include "control/http_front.h"
#include "control/web_panel.h"
#include "core/bulk.h"
#include "core/codec.h"
#include "core/commands.h"
#include "core/config.h"
#include "core/vocabulary.h"
#include "core/rosstalk.h"
#include "core/titles.h"
#include "link/device_link.h"
#include "link/run_driver.h"

namespace tqv {

namespace {

const char* outcome_name(ExchangeEnd::Kind kind) {
    switch (kind) {
        case ExchangeEnd::Kind::answered:
            return "answered";
        case ExchangeEnd::Kind::error_answer:
            return "error answer";
        case ExchangeEnd::Kind::timeout:
            return "time-out";
        case ExchangeEnd::Kind::not_sent:
            return "not sent";
        case ExchangeEnd::Kind::lost:
            return "lost";
    }
    return "";
}

QString qs(const std::string& text) { return QString::fromStdString(text); }

QByteArray compact(const QJsonObject& json) {
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

QJsonObject error_object(const QString& text) { return {{"error", text}}; }

std::string trimmed_frame(std::string frame) {
    while (!frame.empty() && (frame.back() == '\n' || frame.back() == '\r')) frame.pop_back();
    return frame;
}

QJsonValue page_value(int page) {
    return page >= kAutoPage ? QJsonValue("AUTO") : QJsonValue(page + 1);
}

QString device_path(int device, const QString& path) {
    return QStringLiteral("devices/%1/%2").arg(device).arg(path);
}

QString line_path(int line, const char* leaf) {
    return QStringLiteral("lines/%1/%2").arg(line_label(line), leaf);
}

QString title_path(int slot) {
    return QStringLiteral("lines/%1/titles/%2")
        .arg(line_label(slot / kPages))
        .arg(slot % kPages + 1, 2, 10, QLatin1Char('0'));
}

// Whether a page's title is displayed when the page is on air.
QString display_path(int line, int page) {
    return QStringLiteral("lines/%1/display/%2")
        .arg(line_label(line))
        .arg(page + 1, 2, 10, QLatin1Char('0'));
}

QString title_text(const Model& m, int slot) {
    return qs(cp932_to_utf8(slot_text(m.titles[std::size_t(slot)])));
}

// The client address as people write it: an IPv4 client of a dual-stack socket without
// its "::ffff:" prefix.
QHostAddress plain(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip) : address;
}

// The state paths of one value of the model, with the model's values: only what was touched
// is converted (a title from code page 932) and announced.
QJsonObject touched_paths(const Model& m, const Touched& t) {
    QJsonObject out;
    const auto line = std::size_t(t.index);
    switch (t.kind) {
        case Touched::Kind::page:
            out[line_path(t.index, "page")] = page_value(m.current_page[line]);
            break;
        case Touched::Kind::startup:
            out[line_path(t.index, "startup")] = page_value(m.startup_page[line]);
            break;
        case Touched::Kind::title:
            out[title_path(t.index)] = title_text(m, t.index);
            break;
        case Touched::Kind::display:
            for (int p = 0; p < kPages; ++p)
                out[display_path(t.index, p)] = m.title_display[line][std::size_t(p)] != 0;
            break;
    }
    return out;
}

// ---------------------------------------------------------------- the gate's pieces

// The routes and their methods: the check, OPTIONS and the dispatcher read this one table.
constexpr std::pair<const char*, const char*> kRoutes[] = {
    {"GET", "/api/status"},     {"GET", "/api/titles"},    {"GET", "/api/openapi.json"},
    {"GET", "/api/devices"},    {"GET", "/api/events"},    {"POST", "/api/page"},
    {"POST", "/api/startup"},   {"POST", "/api/title"},    {"GET", "/api/cues"},
    {"POST", "/api/cue/go"},    {"POST", "/api/cue/back"}, {"POST", "/api/cue/goto"},
    {"POST", "/api/cue/load"},  {"POST", "/api/read"},   {"GET", "/api/picture"},
};

bool panel_file(const std::string& path) {
    const auto& files = web_panel_paths();
    return std::find(files.begin(), files.end(), path) != files.end();
}

// The Allow header of `path` ("GET, HEAD, OPTIONS"); empty when there is no such route.
std::string allowed_methods(const std::string& path) {
    std::string out;
    bool get = panel_file(path);
    for (const auto& [method, route] : kRoutes) {
        if (path != route) continue;
        if (std::string_view(method) == "GET") {
            get = true;
        } else {
            out += std::string(method) + ", ";
        }
    }
    if (get) out = "GET, HEAD, " + out;
    return out.empty() ? out : out + "OPTIONS";
}

bool has_method(const std::string& methods, const std::string& method) {
    for (std::size_t at = 0; at < methods.size();) {
        std::size_t end = methods.find(", ", at);
        if (end == std::string::npos) end = methods.size();
        if (methods.compare(at, end - at, method) == 0) return true;
        at = end + 2;
    }
    return false;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// What a POST body's Content-Type says. JSON, or none (curl, scripts); text and forms
// (curl -d sends a form type, fetch() with a string body text/plain) only with a JSON
// object in them; anything else, multipart forms among them, is refused.
enum class BodyType { json, loose, refused };

BodyType body_type(std::string_view content_type) {
    std::string media = lower(content_type.substr(0, content_type.find(';')));
    while (!media.empty() && (media.back() == ' ' || media.back() == '\t')) media.pop_back();
    if (media.empty() || media == "application/json" || media.ends_with("+json")) return BodyType::json;
    if (media == "text/plain" || media == "application/x-www-form-urlencoded") return BodyType::loose;
    return BodyType::refused;
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

// The state path of what an answered command set, with the value the command carried.
QJsonObject setting_paths(const CommandSetting& s) {
    const Touched& t = s.touched;
    if (t.kind == Touched::Kind::title) return {{title_path(t.index), qs(cp932_to_utf8(s.title))}};
    return {{line_path(t.index, t.kind == Touched::Kind::page ? "page" : "startup"), page_value(s.page)}};
}

}  // namespace

// One client's request, over one device or several.
struct Control::Request {
    ControlCommand command;
    std::uint64_t number = 0;
    QString source;  // "http", "osc", "ws"
    QString peer;
    Reply reply;  // none when the client cannot be answered
    QElapsedTimer age;
    bool many = false;  // answered with one result per device
    std::vector<std::pair<int, QJsonObject>> results;  // status and result, per device
    std::size_t open = 0;                              // devices still to end
};

// The part of a request one device carries out.
struct Control::Job {
    std::shared_ptr<Request> request;
    std::size_t slot = 0;  // its place among the request's results
    int device = 1;
    QString address;
    std::string body;  // the command, once sent (a read's from the start)
    bool read = false;  // a read of the device's state, asked for by nobody waiting
    Ticket ticket = 0;  // the send path's id of it, to tell its end from others'
};

// One device's requests: in the order they came, one in flight at a time, on the channel
// of the device, whose send path tells how each ended.
struct Control::Lane {
    int device = 1;
    std::deque<Job> waiting;
    std::optional<Job> in_flight;
    std::string box;  // what the link would have told the operator about it
    Channel* channel = nullptr;  // where the one in flight went
    QPointer<QObject> holder;    // the channel's object, when it is a peer's
    Subscription ended;
    QTimer guard;
};

struct Control::Client {
    QPointer<QWebSocket> socket;
    QString peer;
    bool closing = false;  // closed for its backlog: nothing more is sent to it
};

struct Control::RossTalkClient {
    QPointer<QTcpSocket> socket;
    QString peer;
    RossTalkLines lines;
    QElapsedTimer idle;  // since its last byte, or since it connected
    // It has sent a RossTalk command: from then on it is a mixer, not a browser.
    bool spoken = false;
};

Control::Control(DeviceLink& link, QObject* parent) : QObject(parent), link_(link) {
    // Pings are answered inside Qt WebSockets with no signal to us: the backlog is looked
    // at every kBacklogWatchMs while clients are connected, so that a ping flood is
    // stopped within that much of its pongs.
    backlog_watch_.setInterval(kBacklogWatchMs);
    connect(&backlog_watch_, &QTimer::timeout, this, [this] {
        const auto clients = clients_;
        for (const auto& client : clients) over_backlog(*client, 0);
    });
    connect(&link_, &DeviceLink::exchange_ended, this, &Control::link_exchange_ended);
    // What a run (a cue, a dialog's transfer) got the device to hold is confirmed as well.
    connect(&link_, &DeviceLink::run_command_answered, this, [this](const QByteArray& frame) {
        const int device = target_device();
        const QString source = cues_ != nullptr && cues_->running() ? QStringLiteral("cue")
                                                                    : QStringLiteral("dialog");
        if (const auto setting = command_setting(frame.toStdString()))
            confirm(*setting, source, link_, device);
    });
    // Every run on the link, whoever started it; the check after a reconnect is the
    // device's own.
    run_news_ = Subscription(static_cast<Channel&>(link_).run_news, [this](const RunNews& news) {
        const bool ended = news.kind == RunNews::Kind::ended;
        QJsonObject changes{{"run/active", !ended}, {"run/step", news.step}, {"run/total", news.total}};
        changes["run/end"] = ended ? QJsonValue(run_end_key(news.end)) : QJsonValue();
        state_.apply(link_.reconnect_check_running()    ? QStringLiteral("device")
                     : cues_ != nullptr && cues_->running() ? QStringLiteral("cue")
                                                            : QStringLiteral("dialog"),
                     changes);
    });
    // A device that came up is read once the signal that said so has returned.
    reads_due_.setSingleShot(true);
    connect(&reads_due_, &QTimer::timeout, this, &Control::start_reads);

    connect(&link_, &DeviceLink::reconnect_checked, this,
            [this](bool completed, const std::vector<SettingDifference>& differences) {
                if (!completed) return;
                QJsonArray items;
                for (const SettingDifference& d : differences)
                    items.append(QJsonObject{{"item", qs(d.item)},
                                             {"document", qs(d.document_value)},
                                             {"device", qs(d.device_value)}});
                state_.apply("device", {{"device/differs",
                                         QJsonObject{{"count", int(differences.size())},
                                                     {"items", items}}}});
            });
    // What an answer line wrote into the model is the device's word (a read).
    answer_touched_ = Subscription(link_.dispatcher().touched,
                                   [this](const Touched& t) { model_answered(t); });
    connect(&link_, &DeviceLink::answer_applied, this, &Control::link_changed);
    connect(&link_, &DeviceLink::state_changed, this, &Control::link_changed);
    connect(&state_, &ControlState::changed, this,
            [this](quint64 seq, const QString& source, const QJsonObject& changes) {
                const QByteArray message = compact({{"type", "change"},
                                                    {"seq", qint64(seq)},
                                                    {"source", source},
                                                    {"changes", changes}});
                // A copy: sending may end a client, which takes it off the list. The text is
                // made once for every client: with many devices and clients, making it per
                // client was most of the time an event took to go out.
                const QString text = QString::fromUtf8(message);
                const auto clients = clients_;
                for (const auto& client : clients) send_to(*client, text);
            });

    // Nothing is confirmed yet: every path is there, without a value.
    QJsonObject initial;
    for (int i = 0; i < kTitleLines; ++i) {
        initial[line_path(i, "page")] = QJsonValue();
        initial[line_path(i, "startup")] = QJsonValue();
    }
    for (int t = 0; t < kTitles; ++t) initial[title_path(t)] = QJsonValue();
    for (int i = 0; i < kTitleLines; ++i)
        for (int p = 0; p < kPages; ++p) initial[display_path(i, p)] = QJsonValue();
    for (const char* path : {"run/step", "run/total", "run/end", "device/differs", "link/devices"})
        initial[path] = QJsonValue();
    initial["run/active"] = false;
    initial["remote/locked"] = false;
    initial["link/down"] = QJsonArray();
    state_.apply("device", initial);
    link_changed();
}

Control::~Control() {
    // Aborting makes a socket say it is gone: nothing of this may hear it any more.
    for (const auto& client : clients_) {
        if (!client->socket) continue;
        client->socket->disconnect(this);
        client->socket->abort();
    }
    // A peer's channel that has gone took its observer list along.
    for (const auto& [device, l] : lanes_)
        if (l->channel != static_cast<Channel*>(&link_) && l->holder.isNull()) l->ended.release();
}

void Control::box_shown(std::string_view text) {
    if (Lane* l = own_lane()) l->box = text;
    say("control: " + std::string(text));
}

void Control::say(const std::string& line) const {
    if (log) {
        log(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void Control::told(const QString& source, const QString& peer, const QString& what,
                   const char* detail) {
    say(source.toStdString() + " " + peer.toStdString() + ": " + what.toStdString() + detail);
    emit remote(source.toUpper() + " " + peer, what);
}

void Control::set_locked(bool locked) {
    settings_.locked = locked;
    state_.apply("dialog", {{"remote/locked", locked}});
}

bool Control::start(const ControlSettings& settings, std::string* error) {
    settings_ = settings;
    state_.apply("dialog", {{"remote/locked", settings.locked}});
    QHostAddress address;
    if (!address.setAddress(qs(settings.bind))) {
        *error = "control: not an address: " + settings.bind;
        return false;
    }
    // "::" alone would leave IPv4 clients out: every address of both families.
    if (address == QHostAddress(QHostAddress::AnyIPv6)) address = QHostAddress(QHostAddress::Any);
    for (const std::string& a : settings.allow) {
        QHostAddress allowed;
        if (!allowed.setAddress(qs(a))) {
            *error = "control: not a client address: " + a;
            return false;
        }
        allow_.push_back(plain(allowed));
    }
    if (settings.http_port >= 0 && open_http(address, error) == nullptr) return false;
    if (settings.osc_port >= 0) {
        const QHostAddress osc_address = tokenless_address(address, "OSC");
        osc_ = new QUdpSocket(this);
        if (!osc_->bind(osc_address, quint16(settings.osc_port))) {
            *error = "control: cannot listen for OSC on " + settings.bind + ":" +
                     std::to_string(settings.osc_port);
            return false;
        }
        osc_port_ = osc_->localPort();
        connect(osc_, &QUdpSocket::readyRead, this, &Control::read_osc);
    }
    if (settings.rosstalk_port >= 0 && !open_rosstalk(tokenless_address(address, "RossTalk"), error))
        return false;
    return true;
}

// OSC and RossTalk cannot carry the token: with one and no allow-list, only this machine
// may use them.
QHostAddress Control::tokenless_address(const QHostAddress& address, const char* what) const {
    if (settings_.token.empty() || !allow_.empty() || address.isLoopback()) return address;
    const QHostAddress loopback = address.protocol() == QAbstractSocket::IPv6Protocol
                                      ? QHostAddress(QHostAddress::LocalHostIPv6)
                                      : QHostAddress(QHostAddress::LocalHost);
    say(std::string("control: ") + what + " listens on " + loopback.toString().toStdString() +
        " only: it cannot carry the token; --allow-clients opens it to those clients");
    return loopback;
}

HttpFront* Control::open_http(const QHostAddress& address, std::string* error) {
    http_ = new HttpFront(this);
    http_->log = [this](const std::string& line) { say(line); };
    http_->check = [this](const HttpHead& head, const QHostAddress& peer) -> HttpFront::Refusal {
        std::optional<Refused> refused = gate(head, peer);
        if (!refused) refused = route_refusal(head);
        if (!refused) return {};
        told(head.websocket ? "ws" : "http", plain(peer).toString(),
             qs(head.method.substr(0, 16) + " " + head.path.substr(0, 64)) + ": " +
                 QString::number(refused->status) + " " + refused->text);
        return {refused->status, compact(error_object(refused->text))};
    };
    http_->request = [this](const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                            HttpFront::Answer answer) {
        http_request(head, body, peer, std::move(answer));
    };
    http_->websocket = [this](QWebSocket* socket) { add_client(socket); };
    // Answers ready at once: the panel's files, and what OPTIONS asks. No CORS permission is
    // ever given: a page of another origin may not read anything here.
    http_->file = [](const HttpHead& head) -> HttpFront::File {
        if (head.method == "OPTIONS")
            return {200, "Allow: " + QByteArray::fromStdString(allowed_methods(head.path)) + "\r\n", {}};
        if (!panel_file(head.path)) return {};
        StaticAnswer a = web_panel_answer(head);
        return {a.status, std::move(a.headers), std::move(a.body)};
    };
    // A whole cue file may come in one request; every other body stays small.
    http_->max_body = [](const HttpHead& head) {
        return head.path == "/api/cue/load" ? kMaxCueLoadBody : kMaxBody;
    };
    if (!http_->listen(address, quint16(settings_.http_port))) {
        *error = "control: cannot listen for HTTP on " + settings_.bind + ":" +
                 std::to_string(settings_.http_port);
        return nullptr;
    }
    http_port_ = http_->port();
    return http_;
}

std::optional<Control::Refused> Control::gate(const HttpHead& head, const QHostAddress& peer) const {
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
    if (!head.websocket && (head.method == "GET" || head.method == "HEAD") && panel_file(head.path))
        return std::nullopt;
    if (!settings_.token.empty() && !bearer_matches(head.authorization, settings_.token) &&
        !(head.websocket &&
          bearer_matches("Bearer " + query_value(head.query, "access_token").value_or(std::string()),
                         settings_.token)))
        return Refused{401, "unauthorized"};
    if (settings_.locked) return Refused{423, "remote control is locked"};
    return std::nullopt;
}

std::optional<Control::Refused> Control::route_refusal(const HttpHead& head) const {
    // Only the events route upgrades; an upgrade asked for anywhere else never reaches Qt
    // WebSockets.
    if (head.websocket) {
        if (head.path != "/api/events") return Refused{404, "WebSocket upgrade only on /api/events"};
        if (head.method != "GET") return Refused{405, "method not allowed"};
        if (int(clients_.size()) >= kMaxClients) return Refused{503, "too many clients"};
        return std::nullopt;
    }
    const std::string methods = allowed_methods(head.path);
    if (methods.empty()) return Refused{404, "no such route"};
    if (head.method == "OPTIONS") return std::nullopt;
    const std::string method = head.method == "HEAD" ? "GET" : head.method;
    if (!has_method(methods, method)) return Refused{405, "method not allowed"};
    if (head.path == "/api/events") return Refused{426, "WebSocket upgrade only"};
    if (method == "POST" && body_type(head.content_type) == BodyType::refused)
        return Refused{415, "the body is JSON: Content-Type application/json"};
    return std::nullopt;
}

bool Control::allowed(const QHostAddress& peer) const {
    if (allow_.empty()) return true;
    // ::1 is 127.0.0.1, and a mapped address its IPv4 one, as for the devices.
    return std::any_of(allow_.begin(), allow_.end(),
                       [&](const QHostAddress& a) { return same_host(a, peer); });
}

void Control::http_request(const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                           std::function<void(int, const QByteArray&)> answer) {
    const QString who = plain(peer).toString();
    if (head.method == "GET" || head.method == "HEAD") {
        told("http", who, qs(head.method + " " + head.path) + ": 200");
        if (head.path == "/api/status") return answer(200, status_json());
        if (head.path == "/api/titles") return answer(200, titles_json());
        if (head.path == "/api/cues") return answer(cues_ ? 200 : 404, cues_json());
        if (head.path == "/api/devices") return answer(200, devices_json());
        if (head.path == "/api/picture") {
            int status = 200;
            const QByteArray picture = picture_json(head.query, &status);
            return answer(status, picture);
        }
        return answer(200, openapi_json());
    }
    // A body typed as text or as a form is taken only when it is a JSON object: a browser's
    // form percent-encodes braces and quotes. An empty one is no body (curl -d '', urllib).
    if (body_type(head.content_type) == BodyType::loose && !body.trimmed().isEmpty() &&
        !QJsonDocument::fromJson(body).isObject()) {
        told("http", who, qs("POST " + head.path) + ": 415 not a JSON object");
        return answer(415, compact(error_object("the body is JSON: Content-Type application/json")));
    }
    if (head.path == "/api/read") {
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        Reply reply = [answer](int status, const QJsonObject& json) { answer(status, compact(json)); };
        if (!doc.isObject()) {
            told("http", who, "read: 400 body is not a JSON object");
            return reply(400, error_object("body is not a JSON object"));
        }
        return read_request(doc.object(), "http", who, std::move(reply));
    }
    if (head.path.starts_with("/api/cue/")) {
        const QJsonDocument doc = QJsonDocument::fromJson(body);
        const QString op = qs(head.path.substr(9));
        Reply reply = [answer](int status, const QJsonObject& json) { answer(status, compact(json)); };
        if (!body.trimmed().isEmpty() && !doc.isObject()) {
            told("http", who, "cue/" + op + ": 400 body is not a JSON object");
            return reply(400, error_object("body is not a JSON object"));
        }
        return cue_request(op, doc.object(), "http", who, std::move(reply));
    }
    const ControlCommand::Kind kind = head.path == "/api/page"      ? ControlCommand::Kind::page
                                      : head.path == "/api/startup" ? ControlCommand::Kind::startup
                                                                    : ControlCommand::Kind::title;
    command(kind, parse_command_body(kind, body), "http", who,
            [answer](int status, const QJsonObject& json) { answer(status, compact(json)); });
}

// Every route's request ends here, whatever carried it.
void Control::command(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                      const QString& peer, Reply reply) {
    auto refuse = [&](int status, const QString& text) {
        told(source, peer, QStringLiteral("%1: %2 %3").arg(operation_name(kind)).arg(status).arg(text));
        if (reply) reply(status, error_object(text));
    };
    if (!parsed.command) return refuse(400, qs(parsed.error));
    const std::vector<ControlDevice> targets = targets_of(parsed.device);
    if (targets.empty()) return refuse(503, parsed.device.given ? "no device connected" : "no device chosen");
    auto r = std::make_shared<Request>();
    r->command = std::move(*parsed.command);
    r->source = source;
    r->peer = peer;
    r->reply = std::move(reply);
    r->number = ++requests_;
    r->age.start();
    r->many = parsed.device.many();
    r->results.resize(targets.size());
    r->open = targets.size();
    std::vector<Lane*> touched;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const ControlDevice& d = targets[i];
        Job job{r, i, d.index, d.address, {}};
        if (d.entry < 0) {
            finish(job, 404, "error", "no device " + std::to_string(d.index));
            continue;
        }
        Channel* channel = d.up ? channel_of(d) : nullptr;
        if (channel != nullptr && channel->send_path().run_under_way()) {
            finish(job, 409, "error", "a bulk run holds the link");
            continue;
        }
        Lane& l = lane(d.index);
        // The reads of the device's state wait behind every request.
        const auto reads = std::find_if(l.waiting.begin(), l.waiting.end(), [](const Job& j) { return j.read; });
        if (reads - l.waiting.begin() >= kMaxWaiting) {
            finish(job, 503, "error", "too many requests waiting");
            continue;
        }
        l.waiting.insert(reads, std::move(job));
        touched.push_back(&l);
    }
    for (Lane* l : touched) pump(*l);
}

// The devices a request is meant for: those named (entry -1 for a number no device has),
// or the default target.
std::vector<ControlDevice> Control::targets_of(const DeviceChoice& choice) const {
    const std::vector<ControlDevice> known = devices();
    std::vector<ControlDevice> targets;
    if (choice.all) {
        targets = known;
    } else if (!choice.given) {
        for (const ControlDevice& d : known)
            if (d.target) targets.push_back(d);
    } else {
        for (int index : choice.indexes) {
            auto it = std::find_if(known.begin(), known.end(),
                                   [index](const ControlDevice& d) { return d.index == index; });
            ControlDevice unknown;
            unknown.index = index;
            unknown.entry = -1;
            targets.push_back(it != known.end() ? *it : unknown);
        }
    }
    return targets;
}

// Why a device named by a request cannot take a command now; empty when it can.
std::string Control::down_reason(const ControlDevice& device) const {
    if (device.entry < 0) return "no device " + std::to_string(device.index);
    if (device.up) return {};
    if (device.entry == 0 && link_.tcp_connecting()) return "the link is down; connecting again";
    if (device.status == "absent") return "device " + std::to_string(device.index) + " is absent";
    return "the device is not connected";
}

Control::Lane& Control::lane(int device) {
    std::unique_ptr<Lane>& l = lanes_[device];
    if (!l) {
        l = std::make_unique<Lane>();
        l->device = device;
        l->guard.setSingleShot(true);
        l->guard.setInterval(kGuardMs);
        connect(&l->guard, &QTimer::timeout, this, [this, lane = l.get()] {
            if (!lane->in_flight) return;
            Job job = std::move(*lane->in_flight);
            let_go(*lane);
            finish(job, 504, "error", "no end of the exchange was told in time");
            pump(*lane);
        });
    }
    return *l;
}

Control::Lane* Control::own_lane() const {
    for (const auto& [device, l] : lanes_)
        if (l->in_flight && l->channel == static_cast<Channel*>(&link_)) return l.get();
    return nullptr;
}

bool Control::command_in_flight() const { return own_lane() != nullptr; }

bool Control::server_role() const {
    const Model& m = link_.model();
    return m.interface_kind == 1 && m.tcp_role == 1;
}

std::vector<ControlDevice> Control::devices() const {
    if (device_list) return device_list();
    const Model& m = link_.model();
    std::vector<ControlDevice> out;
    if (server_role()) {
        for (int entry : link_.peers().entries())
            out.push_back({entry, entry, qs(link_.tcp().peer_address(entry)), true,
                           entry == m.selected_peer, link_.tcp().peer_port(entry), "up"});
        return out;
    }
    const QJsonObject& s = state_.state();
    const QString status = s.value("link/status").toString();
    // The serial port's path, or the host and port the client connects to.
    QString address = s.value("link/target").toString();
    quint16 port = 0;
    if (m.interface_kind == 1) {
        const qsizetype colon = address.lastIndexOf(QLatin1Char(':'));
        port = colon < 0 ? 0 : quint16(address.mid(colon + 1).toUInt());
        if (colon >= 0) address.truncate(colon);
    }
    out.push_back({1, 0, address, status == "ok", true, port,
                   status == "ok" ? "up" : status == "connecting" ? "connecting" : "lost"});
    return out;
}

Channel* Control::channel_of(const ControlDevice& device) {
    if (device.entry == 0) return &link_;
    return link_.channel_of_peer(device.entry);
}

namespace {

QJsonObject device_json(const ControlDevice& d) {
    return {{"device", d.index},
            {"address", d.address},
            {"port", d.port != 0 ? QJsonValue(int(d.port)) : QJsonValue()},
            {"up", d.up},
            {"status", d.status},
            {"target", d.target}};
}

}  // namespace

QJsonObject Control::device_summary(const std::vector<ControlDevice>& list) const {
    QJsonArray down;
    int up = 0;
    int count = int(list.size());
    for (const ControlDevice& d : list) {
        up += d.up;
        if (!d.up) down.append(device_json(d));
    }
    // The program's devices have no numbers while away: those seen since listening count,
    // by address.
    if (server_role() && !device_list) {
        const PeerSet& peers = link_.peers();
        up = peers.known_up();
        count = int(peers.known().size());
        for (const PeerSet::Known& k : peers.known())
            if (!k.up) down.append(QJsonObject{{"address", k.address}, {"up", false}, {"status", "lost"}});
    }
    return {{"link/devices", QStringLiteral("%1/%2").arg(up).arg(count)}, {"link/down", down}};
}

void Control::devices_changed() {
    const std::vector<ControlDevice> list = devices();
    QJsonObject changes = device_summary(list);
    if (server_role()) {
        std::vector<int> now;
        bool target_up = false;
        for (const ControlDevice& d : list) {
            changes[device_path(d.index, "up")] = d.up;
            changes[device_path(d.index, "status")] = d.status;
            changes[device_path(d.index, "address")] = d.address;
            changes[device_path(d.index, "port")] = d.port != 0 ? QJsonValue(int(d.port)) : QJsonValue();
            target_up = target_up || (d.target && d.up);
            now.push_back(d.index);
        }
        for (int index : devices_shown_) {
            if (std::find(now.begin(), now.end(), index) != now.end()) continue;
            changes[device_path(index, "up")] = false;
            changes[device_path(index, "status")] = "lost";
        }
        for (int index : now)
            if (std::find(devices_shown_.begin(), devices_shown_.end(), index) == devices_shown_.end())
                devices_shown_.push_back(index);
        // The link is the default target's: up the moment it is, whoever else is missing.
        const bool seen = !list.empty() || !link_.peers().known().empty();
        changes["link/status"] = target_up                             ? "ok"
                                 : link_.tcp().listening() && seen ? "disconnected"
                                                                   : "connection_failure";
    }
    state_.apply("device", changes);
    // A device that went away is read again when it comes back.
    bool due = false;
    for (const ControlDevice& d : list) {
        auto it = read_since_up_.find(d.index);
        // Away, or back on another entry in between.
        const bool read = it != read_since_up_.end() && d.up && it->second == d.entry;
        if (!read && it != read_since_up_.end()) read_since_up_.erase(it);
        due = due || (d.up && !read);
    }
    std::erase_if(read_since_up_, [&](const auto& r) {
        return std::none_of(list.begin(), list.end(), [&](const ControlDevice& d) { return d.index == r.first; });
    });
    // Once the signal that said so has returned.
    if (due && !reads_due_.isActive()) reads_due_.start(0);
}

QByteArray Control::devices_json() const {
    QJsonArray list;
    for (const ControlDevice& d : devices()) list.append(device_json(d));
    return compact({{"devices", list}});
}

// ---------------------------------------------------------------- reading the devices

void Control::start_reads() {
    bool again = false;
    for (const ControlDevice& d : devices()) {
        if (!d.up || read_since_up_.count(d.index) != 0) continue;
        // A bulk run (the check after a reconnect, a dialog's) holds the device: its turn
        // comes after.
        if (read_device(d, false).first == 409) {
            again = true;
            continue;
        }
        read_since_up_[d.index] = d.entry;
    }
    if (again) reads_due_.start(500);
}

std::pair<int, std::string> Control::read_device(const ControlDevice& d, bool titles) {
    const std::string name = "device " + std::to_string(d.index);
    Channel* channel = d.up ? channel_of(d) : nullptr;
    if (channel == nullptr) return {503, name + " is " + (d.status.isEmpty() ? "not connected" : d.status.toStdString())};
    if (channel->send_path().run_under_way()) return {409, "a bulk run holds the link"};
    const std::vector<std::string> bodies = state_read_bodies(titles);
    auto r = std::make_shared<Request>();
    r->source = "device";
    r->peer = QString::number(d.index);
    r->command.kind = titles ? ControlCommand::Kind::title : ControlCommand::Kind::page;
    r->age.start();
    r->results.resize(bodies.size());
    r->open = bodies.size();
    Lane& l = lane(d.index);
    for (std::size_t i = 0; i < bodies.size(); ++i) {
        Job job{r, i, d.index, d.address, bodies[i]};
        job.read = true;
        l.waiting.push_back(std::move(job));
    }
    pump(l);
    return {202, titles ? "reading titles" : "reading pages"};
}

void Control::read_request(const QJsonObject& body, const QString& source, const QString& peer,
                           Reply reply) {
    auto answer = [&](int status, const QJsonObject& json, const QString& what) {
        told(source, peer, "read: " + QString::number(status) + " " + what);
        if (reply) reply(status, json);
    };
    const QString what = body.value("what").toString();
    if (what != "titles" && what != "pages")
        return answer(400, error_object("what: \"titles\" or \"pages\""), "bad what");
    std::string error;
    const std::optional<DeviceChoice> choice =
        body.contains("device") ? parse_device_choice(body.value("device"), &error) : DeviceChoice{};
    if (!choice) return answer(400, error_object(qs(error)), qs(error));
    const std::vector<ControlDevice> known = devices();
    std::vector<std::pair<int, const ControlDevice*>> targets;  // number, device (null: none)
    for (const ControlDevice& d : known)
        if (choice->all || (!choice->given && d.target)) targets.push_back({d.index, &d});
    for (int index : choice->indexes) {
        auto it = std::find_if(known.begin(), known.end(), [index](const ControlDevice& d) { return d.index == index; });
        targets.push_back({index, it != known.end() ? &*it : nullptr});
    }
    if (targets.empty())
        return answer(503, {{"what", what}, {"results", QJsonArray()}, {"error", "no device connected"}}, "no device");
    const bool titles = what == "titles";
    // One result per device, also for one: a panel reads every answer alike. The status is
    // that one device's, or 202 when every device named began.
    QJsonArray results;
    bool all = true;
    int status = 202;
    for (const auto& [index, d] : targets) {
        const auto [one, text] = d != nullptr ? read_device(*d, titles)
                                              : std::pair<int, std::string>{404, "no device " + std::to_string(index)};
        results.append(QJsonObject{{one == 202 ? "answer" : "error", qs(text)}, {"device", index}, {"status", one}});
        all = all && one == 202;
        status = one;
    }
    if (choice->many()) status = all ? 202 : 502;
    answer(status, {{"what", what}, {"results", results}}, all ? "reading " + what : "not every device");
}

void Control::add_client(QWebSocket* socket) {
    const QString peer = plain(socket->peerAddress()).toString();
    if (int(clients_.size()) >= kMaxClients) {
        told("ws", peer, "503 too many clients");
        socket->close(QWebSocketProtocol::CloseCodeAbnormalDisconnection, "too many clients");
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    socket->setReadBufferSize(64 * 1024);  // what one turn of the event loop may take in
    socket->setMaxAllowedIncomingFrameSize(kMaxBody);
    socket->setMaxAllowedIncomingMessageSize(kMaxBody);
    auto client = std::make_shared<Client>();
    client->socket = socket;
    client->peer = peer;
    Client* c = client.get();
    clients_.push_back(std::move(client));
    connect(socket, &QWebSocket::textMessageReceived, this,
            [this, c](const QString& text) { client_message(*c, text.toUtf8()); });
    connect(socket, &QWebSocket::binaryMessageReceived, this,
            [this, c](const QByteArray& bytes) { client_message(*c, bytes); });
    connect(socket, &QWebSocket::disconnected, this, [this, c] {
        // A socket may say it is gone more than once (an abort, then its own close): the
        // client is forgotten the first time only. It leaves the list before anything is
        // said about it, since saying it reaches every other client.
        std::shared_ptr<Client> gone;
        for (auto& client : clients_)
            if (client.get() == c) gone = std::move(client);
        if (!gone) return;
        std::erase_if(clients_, [](const auto& client) { return client == nullptr; });
        if (clients_.empty()) backlog_watch_.stop();
        if (gone->socket) {
            gone->socket->disconnect(this);
            gone->socket->deleteLater();
        }
        told("ws", gone->peer, "closed");
    });
    if (!backlog_watch_.isActive()) backlog_watch_.start();
    told("ws", peer, "connected");
    send_to(*c, QString::fromUtf8(compact({{"type", "state"}, {"seq", qint64(state_.seq())}, {"state", state_.state()}})));
}

void Control::send_to(Client& client, const QString& text) {
    if (client.closing || !client.socket || client.socket->state() != QAbstractSocket::ConnectedState)
        return;
    // A client that stops reading must not make us hold more and more for it.
    if (over_backlog(client, text.size())) return;
    client.socket->sendTextMessage(text);
}

// Everything queued to the client counts: our messages, and the pongs with which Qt
// WebSockets answers its pings by itself, unseen by us (a client can flood pings and never
// read the pongs). The socket's own count of bytes to write holds both.
bool Control::over_backlog(Client& client, qint64 adding) {
    if (client.closing || !client.socket) return client.closing;
    if (client.socket->bytesToWrite() + adding <= kMaxClientBacklog) return false;
    told("ws", client.peer, "closed: more than 1 MiB waiting for it");
    // Not now: the caller may be going through the list of clients this would change.
    client.closing = true;
    QMetaObject::invokeMethod(client.socket, &QWebSocket::abort, Qt::QueuedConnection);
    return true;
}

void Control::client_message(Client& client, const QByteArray& message) {
    const WsRequest request = parse_ws_request(message);
    // The answer may come after the client has gone (a device's time-out is seconds).
    std::weak_ptr<Client> asker;
    for (const auto& c : clients_)
        if (c.get() == &client) asker = c;
    Reply reply = [this, asker, id = request.id](int status, const QJsonObject& json) {
        const std::shared_ptr<Client> c = asker.lock();
        if (!c) return;
        QJsonObject result = json;
        result["type"] = "result";
        result["id"] = id;
        result["status"] = status;
        send_to(*c, QString::fromUtf8(compact(result)));
    };
    if (settings_.locked) {
        told("ws", client.peer, "423 remote control is locked");
        return reply(423, error_object("remote control is locked"));
    }
    if (!request.cue_op.isEmpty())
        return cue_request(request.cue_op, request.body, "ws", client.peer, std::move(reply));
    const auto kind = request.parsed.command ? request.parsed.command->kind
                                             : ControlCommand::Kind::page;
    command(kind, request.parsed, "ws", client.peer, std::move(reply));
}

void Control::read_osc() {
    while (osc_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = osc_->receiveDatagram();
        const QByteArray data = datagram.data();
        const QHostAddress sender = datagram.senderAddress();
        const QString who = plain(sender).toString();
        if (!allowed(sender)) {
            osc_ignored("osc " + who.toStdString() + ": dropped: client not allowed");
            continue;
        }
        if (settings_.locked) {
            osc_ignored("osc " + who.toStdString() + ": dropped: remote control is locked");
            continue;
        }
        const std::string stopped = walk_osc(
            std::string_view(data.constData(), std::size_t(data.size())),
            [&](std::string_view message) {
                osc_message(message, sender, quint16(datagram.senderPort()));
            });
        if (!stopped.empty()) osc_ignored("osc " + who.toStdString() + ": " + stopped + "; the rest is ignored");
    }
}

Control::LimitedLog::LimitedLog(const Control& control, const char* what) : control_(control), what_(what) {
    count_.setSingleShot(true);
    QObject::connect(&count_, &QTimer::timeout, [this] {
        control_.say(std::string(what_) + ": " + std::to_string(unlogged_) + " more lines not logged");
        unlogged_ = 0;
    });
}

void Control::LimitedLog::say(const std::string& line) {
    if (!window_.isValid() || window_.elapsed() >= 1000) {
        window_.start();
        logged_ = 0;
    }
    if (logged_ >= kLogPerSecond) {
        // Counted until the end of this second, then said in one line.
        if (unlogged_++ == 0) count_.start(int(std::max<qint64>(0, 1000 - window_.elapsed())));
        return;
    }
    ++logged_;
    control_.say(line.substr(0, 200));
}

void Control::osc_message(std::string_view data, const QHostAddress& sender, quint16 port) {
    const QString who = plain(sender).toString();
    std::string error;
    const std::optional<OscMessage> message = parse_osc_message(data, &error);
    if (!message) {
        osc_ignored("osc " + who.toStdString() + ": malformed message ignored (" + error + ", " +
                    std::to_string(data.size()) + " bytes)");
        return;
    }
    const std::string address(message->address);
    const std::string types(message->types);
    QPointer<QUdpSocket> socket = osc_;
    Reply reply = [socket, address, sender, port](int status, const QJsonObject& json) {
        if (!socket) return;
        QJsonObject answer = json;
        answer["status"] = status;
        socket->writeDatagram(osc_reply(address, compact(answer)), sender, port);
    };
    if (address.starts_with("/tqv/cue/")) {
        const QString op = qs(address.substr(9));
        QJsonObject body;
        const auto& args = message->args;
        const auto value = [](const OscArg& a) {
            return a.type == 'i' ? QJsonValue(a.number)
                   : a.type == 's' ? QJsonValue(QString::fromUtf8(a.text.data(), qsizetype(a.text.size())))
                                   : QJsonValue(QJsonValue::Undefined);
        };
        // goto's cue first; one argument more names the devices, as on every route.
        const std::size_t own = op == "goto" ? 1 : 0;
        if (own == 1 && !args.empty()) body["cue"] = value(args[0]);
        // An argument the route cannot take reads as a device that is none (a 400).
        if (args.size() > own) body["device"] = args.size() == own + 1 && !value(args[own]).isUndefined()
                                                    ? value(args[own]) : QJsonValue(false);
        return cue_request(op, body, "osc", who, std::move(reply));
    }
    std::optional<ControlCommand::Kind> kind;
    if (address == "/tqv/page") kind = ControlCommand::Kind::page;
    if (address == "/tqv/startup") kind = ControlCommand::Kind::startup;
    if (address == "/tqv/title") kind = ControlCommand::Kind::title;
    if (!kind) {
        osc_ignored("osc " + who.toStdString() + ": " + address.substr(0, 64) + " ignored: unknown address");
        return reply(404, error_object("unknown address"));
    }
    // line, page (string or integer), and for a title the text and an optional T/F.
    const auto& args = message->args;
    auto text_of = [&](std::size_t i) -> std::string {
        if (args[i].type == 's') return std::string(args[i].text);
        return args[i].type == 'i' ? std::to_string(args[i].number) : std::string();
    };
    const bool title = *kind == ControlCommand::Kind::title;
    // A last argument beyond the route's own names the devices: a number, or "all" or
    // "1,3" as a string.
    std::string own = types;
    const std::size_t base = title ? (types.size() >= 4 && (types[3] == 'T' || types[3] == 'F') ? 4 : 3) : 2;
    const bool device_given = types.size() == base + 1 && (types[base] == 'i' || types[base] == 's');
    if (device_given) own.pop_back();
    const bool pagelike = own == "si" || own == "ss";
    const bool titlelike = own.size() >= 3 && own.size() <= 4 && own[0] == 's' &&
                           (own[1] == 's' || own[1] == 'i') && own[2] == 's' &&
                           (own.size() == 3 || own[3] == 'T' || own[3] == 'F');
    ParsedCommand parsed;
    if (title ? !titlelike : !pagelike) {
        parsed.error = "arguments: " +
                       std::string(title ? "line, page, text[, T|F]" : "line, page") +
                       "[, device] (got ," + types.substr(0, 16) + ")";
    } else {
        const std::string text = title ? text_of(2) : std::string();
        parsed = parse_control_command(*kind, text_of(0), text_of(1), title ? &text : nullptr,
                                       own.size() != 4 || own[3] == 'T');
        std::optional<DeviceChoice> device = DeviceChoice{};
        if (device_given) {
            const OscArg& a = args[base];
            device = parse_device_choice(a.type == 'i' ? QJsonValue(a.number)
                                                       : QJsonValue(QString::fromUtf8(a.text.data(), qsizetype(a.text.size()))),
                                         &parsed.error);
        }
        if (device) {
            parsed.device = *device;
        } else {
            parsed.command.reset();
        }
    }
    command(*kind, std::move(parsed), "osc", who, std::move(reply));
}

void Control::pump(Lane& lane) {
    while (!lane.in_flight && !lane.waiting.empty()) {
        Job job = std::move(lane.waiting.front());
        lane.waiting.pop_front();
        const std::vector<ControlDevice> known = devices();
        auto it = std::find_if(known.begin(), known.end(),
                               [&](const ControlDevice& d) { return d.index == lane.device; });
        Channel* channel = it != known.end() && it->up ? channel_of(*it) : nullptr;
        if (channel == nullptr) {
            // Nothing is kept for later: the device is away now.
            std::string why = it != known.end() ? down_reason(*it) : std::string();
            finish(job, 503, "error", why.empty() ? "the device is not connected" : why);
            continue;
        }
        if (channel->send_path().run_under_way()) {
            finish(job, 409, "error", "a bulk run holds the link");
            continue;
        }
        std::string body = job.body;
        if (!job.read) {
            const Operation& op = job.request->command;
            apply_operation(channel->model(), op);
            body = operation_body(op);
        }
        // The send path may tell the end at once (a broadcast, a link that is down).
        job.body = body;
        lane.in_flight = std::move(job);
        lane.box.clear();
        lane.channel = channel;
        lane.holder = channel == static_cast<Channel*>(&link_) ? nullptr : dynamic_cast<QObject*>(channel);
        lane.ended = Subscription(channel->send_path().exchange_ended,
                                  [this, l = &lane](const ExchangeEnd& end) { lane_ended(*l, end); });
        lane.guard.start();
        lane.in_flight->ticket = channel->send_path().next_ticket();
        if (channel->send_path().send_command(body) == 0 && lane.in_flight) {
            Job unsent = std::move(*lane.in_flight);
            let_go(lane);
            finish(unsent, 500, "error", "the command does not fit a frame");
        }
    }
}

void Control::let_go(Lane& lane) {
    lane.guard.stop();
    // A peer's channel that has gone took its observer list along.
    if (lane.channel != static_cast<Channel*>(&link_) && lane.holder.isNull()) {
        lane.ended.release();
    } else {
        lane.ended.reset();
    }
    lane.in_flight.reset();
    lane.channel = nullptr;
}

int Control::target_device() const {
    int device = 1;
    for (const ControlDevice& d : devices())
        if (d.target) device = d.index;
    return device;
}

void Control::link_exchange_ended(const ExchangeEnd& end) {
    QJsonObject last{{"frame", qs(trimmed_frame(end.frame))},
                     {"outcome", outcome_name(end.kind)},
                     {"answer", qs(end.answer)}};
    last_exchange_ = compact(last).toStdString();
    const Lane* own = own_lane();
    // A dialog's command; ours is confirmed by its lane.
    if (end.kind != ExchangeEnd::Kind::answered || (own != nullptr && own->in_flight->ticket == end.ticket))
        return;
    if (const auto setting = command_setting(end.frame))
        confirm(*setting, "dialog", link_, target_device());
}

void Control::lane_ended(Lane& lane, const ExchangeEnd& end) {
    // A dialog's command in between is none of ours, even with the same body.
    if (!lane.in_flight || lane.in_flight->ticket != end.ticket) return;
    Job job = std::move(*lane.in_flight);
    Channel* channel = lane.channel;
    const std::string box = lane.box;
    const bool read = job.read;
    let_go(lane);
    if (end.kind == ExchangeEnd::Kind::answered) {
        if (const auto setting = command_setting(job.body)) {
            confirm(*setting, job.request->source, *channel, lane.device);
        } else if (const std::optional<ReadItem> item = read ? read_item(job.body) : std::nullopt) {
            // A read: the value the device answered is the channel's record now.
            const Touched touched{item->kind == ReadItem::Kind::page      ? Touched::Kind::page
                                  : item->kind == ReadItem::Kind::startup ? Touched::Kind::startup
                                  : item->kind == ReadItem::Kind::display ? Touched::Kind::display
                                                                          : Touched::Kind::title,
                                  item->kind == ReadItem::Kind::title ? item->slot : item->line};
            announce(touched_paths(channel->model(), touched), job.request->source, *channel, lane.device);
        }
    }
    switch (end.kind) {
        case ExchangeEnd::Kind::answered:
            finish(job, 200, "answer", end.answer.empty() ? "GO" : end.answer);
            break;
        case ExchangeEnd::Kind::error_answer:
            finish(job, 502, "error", box.empty() ? end.answer : box, end.answer);
            break;
        case ExchangeEnd::Kind::timeout:
            finish(job, 504, "error", end.answer);
            break;
        case ExchangeEnd::Kind::not_sent:
        case ExchangeEnd::Kind::lost:
            finish(job, 503, "error", end.answer);
            break;
    }
    // A device that does not answer the read of its state would keep every request behind
    // it waiting as long again.
    if (read && end.kind == ExchangeEnd::Kind::timeout) {
        std::deque<Job> waiting = std::exchange(lane.waiting, {});
        for (Job& j : waiting)
            finish(j, 504, "error", j.read ? "not sent" : "the device did not answer the read of its state");
    }
    // Queued: the send path is still inside its own call.
    if (!lane.waiting.empty())
        QMetaObject::invokeMethod(this, [this, l = &lane] { pump(*l); }, Qt::QueuedConnection);
}

// A command was answered: the value it carried is the device's now.
void Control::confirm(const CommandSetting& setting, const QString& source, Channel& channel,
                      int device) {
    announce(setting_paths(setting), source, channel, device);
}

void Control::announce(const QJsonObject& changes, const QString& source, Channel& channel,
                       int device) {
    // The link's own device is the lines/ of the state; in the server role every device
    // also has its own under devices/N/.
    QJsonObject paths;
    const bool own = &channel == static_cast<Channel*>(&link_);
    for (auto it = changes.begin(); it != changes.end(); ++it) {
        if (own) paths[it.key()] = it.value();
        if (server_role()) paths[device_path(device, it.key())] = it.value();
    }
    state_.apply(source, paths);
}

// An answer line wrote a value into the link's model: it came from the device (a read). An
// answer to our own command ("GO") touches nothing there.
void Control::model_answered(const Touched& touched) {
    state_.apply("device", touched_paths(link_.model(), touched));
}

void Control::link_changed() {
    const Model& m = link_.model();
    QJsonObject link;
    QString status;
    if (m.interface_kind == 0) {
        link["link/kind"] = "serial";
        link["link/target"] = link_.serial().path();
        switch (link_.serial_state()) {
            case DeviceLink::SerialState::open:
                status = "ok";
                break;
            case DeviceLink::SerialState::lost:
                status = "disconnected";
                break;
            case DeviceLink::SerialState::closed:
                status = "connection_failure";
                break;
        }
    } else {
        link["link/kind"] = "tcp";
        std::string target;
        if (m.tcp_role == 0 && m.selected_peer >= 0 && m.selected_peer < kHostListSize) {
            const Ipv4& h = m.host_list[std::size_t(m.selected_peer)];
            target = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                     std::to_string(h[2]) + "." + std::to_string(h[3]) + ":" +
                     slot_text(m.port_number);
        } else {
            target = "peer " + std::to_string(m.selected_peer);
        }
        link["link/target"] = qs(target);
        status = m.tcp_connected == 1 && link_.tcp().link_up() ? "ok"
                 : link_.tcp_connecting()                       ? "connecting"
                 : link_.tcp_lost()                             ? "disconnected"
                                                                : "connection_failure";
    }
    // In the server role the devices say it (devices_changed).
    if (!server_role()) link["link/status"] = status;
    state_.apply("device", link);
    devices_changed();
}

void Control::finish(Job& job, int status, const std::string& key, const std::string& text,
                     const std::string& answer) {
    Request& r = *job.request;
    if (job.read) {
        // Nobody waits for a read: one line when the last of them has ended.
        r.results[job.slot] = {status, QJsonObject{{qs(key), qs(text)}}};
        if (--r.open > 0) return;
        std::size_t answered = 0;
        std::string first_failure;
        for (const auto& [s, result] : r.results) {
            answered += s == 200;
            if (s != 200 && first_failure.empty()) first_failure = result.value("error").toString().toStdString();
        }
        told(r.source, r.peer,
             QStringLiteral("%1 read, %2/%3 answered%4")
                 .arg(r.command.kind == ControlCommand::Kind::title ? "titles" : "pages")
                 .arg(answered)
                 .arg(r.results.size())
                 .arg(first_failure.empty() ? QString() : QStringLiteral(" (") + qs(first_failure) + ")"));
        return;
    }
    char ms[48];
    std::snprintf(ms, sizeof ms, " (%.1f ms)", double(r.age.nsecsElapsed()) / 1e6);
    const QString frame = qs(trimmed_frame(job.body));
    const QString device = r.many ? QStringLiteral(" device %1").arg(job.device) : QString();
    told(r.source, r.peer,
         (frame.isEmpty() ? QString::fromLatin1(operation_name(r.command.kind)) : frame) + " " +
             (status == 200 ? qs(text) : QString::number(status) + " " + qs(text)) + device,
         ms);
    QJsonObject result{{qs(key), qs(text)}};
    if (!answer.empty()) result["answer"] = qs(answer);
    if (r.many) {
        result["device"] = job.device;
        result["address"] = job.address;
    }
    r.results[job.slot] = {status, result};
    if (--r.open > 0 || !r.reply) return;
    if (!r.many) {
        result["request"] = qint64(r.number);
        r.reply(status, result);
        return;
    }
    // One result per device, in the order named; 200 only when every device took it.
    QJsonArray results;
    bool all_ok = true;
    for (std::size_t i = 0; i < r.results.size(); ++i) {
        QJsonObject one = r.results[i].second;
        all_ok = all_ok && r.results[i].first == 200;
        one["status"] = r.results[i].first;
        results.append(one);
    }
    r.reply(all_ok ? 200 : 502, {{"results", results}, {"request", qint64(r.number)}});
}

bool Control::bulk_under_way() const {
    return link_.send_path().run_under_way();
}

QByteArray Control::status_json() const {
    const QJsonObject& s = state_.state();
    QJsonObject link{{"kind", s.value("link/kind")},
                     {"target", s.value("link/target")},
                     {"up", s.value("link/status") == QJsonValue("ok")},
                     {"status", s.value("link/status")},
                     {"devices", s.value("link/devices")},
                     {"down", s.value("link/down")}};
    // Only what the device confirmed; null before it has.
    QJsonObject pages;
    for (int i = 0; i < kTitleLines; ++i)
        pages[line_label(i)] = s.value(line_path(i, "page"));
    int waiting = 0;
    for (const auto& [device, l] : lanes_) waiting += int(l->waiting.size()) + (l->in_flight ? 1 : 0);
    QJsonObject status{{"link", link},
                       {"run", bulk_under_way()},
                       {"waiting", waiting},
                       {"pages", pages},
                       {"locked", settings_.locked}};
    status["last_exchange"] =
        last_exchange_.empty()
            ? QJsonValue()
            : QJsonValue(QJsonDocument::fromJson(last_exchange_.c_str()).object());
    return compact(status);
}

QByteArray Control::titles_json() const {
    const Model& m = link_.model();
    QJsonObject lines;
    for (int i = 0; i < kTitleLines; ++i) {
        QJsonObject pages;
        for (int p = 0; p < kPages; ++p)
            pages[QStringLiteral("%1").arg(p + 1, 2, 10, QLatin1Char('0'))] =
                title_text(m, Model::title_slot(i, p));
        lines[line_label(i)] = pages;
    }
    return compact({{"titles", lines}});
}

// ---------------------------------------------------------------- cues

namespace {

QJsonValue cue_position(const CueList& list, std::optional<std::size_t> index) {
    if (!index) return QJsonValue();
    QJsonObject json{{"cue", int(*index) + 1}, {"name", qs(list.cues()[*index].name)}};
    // The current cue failed part-way: it stays current until the next GO.
    if (index == list.current() && list.current_failed()) {
        json["failed"] = true;
        json["message"] = qs(list.failure());
    }
    return json;
}

int outcome_status(RunEnd end) {
    switch (end) {
        case RunEnd::completed: return 200;
        case RunEnd::stopped: return 409;
        case RunEnd::timeout: return 504;
        case RunEnd::link_lost: return 503;
        default: return 502;
    }
}

QJsonObject outcome_json(const CueOutcome& o) {
    QJsonArray steps;
    for (std::size_t i = 0; i < o.steps.size(); ++i)
        steps.append(QJsonObject{{"step", qs(o.steps[i])},
                                 {"state", i < o.states.size() ? step_state_name(o.states[i]) : ""}});
    QJsonObject json{{"cue", int(o.index) + 1},
                     {"name", qs(o.name)},
                     {"outcome", run_end_text(o.end)},
                     {"steps", steps}};
    if (!o.ok()) json["error"] = qs(o.message);
    return json;
}

// A cue that ran on several devices (or was sent to a list of them): one result each, as
// a request to several devices answers; 200 only when every device completed it.
std::pair<int, QJsonObject> outcomes_json(const CueOutcome& o) {
    QJsonArray results;
    for (const CueOutcome& e : o.devices) {
        QJsonObject one = outcome_json(e);
        one["device"] = e.device;
        one["status"] = outcome_status(e.end);
        results.append(one);
    }
    return {o.ok() ? 200 : 502, {{"cue", int(o.index) + 1}, {"name", qs(o.name)}, {"results", results}}};
}

int go_status(CueShow::Go go) {
    return go == CueShow::Go::link_down ? 503 : 409;
}

}  // namespace

void Control::set_cues(CueShow* cues) {
    cues_ = cues;
    if (cues_ == nullptr) return;
    // A cue goes to the devices a request names, found as every request's are.
    cues_->resolve = [this](const DeviceChoice& choice) {
        std::vector<CueDevice> out;
        for (const ControlDevice& d : targets_of(choice)) {
            CueDevice c{d.index, nullptr, down_reason(d)};
            if (c.down.empty()) c.channel = channel_of(d);
            if (c.down.empty() && (c.channel == nullptr || !c.channel->reachable()))
                c.down = d.entry == 0 && link_.tcp_connecting() ? "the link is down; connecting again"
                                                                : "the device is not connected";
            out.push_back(std::move(c));
        }
        return out;
    };
    state_.apply("cue", {{"cue/running", QJsonValue()}, {"cue/end", QJsonValue()},
                         {"cue/refused", QJsonValue()}});
    connect(cues_, &CueShow::list_changed, this, [this] {
        state_.apply("cue", {{"cue/list", QJsonObject{{"count", int(cues_->list().size())},
                                                       {"loaded", ++cue_loads_}}}});
    });
    connect(cues_, &CueShow::position_changed, this, &Control::cue_events);
    connect(cues_, &CueShow::cue_started, this, [this](int index, int total) {
        state_.apply("cue", {{"cue/running", QJsonObject{{"cue", index + 1},
                                                         {"name", qs(cues_->list().cues()[std::size_t(index)].name)},
                                                         {"step", 0},
                                                         {"total", total}}}});
    });
    connect(cues_, &CueShow::cue_stepped, this, [this](int, int step) {
        QJsonObject running = state_.value("cue/running").toObject();
        running["step"] = step;
        state_.apply("cue", {{"cue/running", running}});
    });
    connect(cues_, &CueShow::cue_ended, this, [this](const CueOutcome& o) {
        QJsonObject end = outcome_json(o);
        end["run"] = ++cue_runs_;  // the same cue ending twice alike is still news
        state_.apply("cue", {{"cue/running", QJsonValue()}, {"cue/end", end}});
    });
    connect(cues_, &CueShow::go_refused, this, [this](const QString& source, const QString& why, int count) {
        state_.apply("cue", {{"cue/refused", QJsonObject{{"source", source}, {"reason", why}, {"count", count}}}});
    });
    state_.apply("cue", {{"cue/list", QJsonObject{{"count", int(cues_->list().size())},
                                                  {"loaded", cue_loads_}}}});
    cue_events();
}

void Control::cue_events() {
    const CueList& list = cues_->list();
    state_.apply("cue", {{"cue/current", cue_position(list, list.current())},
                         {"cue/next", cue_position(list, list.next())}});
}

QByteArray Control::cues_json() const {
    if (cues_ == nullptr) return compact(error_object("no cue list"));
    const CueList& list = cues_->list();
    QJsonArray cues;
    for (std::size_t i = 0; i < list.size(); ++i) {
        QJsonArray steps;
        for (const CueStep& s : list.cues()[i].steps) steps.append(qs(step_text(s)));
        cues.append(QJsonObject{{"cue", int(i) + 1}, {"name", qs(list.cues()[i].name)}, {"steps", steps}});
    }
    auto number = [](std::optional<std::size_t> i) { return i ? QJsonValue(int(*i) + 1) : QJsonValue(); };
    QJsonObject json{{"cues", cues},
                     {"current", number(list.current())},
                     {"next", number(list.next())},
                     {"running", cues_->running() ? number(cues_->shown_index()) : QJsonValue()},
                     {"failed", list.current_failed()}};
    if (list.current_failed()) json["message"] = qs(list.failure());
    return compact(json);
}

void Control::cue_request(const QString& op, const QJsonObject& body, const QString& source,
                          const QString& peer, Reply reply) {
    auto answer = [&](int status, const QJsonObject& json, const QString& what) {
        const QString line = "cue/" + op + ": " + (status == 200 ? QString() : QString::number(status) + " ") + what;
        // A request that cannot be answered (RossTalk's) may come in a flood: its refusals
        // are logged rate-limited.
        if (!reply && status != 200)
            return rosstalk_ignored((source + " " + peer + ": " + line).toStdString());
        told(source, peer, line);
        if (reply) reply(status, json);
    };
    if (cues_ == nullptr) return answer(404, error_object("no cue list"), "no cue list");
    const CueList& list = cues_->list();
    // Every cue route takes "device" as every other route does; back and goto only move
    // the list, but a panel may send them the same body as its GO.
    std::string bad_device;
    const std::optional<DeviceChoice> device = parse_device_choice(body.value("device"), &bad_device);
    if (!device) return answer(400, error_object(qs(bad_device)), qs(bad_device));
    auto position = [&] {
        return QJsonObject{{"current", cue_position(list, list.current())},
                           {"next", cue_position(list, list.next())}};
    };
    if (op == "go") {
        QPointer<Control> self(this);
        const bool many = device->many();
        const CueShow::Go go = cues_->go(*device, [self, source, peer, reply, many](const CueOutcome& o) {
            if (!self) return;
            self->told(source, peer, QStringLiteral("cue/go: \"%1\" %2").arg(qs(o.name), run_end_text(o.end)));
            if (!reply) return;
            // A single device keeps the single answer; a list, or steps of the cue sent to
            // other devices, answer one result per device.
            if (many || o.devices.size() > 1) {
                const auto [status, json] = outcomes_json(o);
                return reply(status, json);
            }
            reply(outcome_status(o.end), outcome_json(o));
        });
        if (go == CueShow::Go::started) return;
        if (go == CueShow::Go::cue_running) cues_->refused(source + " " + peer, go);
        const QString why = qs(cues_->refusal().empty() ? CueShow::go_text(go) : cues_->refusal());
        return answer(go_status(go), error_object(why), why);
    }
    if (op == "back") {
        if (!cues_->back()) return answer(409, error_object("no cue before the next one"), "at the top");
        return answer(200, position(), "back");
    }
    if (op == "goto") {
        const QJsonValue cue = body.value("cue");
        std::optional<std::size_t> index;
        if (cue.isString()) index = list.find(cue.toString().toStdString());
        if (cue.isDouble() && cue.toDouble() >= 1 && cue.toDouble() <= double(list.size()) &&
            cue.toDouble() == double(cue.toInt()))
            index = std::size_t(cue.toInt() - 1);
        if (!index) return answer(404, error_object("no such cue"), "no such cue");
        cues_->select_next(*index);
        return answer(200, position(), "next " + QString::number(*index + 1));
    }
    if (op == "load") {
        const QJsonValue csv = body.value("csv");
        if (!csv.isString()) return answer(400, error_object("\"csv\": the cue file as a string"), "no csv");
        std::string why;
        if (!cues_->load_csv(csv.toString().toStdString(), &why))
            return answer(cues_->running() ? 409 : 400, error_object(qs(why)), qs(why));
        return answer(200, QJsonObject{{"cues", int(list.size())}},
                      QString::number(list.size()) + " cues loaded");
    }
    answer(404, error_object("no such cue route"), "unknown");
}

// ---------------------------------------------------------------- RossTalk

bool Control::open_rosstalk(const QHostAddress& address, std::string* error) {
    rosstalk_ = new QTcpServer(this);
    rosstalk_->setMaxPendingConnections(kMaxRossTalkClients);
    if (!rosstalk_->listen(address, quint16(settings_.rosstalk_port))) {
        *error = "control: cannot listen for RossTalk on " + settings_.bind + ":" +
                 std::to_string(settings_.rosstalk_port);
        return false;
    }
    rosstalk_port_ = rosstalk_->serverPort();
    connect(rosstalk_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = rosstalk_->nextPendingConnection()) rosstalk_accept(socket);
    });
    return true;
}

void Control::rosstalk_accept(QTcpSocket* socket) {
    const QString peer = plain(socket->peerAddress()).toString();
    if (!allowed(socket->peerAddress())) {
        rosstalk_ignored("rosstalk " + peer.toStdString() + ": closed: client not allowed");
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Every slot taken: the connection silent for longest makes room, so that idle
    // connections cannot keep a mixer out.
    std::erase_if(rosstalk_clients_, [](const auto& c) { return c->socket.isNull(); });
    if (int(rosstalk_clients_.size()) >= kMaxRossTalkClients) {
        const auto idlest = std::max_element(
            rosstalk_clients_.begin(), rosstalk_clients_.end(),
            [](const auto& a, const auto& b) { return a->idle.elapsed() < b->idle.elapsed(); });
        const std::shared_ptr<RossTalkClient> evicted = *idlest;
        rosstalk_clients_.erase(idlest);
        rosstalk_ignored("rosstalk " + evicted->peer.toStdString() + ": closed: idle longest (" +
                         std::to_string(evicted->idle.elapsed() / 1000) + " s), for a new client");
        evicted->socket->abort();
    }
    socket->setReadBufferSize(64 * 1024);
    auto client = std::make_shared<RossTalkClient>();
    client->socket = socket;
    client->peer = peer;
    client->idle.start();
    rosstalk_clients_.push_back(client);
    // The connection holds the client, which lives as long as its socket.
    connect(socket, &QTcpSocket::readyRead, this, [this, client] { rosstalk_read(*client); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    rosstalk_ignored("rosstalk " + peer.toStdString() + ": connected");
}

void Control::rosstalk_read(RossTalkClient& client) {
    QTcpSocket* socket = client.socket;
    if (socket == nullptr) return;
    client.idle.restart();
    const QString& peer = client.peer;
    const std::string who = "rosstalk " + peer.toStdString() + ": ";
    while (socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(64 * 1024);
        const RossTalkLines::Fed fed =
            client.lines.feed(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        if (fed.dropped > 0) rosstalk_ignored(who + std::to_string(fed.dropped) + " line(s) over 4 KiB dropped");
        // A web page can make a browser send HTTP here: none of it is taken, a body holding
        // GO included. Judged until the connection has sent a command of its own.
        for (std::size_t i = 0; !client.spoken && i < fed.lines.size(); ++i) {
            if (parse_rosstalk(fed.lines[i]).kind != RossTalkCommand::Kind::unknown) break;
            if (looks_like_http(fed.lines[i])) {
                rosstalk_ignored(who + "closed: HTTP is not RossTalk");
                socket->abort();
                return;
            }
        }
        int refused = 0;
        for (const std::string& line : fed.lines) {
            const RossTalkCommand c = parse_rosstalk(line);
            if (c.kind == RossTalkCommand::Kind::unknown) {
                rosstalk_ignored(who + "ignored: " + line.substr(0, 64));
                continue;
            }
            client.spoken = true;
            if (settings_.locked) {
                rosstalk_ignored(who + "dropped: remote control is locked");
            } else if (cues_ == nullptr ||
                       (c.kind == RossTalkCommand::Kind::fire &&
                        (c.cue < 1 || std::size_t(c.cue) > cues_->list().size()))) {
                rosstalk_ignored(who + "no cue " + std::to_string(c.cue));
            } else if (cues_->running()) {
                ++refused;
            } else {
                // GPI n fires cue n: chosen as next, then GO.
                if (c.kind == RossTalkCommand::Kind::fire) cues_->select_next(std::size_t(c.cue - 1));
                QJsonObject body;
                if (!c.device.empty()) body["device"] = qs(c.device);
                cue_request("go", body, "rosstalk", peer, {});
            }
        }
        // A burst of GO while a cue runs: one event and one line, not thousands.
        if (refused > 0) {
            cues_->refused("rosstalk " + peer, CueShow::Go::cue_running, refused);
            rosstalk_ignored(who + std::to_string(refused) + " GO refused: a cue is running");
        }
    }
}

void ControlUi::box(Box kind, std::string_view text, std::string_view caption) {
    if (control.isNull() || !control->command_in_flight()) {
        inner_.box(kind, text, caption);
        return;
    }
    control->box_shown(text);
}

std::vector<std::string> split_addresses(const std::string& list) {
    std::vector<std::string> out;
    std::string word;
    for (char c : list + ",") {
        if (c == ',' || c == ' ' || c == '\t') {
            if (!word.empty()) out.push_back(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return out;
}

std::unique_ptr<Control> start_control(DeviceLink& link, const ControlConfig& config,
                                       std::string* error) {
    if (config.http_port == 0 && config.osc_port == 0 && config.rosstalk_port == 0) return nullptr;
    ControlSettings settings;
    settings.http_port = config.http_port != 0 ? config.http_port : -1;
    settings.osc_port = config.osc_port != 0 ? config.osc_port : -1;
    settings.rosstalk_port = config.rosstalk_port != 0 ? config.rosstalk_port : -1;
    settings.bind = config.bind;
    settings.token = config.token;
    settings.allow = split_addresses(config.allow);
    settings.hosts = split_addresses(config.hosts);
    settings.origins = split_addresses(config.origins);
    settings.locked = config.lock;
    auto control = std::make_unique<Control>(link);
    if (!control->start(settings, error)) return nullptr;
    return control;
}

}  // namespace tqv
