#include "control/osc_control.h"

#include <QNetworkDatagram>
#include <QPointer>
#include <QUdpSocket>

#include "control/cue_routes.h"
#include "control/executor.h"
#include "control/gate.h"
#include "control/json.h"

namespace tqv {

using Reply = RequestExecutor::Reply;

OscControl::OscControl(const ControlGate& gate, RequestExecutor& executor, CueRoutes& cues,
                       const ControlLog& log)
    : gate_(gate), executor_(executor), cues_(cues), ignored_(log, "osc") {}

bool OscControl::open(const QHostAddress& address, int port, const std::string& bind,
                      std::string* error) {
    socket_ = new QUdpSocket(this);
    if (!socket_->bind(address, quint16(port))) {
        *error = "control: cannot listen for OSC on " + bind + ":" + std::to_string(port);
        return false;
    }
    port_ = socket_->localPort();
    connect(socket_, &QUdpSocket::readyRead, this, &OscControl::read);
    return true;
}

void OscControl::read() {
    while (socket_->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket_->receiveDatagram();
        const QByteArray data = datagram.data();
        const QHostAddress sender = datagram.senderAddress();
        const QString who = plain(sender).toString();
        if (!gate_.allowed(sender)) {
            ignored_.say("osc " + who.toStdString() + ": dropped: client not allowed");
            continue;
        }
        if (gate_.locked()) {
            ignored_.say("osc " + who.toStdString() + ": dropped: remote control is locked");
            continue;
        }
        const std::string stopped = walk_osc(
            std::string_view(data.constData(), std::size_t(data.size())),
            [&](std::string_view message) {
                request(message, sender, quint16(datagram.senderPort()));
            });
        if (!stopped.empty()) ignored_.say("osc " + who.toStdString() + ": " + stopped + "; the rest is ignored");
    }
}

void OscControl::request(std::string_view data, const QHostAddress& sender, quint16 port) {
    const QString who = plain(sender).toString();
    std::string error;
    const std::optional<OscMessage> message = parse_osc_message(data, &error);
    if (!message) {
        ignored_.say("osc " + who.toStdString() + ": malformed message ignored (" + error + ", " +
                     std::to_string(data.size()) + " bytes)");
        return;
    }
    const std::string address(message->address);
    const std::string types(message->types);
    QPointer<QUdpSocket> socket = socket_;
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
        return cues_.request(op, body, "osc", who, std::move(reply));
    }
    std::optional<ControlCommand::Kind> kind;
    if (address == "/tqv/page") kind = ControlCommand::Kind::page;
    if (address == "/tqv/startup") kind = ControlCommand::Kind::startup;
    if (address == "/tqv/title") kind = ControlCommand::Kind::title;
    if (!kind) {
        ignored_.say("osc " + who.toStdString() + ": " + address.substr(0, 64) + " ignored: unknown address");
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
    executor_.submit(*kind, std::move(parsed), "osc", who, std::move(reply));
}

}  // namespace tqv
