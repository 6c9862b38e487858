#include "control/control.h"

#include <lo/lo.h>

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QNetworkDatagram>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtEndian>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/codec.h"
#include "core/commands.h"
#include "core/config.h"
#include "core/texts.h"
#include "core/titles.h"
#include "link/device_link.h"

namespace tqv {

namespace {

using Status = QHttpServerResponder::StatusCode;

constexpr std::array<const char*, kTitleLines> kLineNames = {"1T", "1B", "2T", "2B"};

std::string upper(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

std::string page_name(int page) { return page >= kAutoPage ? "AUTO" : std::to_string(page + 1); }

const char* kind_name(ExchangeEnd::Kind kind) {
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

void reply(QHttpServerResponder& responder, Status status, const QJsonObject& json) {
    responder.write(QJsonDocument(json).toJson(QJsonDocument::Compact), "application/json", status);
}

std::string trimmed_frame(std::string frame) {
    while (!frame.empty() && (frame.back() == '\n' || frame.back() == '\r')) frame.pop_back();
    return frame;
}

bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

ParsedCommand parse_control_command(ControlCommand::Kind kind, const std::string& line,
                                    const std::string& page, const std::string* text, bool memory) {
    ParsedCommand r;
    ControlCommand c;
    c.kind = kind;
    c.memory = memory;
    c.line = -1;
    for (int i = 0; i < kTitleLines; ++i)
        if (upper(line) == kLineNames[std::size_t(i)]) c.line = i;
    if (c.line < 0) {
        r.error = "unknown line \"" + line + "\": 1T, 1B, 2T or 2B";
        return r;
    }
    const bool title = kind == ControlCommand::Kind::title;
    if (!title && upper(page) == "AUTO") {
        c.page = kAutoPage;
    } else {
        int value = 0;
        bool digits = !page.empty() && page.size() <= 2;
        for (char ch : page) {
            digits = digits && std::isdigit(static_cast<unsigned char>(ch));
            value = value * 10 + (ch - '0');
        }
        if (!digits || value < 1 || value > kPages) {
            r.error = "page \"" + page + "\" out of range: " + (title ? "1..64" : "1..64 or AUTO");
            return r;
        }
        c.page = value - 1;
    }
    if (title) {
        if (text == nullptr) {
            r.error = "no text";
            return r;
        }
        const auto bytes = utf8_to_cp932(*text);
        if (!bytes) {
            r.error = std::string("text cannot be sent: ") + text::kNotJis;
            return r;
        }
        // The device shows 14 double-byte characters; the builder refuses anything else.
        Model scratch;
        set_slot_text(scratch.title(c.line, c.page), *bytes);
        std::array<char, 29> padded{};
        if (bytes->size() > std::size_t(kTitleMaxBytes) ||
            !pad_title(scratch, Model::title_slot(c.line, c.page), padded)) {
            r.error = "text cannot be sent: full-width characters only, at most 14";
            return r;
        }
        if (!build_title_body(memory ? 1 : 0, Model::title_slot(c.line, c.page), padded)) {
            r.error = std::string("text cannot be sent: ") + text::kNotJis;
            return r;
        }
        c.text = *bytes;
    }
    r.command = std::move(c);
    return r;
}

struct Control::Request {
    ControlCommand command;
    std::uint64_t number = 0;
    std::optional<QHttpServerResponder> responder;  // none for OSC
    QPointer<QTcpSocket> socket;                    // gone when the client has left
    QElapsedTimer age;
    std::string origin() const { return responder ? "http" : "osc"; }
};

Control::Control(DeviceLink& link, QObject* parent) : QObject(parent), link_(link) {
    guard_.setSingleShot(true);
    guard_.setInterval(kGuardMs);
    connect(&guard_, &QTimer::timeout, this, [this] {
        if (!in_flight_) return;
        auto request = std::move(in_flight_);
        finish(*request, 504, "error", "no end of the exchange was told in time");
        pump();
    });
    exchange_ends_ = Subscription(link_.send_path().exchange_ended,
                                  [this](const ExchangeEnd& end) { exchange_ended(end); });
}

Control::~Control() = default;

void Control::box_shown(std::string_view text) {
    in_flight_box_ = text;
    say("control: " + in_flight_box_);
}

void Control::say(const std::string& line) const {
    if (log) {
        log(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

bool Control::start(const ControlSettings& settings, std::string* error) {
    settings_ = settings;
    QHostAddress address;
    if (!address.setAddress(qs(settings.bind))) {
        *error = "control: not an address: " + settings.bind;
        return false;
    }
    if (settings.http_port >= 0) {
        http_ = std::make_unique<QHttpServer>();
        http_->route("/api/status", QHttpServerRequest::Method::Get,
                     [this](const QHttpServerRequest& request, QHttpServerResponder&& responder) {
                         if (!authorized(request)) {
                             reply(responder, Status::Unauthorized, {{"error", "unauthorized"}});
                             return;
                         }
                         responder.write(status_json(), "application/json");
                     });
        const std::pair<const char*, ControlCommand::Kind> routes[] = {
            {"/api/page", ControlCommand::Kind::page},
            {"/api/startup", ControlCommand::Kind::startup},
            {"/api/title", ControlCommand::Kind::title},
        };
        for (const auto& [route, kind] : routes) {
            http_->route(route, QHttpServerRequest::Method::Post,
                         [this, kind = kind](const QHttpServerRequest& request,
                                             QHttpServerResponder&& responder) {
                             handle_http(request, std::move(responder), kind);
                         });
        }
        http_port_ = http_->listen(address, quint16(settings.http_port));
        if (http_port_ == 0) {
            *error = "control: cannot listen for HTTP on " + settings.bind + ":" +
                     std::to_string(settings.http_port);
            return false;
        }
    }
    if (settings.osc_port >= 0) {
        osc_ = new QUdpSocket(this);
        if (!osc_->bind(address, quint16(settings.osc_port))) {
            *error = "control: cannot listen for OSC on " + settings.bind + ":" +
                     std::to_string(settings.osc_port);
            return false;
        }
        osc_port_ = osc_->localPort();
        connect(osc_, &QUdpSocket::readyRead, this, &Control::read_osc);
    }
    return true;
}

bool Control::authorized(const QHttpServerRequest& request) const {
    if (settings_.token.empty()) return true;
    return request.value("Authorization") == QByteArray("Bearer ") + settings_.token.c_str();
}

bool Control::bulk_under_way() const {
    return link_.send_path().run_under_way();
}

void Control::handle_http(const QHttpServerRequest& request, QHttpServerResponder&& responder,
                          ControlCommand::Kind kind) {
    auto refuse = [&responder](Status status, const QString& message) {
        reply(responder, status, {{"error", message}});
    };
    if (!authorized(request)) return refuse(Status::Unauthorized, "unauthorized");
    if (request.body().size() > kMaxBody) return refuse(Status::PayloadTooLarge, "body over 4 KiB");
    QJsonParseError parse_error;
    const QJsonDocument doc = QJsonDocument::fromJson(request.body(), &parse_error);
    if (!doc.isObject()) {
        return refuse(Status::BadRequest,
                      "bad JSON: " + (doc.isNull() ? parse_error.errorString() : "not an object"));
    }
    const QJsonObject body = doc.object();
    const QJsonValue page = body.value("page");
    const QJsonValue memory = body.value("memory");
    const QJsonValue text = body.value("text");
    if (!body.value("line").isString())
        return refuse(Status::BadRequest, "\"line\" must be a string");
    if (!page.isString() && !page.isDouble())
        return refuse(Status::BadRequest, "\"page\" must be a number or \"AUTO\"");
    if (page.isDouble() && page.toDouble() != double(page.toInt()))
        return refuse(Status::BadRequest, "\"page\" must be a whole number");
    if (kind == ControlCommand::Kind::title &&
        (!text.isString() || !(memory.isBool() || memory.isUndefined())))
        return refuse(Status::BadRequest, "\"text\" must be a string and \"memory\" true or false");
    const std::string text_utf8 = text.toString().toStdString();
    ParsedCommand parsed = parse_control_command(
        kind, body.value("line").toString().toStdString(),
        page.isDouble() ? std::to_string(page.toInt()) : page.toString().toStdString(),
        text.isString() ? &text_utf8 : nullptr, memory.toBool(true));
    if (!parsed.command) return refuse(Status::BadRequest, qs(parsed.error));
    if (bulk_under_way()) return refuse(Status::Conflict, "a bulk run holds the link");
    if (int(waiting_.size()) >= kMaxWaiting)
        return refuse(Status::ServiceUnavailable, "too many requests waiting");
    auto r = std::make_unique<Request>();
    r->command = std::move(*parsed.command);
    r->socket = responder.socket();
    r->responder.emplace(std::move(responder));
    enqueue(std::move(r));
}

void Control::read_osc() {
    while (osc_->hasPendingDatagrams()) osc_message(osc_->receiveDatagram().data());
}

void Control::osc_message(const QByteArray& datagram) {
    // Some senders always wrap their messages in a bundle: its elements are carried out
    // at once, in order (time tags ask for nothing a button press needs).
    if (datagram.startsWith(QByteArray("#bundle", 8))) {
        qsizetype at = 16;  // after "#bundle\0" and the time tag
        while (at + 4 <= datagram.size()) {
            const qsizetype size = qFromBigEndian<qint32>(datagram.constData() + at);
            if (size <= 0 || size > datagram.size() - at - 4) break;
            osc_message(datagram.mid(at + 4, size));
            at += 4 + size;
        }
        if (at != datagram.size()) say("osc: malformed bundle; the rest is ignored");
        return;
    }
    QByteArray data = datagram;  // liblo reads from a mutable buffer
    int result = 0;
    lo_message message = lo_message_deserialise(data.data(), size_t(data.size()), &result);
    if (message == nullptr) {
        say("osc: malformed message ignored (" + std::to_string(datagram.size()) + " bytes)");
        return;
    }
    // The path is the message's first string, already checked by the parser.
    const std::string path(data.constData(), qstrnlen(data.constData(), uint(data.size())));
    const std::string types = lo_message_get_types(message) ? lo_message_get_types(message) : "";
    lo_arg** argv = lo_message_get_argv(message);
    // liblo keeps arguments 4-byte aligned, less than its union asks for: read the bytes.
    auto text_of = [&](std::size_t i) -> std::string {
        const char* raw = reinterpret_cast<const char*>(argv[i]);
        if (types[i] == 's') return raw;
        std::int32_t value = 0;
        std::memcpy(&value, raw, sizeof value);
        return types[i] == 'i' ? std::to_string(value) : std::string();
    };
    std::optional<ControlCommand::Kind> kind;
    if (path == "/tqv/page") kind = ControlCommand::Kind::page;
    if (path == "/tqv/startup") kind = ControlCommand::Kind::startup;
    if (path == "/tqv/title") kind = ControlCommand::Kind::title;
    const bool pagelike = types == "si" || types == "ss";
    const bool titlelike = types == "sis" || types == "sisT" || types == "sisF" || types == "sss" ||
                           types == "sssT" || types == "sssF";
    ParsedCommand parsed;
    if (!kind || (*kind == ControlCommand::Kind::title ? !titlelike : !pagelike)) {
        parsed.error = "unknown address or arguments";
    } else {
        const std::string text = types.size() >= 3 ? text_of(2) : std::string();
        parsed = parse_control_command(*kind, text_of(0), text_of(1),
                                       types.size() >= 3 ? &text : nullptr,
                                       types != "sisF" && types != "sssF");
    }
    lo_message_free(message);
    if (!parsed.command) {
        say("osc: " + path + " ," + types + " ignored: " + parsed.error);
        return;
    }
    if (bulk_under_way() || int(waiting_.size()) >= kMaxWaiting) {
        say("osc: " + path + " dropped: " +
            (bulk_under_way() ? "a bulk run holds the link" : "too many requests waiting"));
        return;
    }
    auto r = std::make_unique<Request>();
    r->command = std::move(*parsed.command);
    enqueue(std::move(r));
}

void Control::enqueue(std::unique_ptr<Request> request) {
    request->number = ++requests_;
    request->age.start();
    waiting_.push_back(std::move(request));
    pump();
}

void Control::pump() {
    while (!in_flight_ && !waiting_.empty()) {
        std::unique_ptr<Request> r = std::move(waiting_.front());
        waiting_.pop_front();
        if (bulk_under_way()) {
            finish(*r, 409, "error", "a bulk run holds the link");
            continue;
        }
        Model& m = link_.model();
        const ControlCommand& c = r->command;
        std::string body;
        switch (c.kind) {
            case ControlCommand::Kind::page:
                m.current_page[std::size_t(c.line)] = c.page;
                body = body_page_switch(m, c.line);
                break;
            case ControlCommand::Kind::startup:
                m.startup_page[std::size_t(c.line)] = c.page;
                body = body_startup_page(m, c.line);
                break;
            case ControlCommand::Kind::title: {
                const int t = Model::title_slot(c.line, c.page);
                set_slot_text(m.titles[std::size_t(t)], c.text);
                std::array<char, 29> padded{};
                pad_title(m, t, padded);  // checked when the request came
                body = build_title_body(c.memory ? 1 : 0, t, padded).value_or(std::string());
                break;
            }
        }
        // The send path may tell the end at once (a broadcast, a link that is down).
        in_flight_ = std::move(r);
        in_flight_body_ = body;
        in_flight_box_.clear();
        guard_.start();
        link_.send_path().send_command(body);
    }
}

void Control::exchange_ended(const ExchangeEnd& end) {
    QJsonObject last{{"frame", qs(trimmed_frame(end.frame))},
                     {"outcome", kind_name(end.kind)},
                     {"answer", qs(end.answer)}};
    last_exchange_ = QJsonDocument(last).toJson(QJsonDocument::Compact).toStdString();
    // A dialog's command in between is none of ours.
    if (!in_flight_ || !ends_with(end.frame, in_flight_body_) ||
        end.frame.size() > in_flight_body_.size() + 2)
        return;
    guard_.stop();
    auto r = std::move(in_flight_);
    switch (end.kind) {
        case ExchangeEnd::Kind::answered:
            finish(*r, 200, "answer", end.answer.empty() ? "GO" : end.answer);
            break;
        case ExchangeEnd::Kind::error_answer:
            finish(*r, 502, "error", in_flight_box_.empty() ? end.answer : in_flight_box_,
                   end.answer);
            break;
        case ExchangeEnd::Kind::timeout:
            finish(*r, 504, "error", end.answer);
            break;
        case ExchangeEnd::Kind::not_sent:
        case ExchangeEnd::Kind::lost:
            finish(*r, 503, "error", end.answer);
            break;
    }
    // Queued: the send path is still inside its own call.
    QMetaObject::invokeMethod(this, &Control::pump, Qt::QueuedConnection);
}

void Control::finish(Request& r, int status, const std::string& key, const std::string& text,
                     const std::string& answer) {
    const ControlCommand& c = r.command;
    static constexpr const char* kNames[] = {"page", "startup", "title"};
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", double(r.age.nsecsElapsed()) / 1e6);
    say(r.origin() + " " + kNames[int(c.kind)] + " " + kLineNames[std::size_t(c.line)] + " " +
        page_name(c.page) + ": " + std::to_string(status) + " " + text + " (" + ms + " ms)");
    if (!r.responder || r.socket.isNull()) return;  // OSC, or the client has gone
    QJsonObject json{{qs(key), qs(text)}, {"request", qint64(r.number)}};
    if (!answer.empty()) json["answer"] = qs(answer);
    reply(*r.responder, Status(status), json);
    r.responder.reset();
}

QByteArray Control::status_json() const {
    const Model& m = link_.model();
    QJsonObject link;
    if (m.interface_kind == 0) {
        link["kind"] = "serial";
        link["target"] = link_.serial().path();
        link["up"] = link_.serial().is_open();
    } else {
        link["kind"] = "tcp";
        std::string target;
        if (m.tcp_role == 0 && m.selected_peer >= 0 && m.selected_peer < kHostListSize) {
            const Ipv4& h = m.host_list[std::size_t(m.selected_peer)];
            target = std::to_string(h[0]) + "." + std::to_string(h[1]) + "." +
                     std::to_string(h[2]) + "." + std::to_string(h[3]) + ":" +
                     slot_text(m.port_number);
        } else {
            target = "peer " + std::to_string(m.selected_peer);
        }
        link["target"] = qs(target);
        link["up"] = m.tcp_connected == 1 && link_.tcp().link_up();
    }
    QJsonObject pages;
    for (int i = 0; i < kTitleLines; ++i) {
        const int p = m.current_page[std::size_t(i)];
        pages[kLineNames[std::size_t(i)]] = p >= kAutoPage ? QJsonValue("AUTO") : QJsonValue(p + 1);
    }
    QJsonObject status{{"link", link},
                       {"run", bulk_under_way()},
                       {"waiting", int(waiting_.size()) + (in_flight_ ? 1 : 0)},
                       {"pages", pages}};
    status["last_exchange"] =
        last_exchange_.empty()
            ? QJsonValue()
            : QJsonValue(QJsonDocument::fromJson(last_exchange_.c_str()).object());
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}

void ControlUi::box(Box kind, std::string_view text, std::string_view caption) {
    if (control.isNull() || !control->command_in_flight()) {
        inner_.box(kind, text, caption);
        return;
    }
    control->box_shown(text);
}

std::unique_ptr<Control> start_control(DeviceLink& link, const ControlConfig& config,
                                       std::string* error) {
    if (config.http_port == 0 && config.osc_port == 0) return nullptr;
    ControlSettings settings;
    settings.http_port = config.http_port != 0 ? config.http_port : -1;
    settings.osc_port = config.osc_port != 0 ? config.osc_port : -1;
    settings.bind = config.bind;
    settings.token = config.token;
    auto control = std::make_unique<Control>(link);
    if (!control->start(settings, error)) return nullptr;
    return control;
}

}  // namespace tqv
