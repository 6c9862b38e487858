#include "control/http_control.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QWebSocket>
#include <algorithm>
#include <string_view>

#include "control/cue_routes.h"
#include "control/executor.h"
#include "control/http_front.h"
#include "control/json.h"
#include "control/picture_json.h"
#include "control/state.h"
#include "control/state_feed.h"
#include "control/web_panel.h"

namespace tqv {

namespace {

using Reply = RequestExecutor::Reply;

// The Allow header of `path` ("GET, HEAD, OPTIONS"); empty when there is no such route.
std::string allowed_methods(const std::string& path) {
    std::string out;
    bool get = false;
    for (const HttpControl::Route& r : HttpControl::routes()) {
        if (path != r.path) continue;
        if (std::string_view(r.method) == "GET") {
            get = true;
        } else {
            out += std::string(r.method) + ", ";
        }
    }
    if (get) out = "GET, HEAD, " + out;
    return out.empty() ? out : out + "OPTIONS";
}

// A request's answer as the JSON text of the HTTP answer.
Reply json_reply(const HttpControl::Call& call) {
    return [answer = call.answer](int status, const QJsonObject& json) { answer(status, compact(json)); };
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

}  // namespace

struct HttpControl::Client {
    QPointer<QWebSocket> socket;
    QString peer;
    bool closing = false;  // closed for its backlog: nothing more is sent to it
};

HttpControl::HttpControl(const ControlGate& gate, RequestExecutor& executor, StateFeed& feed,
                         CueRoutes& cues, const ControlState& state, const ControlLog& log)
    : gate_(gate), executor_(executor), feed_(feed), cues_(cues), state_(state), log_(log) {
    // Pings are answered inside Qt WebSockets with no signal to us: the backlog is looked
    // at every kBacklogWatchMs while clients are connected, so that a ping flood is
    // stopped within that much of its pongs.
    backlog_watch_.setInterval(kBacklogWatchMs);
    connect(&backlog_watch_, &QTimer::timeout, this, [this] {
        const auto clients = clients_;
        for (const auto& client : clients) over_backlog(*client, 0);
    });
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

}

HttpControl::~HttpControl() {
    // Aborting makes a socket say it is gone: nothing of this may hear it any more.
    for (const auto& client : clients_) {
        if (!client->socket) continue;
        client->socket->disconnect(this);
        client->socket->abort();
    }
}

const HttpControl::Route* HttpControl::route(std::string_view method, std::string_view path) {
    if (method == "HEAD") method = "GET";
    for (const Route& r : routes())
        if (method == r.method && path == r.path) return &r;
    return nullptr;
}

bool HttpControl::open(const QHostAddress& address, int port, const std::string& bind,
                       std::string* error) {
    front_ = new HttpFront(this);
    front_->log = [this](const std::string& line) { log_.say(line); };
    front_->check = [this](const HttpHead& head, const QHostAddress& peer) -> HttpFront::Refusal {
        const Route* r = route(head.method, head.path);
        const bool open = !head.websocket && (head.method == "GET" || head.method == "HEAD") &&
                          r != nullptr && r->served == Served::file;
        std::optional<Refused> refused = gate_.check(head, peer, open);
        if (!refused) refused = route_refusal(head);
        if (!refused) return {};
        log_.told(head.websocket ? "ws" : "http", plain(peer).toString(),
                  qs(head.method.substr(0, 16) + " " + head.path.substr(0, 64)) + ": " +
                      QString::number(refused->status) + " " + refused->text);
        return {refused->status, compact(error_object(refused->text))};
    };
    front_->request = [this](const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                             HttpFront::Answer answer) {
        request(head, body, peer, std::move(answer));
    };
    front_->websocket = [this](QWebSocket* socket) { add_client(socket); };
    // Answers ready at once: the panel's files, and what OPTIONS asks. No CORS permission is
    // ever given: a page of another origin may not read anything here.
    front_->file = [](const HttpHead& head) -> HttpFront::File {
        if (head.method == "OPTIONS")
            return {200, "Allow: " + QByteArray::fromStdString(allowed_methods(head.path)) + "\r\n", {}};
        const Route* r = route(head.method, head.path);
        if (r == nullptr || r->served != Served::file) return {};
        StaticAnswer a = web_panel_answer(head);
        return {a.status, std::move(a.headers), std::move(a.body)};
    };
    // A whole cue file may come in one request; every other body stays small.
    front_->max_body = [](const HttpHead& head) {
        return head.path == "/api/cue/load" ? kMaxCueLoadBody : kMaxBody;
    };
    if (!front_->listen(address, quint16(port))) {
        *error = "control: cannot listen for HTTP on " + bind + ":" + std::to_string(port);
        return false;
    }
    port_ = front_->port();
    return true;
}

std::optional<Refused> HttpControl::route_refusal(const HttpHead& head) const {
    // Only the events route upgrades; an upgrade asked for anywhere else never reaches Qt
    // WebSockets.
    if (head.websocket) {
        const Route* r = route("GET", head.path);
        if (r == nullptr || r->served != Served::upgrade)
            return Refused{404, "WebSocket upgrade only on /api/events"};
        if (head.method != "GET") return Refused{405, "method not allowed"};
        if (int(clients_.size()) >= kMaxClients) return Refused{503, "too many clients"};
        return std::nullopt;
    }
    const std::string methods = allowed_methods(head.path);
    if (methods.empty()) return Refused{404, "no such route"};
    if (head.method == "OPTIONS") return std::nullopt;
    const std::string method = head.method == "HEAD" ? "GET" : head.method;
    if (!has_method(methods, method)) return Refused{405, "method not allowed"};
    if (route(method, head.path)->served == Served::upgrade) return Refused{426, "WebSocket upgrade only"};
    if (method == "POST" && body_type(head.content_type) == BodyType::refused)
        return Refused{415, "the body is JSON: Content-Type application/json"};
    return std::nullopt;
}

void HttpControl::request(const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                          std::function<void(int, const QByteArray&)> answer) {
    const QString who = plain(peer).toString();
    const Route* r = route(head.method, head.path);
    // The route's checks let nothing else come here.
    if (r == nullptr || r->handler == nullptr) return answer(404, compact(error_object("no such route")));
    if (head.method == "GET" || head.method == "HEAD") {
        log_.told("http", who, qs(head.method + " " + head.path) + ": 200");
        return (this->*r->handler)({head, body, who, answer});
    }
    // A body typed as text or as a form is taken only when it is a JSON object: a browser's
    // form percent-encodes braces and quotes. An empty one is no body (curl -d '', urllib).
    if (body_type(head.content_type) == BodyType::loose && !body.trimmed().isEmpty() &&
        !QJsonDocument::fromJson(body).isObject()) {
        log_.told("http", who, qs("POST " + head.path) + ": 415 not a JSON object");
        return answer(415, compact(error_object("the body is JSON: Content-Type application/json")));
    }
    (this->*r->handler)({head, body, who, answer});
}

void HttpControl::status(const Call& call) { call.answer(200, feed_.status_json(gate_.locked())); }

void HttpControl::titles(const Call& call) { call.answer(200, feed_.titles_json()); }

void HttpControl::devices(const Call& call) { call.answer(200, feed_.devices_json()); }

void HttpControl::openapi(const Call& call) { call.answer(200, openapi_document()); }

void HttpControl::cue_list(const Call& call) {
    call.answer(cues_.cues() != nullptr ? 200 : 404, cues_.cues_json());
}

void HttpControl::picture(const Call& call) {
    int status = 200;
    const QByteArray picture = picture_answer(executor_.fleet(), call.head.query, &status);
    call.answer(status, picture);
}

void HttpControl::cue(const Call& call) {
    const QJsonDocument doc = QJsonDocument::fromJson(call.body);
    const QString op = qs(call.head.path.substr(9));
    Reply reply = json_reply(call);
    if (!call.body.trimmed().isEmpty() && !doc.isObject()) {
        log_.told("http", call.who, "cue/" + op + ": 400 body is not a JSON object");
        return reply(400, error_object("body is not a JSON object"));
    }
    cues_.request(op, doc.object(), "http", call.who, std::move(reply));
}

void HttpControl::command(const Call& call) {
    const std::string& path = call.head.path;
    const ControlCommand::Kind kind = path == "/api/page"      ? ControlCommand::Kind::page
                                      : path == "/api/startup" ? ControlCommand::Kind::startup
                                                               : ControlCommand::Kind::title;
    executor_.submit(kind, parse_command_body(kind, call.body), "http", call.who, json_reply(call));
}

void HttpControl::read(const Call& call) {
    auto answer = [&](int status, const QJsonObject& json, const QString& what) {
        log_.told("http", call.who, "read: " + QString::number(status) + " " + what);
        call.answer(status, compact(json));
    };
    const QJsonDocument doc = QJsonDocument::fromJson(call.body);
    if (!doc.isObject()) {
        return answer(400, error_object("body is not a JSON object"), "body is not a JSON object");
    }
    const QJsonObject body = doc.object();
    const QString what = body.value("what").toString();
    if (what != "titles" && what != "pages")
        return answer(400, error_object("what: \"titles\" or \"pages\""), "bad what");
    std::string error;
    const std::optional<DeviceChoice> choice =
        body.contains("device") ? parse_device_choice(body.value("device"), &error) : DeviceChoice{};
    if (!choice) return answer(400, error_object(qs(error)), qs(error));
    const std::vector<FleetDevice> targets = executor_.targets_of(*choice);
    if (targets.empty())
        return answer(503, {{"what", what}, {"results", QJsonArray()}, {"error", "no device connected"}}, "no device");
    const bool titles = what == "titles";
    // One result per device, also for one: a panel reads every answer alike. The status is
    // that one device's, or 202 when every device named began.
    QJsonArray results;
    bool all = true;
    int status = 202;
    for (const FleetDevice& d : targets) {
        const auto [one, text] = executor_.read_device(d, titles);
        results.append(QJsonObject{{one == 202 ? "answer" : "error", qs(text)}, {"device", d.number}, {"status", one}});
        all = all && one == 202;
        status = one;
    }
    if (choice->many()) status = all ? 202 : 502;
    answer(status, {{"what", what}, {"results", results}}, all ? "reading " + what : "not every device");
}

void HttpControl::add_client(QWebSocket* socket) {
    const QString peer = plain(socket->peerAddress()).toString();
    if (int(clients_.size()) >= kMaxClients) {
        log_.told("ws", peer, "503 too many clients");
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
        log_.told("ws", gone->peer, "closed");
    });
    if (!backlog_watch_.isActive()) backlog_watch_.start();
    log_.told("ws", peer, "connected");
    send_to(*c, QString::fromUtf8(compact({{"type", "state"}, {"seq", qint64(state_.seq())}, {"state", state_.state()}})));
}

void HttpControl::send_to(Client& client, const QString& text) {
    if (client.closing || !client.socket || client.socket->state() != QAbstractSocket::ConnectedState)
        return;
    // A client that stops reading must not make us hold more and more for it.
    if (over_backlog(client, text.size())) return;
    client.socket->sendTextMessage(text);
}

// Everything queued to the client counts: our messages, and the pongs with which Qt
// WebSockets answers its pings by itself, unseen by us (a client can flood pings and never
// read the pongs). The socket's own count of bytes to write holds both.
bool HttpControl::over_backlog(Client& client, qint64 adding) {
    if (client.closing || !client.socket) return client.closing;
    if (client.socket->bytesToWrite() + adding <= kMaxClientBacklog) return false;
    log_.told("ws", client.peer, "closed: more than 1 MiB waiting for it");
    // Not now: the caller may be going through the list of clients this would change.
    client.closing = true;
    QMetaObject::invokeMethod(client.socket, &QWebSocket::abort, Qt::QueuedConnection);
    return true;
}

void HttpControl::client_message(Client& client, const QByteArray& message) {
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
    if (gate_.locked()) {
        log_.told("ws", client.peer, "423 remote control is locked");
        return reply(423, error_object("remote control is locked"));
    }
    if (!request.cue_op.isEmpty())
        return cues_.request(request.cue_op, request.body, "ws", client.peer, std::move(reply));
    const auto kind = request.parsed.command ? request.parsed.command->kind
                                             : ControlCommand::Kind::page;
    executor_.submit(kind, request.parsed, "ws", client.peer, std::move(reply));
}

}  // namespace tqv
