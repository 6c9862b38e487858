#include "control/rosstalk_control.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

#include "control/cue_routes.h"
#include "control/cue_show.h"
#include "control/gate.h"
#include "control/json.h"
#include "core/rosstalk.h"

namespace tqv {

struct RossTalkControl::Client {
    QPointer<QTcpSocket> socket;
    QString peer;
    RossTalkLines lines;
    QElapsedTimer idle;  // since its last byte, or since it connected
    // It has sent a RossTalk command: from then on it is a mixer, not a browser.
    bool spoken = false;
};

RossTalkControl::RossTalkControl(const ControlGate& gate, CueRoutes& cues, const ControlLog& log)
    : gate_(gate), cues_(cues), ignored_(log, "rosstalk") {}

RossTalkControl::~RossTalkControl() = default;

bool RossTalkControl::open(const QHostAddress& address, int port, const std::string& bind,
                           std::string* error) {
    server_ = new QTcpServer(this);
    server_->setMaxPendingConnections(kMaxClients);
    if (!server_->listen(address, quint16(port))) {
        *error = "control: cannot listen for RossTalk on " + bind + ":" + std::to_string(port);
        return false;
    }
    port_ = server_->serverPort();
    connect(server_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = server_->nextPendingConnection()) accept(socket);
    });
    return true;
}

void RossTalkControl::accept(QTcpSocket* socket) {
    const QString peer = plain(socket->peerAddress()).toString();
    if (!gate_.allowed(socket->peerAddress())) {
        ignored_.say("rosstalk " + peer.toStdString() + ": closed: client not allowed");
        socket->abort();
        socket->deleteLater();
        return;
    }
    // Every slot taken: the connection silent for longest makes room, so that idle
    // connections cannot keep a mixer out.
    std::erase_if(clients_, [](const auto& c) { return c->socket.isNull(); });
    if (int(clients_.size()) >= kMaxClients) {
        const auto idlest = std::max_element(
            clients_.begin(), clients_.end(),
            [](const auto& a, const auto& b) { return a->idle.elapsed() < b->idle.elapsed(); });
        const std::shared_ptr<Client> evicted = *idlest;
        clients_.erase(idlest);
        ignored_.say("rosstalk " + evicted->peer.toStdString() + ": closed: idle longest (" +
                         std::to_string(evicted->idle.elapsed() / 1000) + " s), for a new client");
        evicted->socket->abort();
    }
    socket->setReadBufferSize(64 * 1024);
    auto client = std::make_shared<Client>();
    client->socket = socket;
    client->peer = peer;
    client->idle.start();
    clients_.push_back(client);
    // The connection holds the client, which lives as long as its socket.
    connect(socket, &QTcpSocket::readyRead, this, [this, client] { read(*client); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    ignored_.say("rosstalk " + peer.toStdString() + ": connected");
}

void RossTalkControl::read(Client& client) {
    QTcpSocket* socket = client.socket;
    if (socket == nullptr) return;
    client.idle.restart();
    const QString& peer = client.peer;
    const std::string who = "rosstalk " + peer.toStdString() + ": ";
    CueShow* cues = cues_.cues();
    while (socket->bytesAvailable() > 0) {
        const QByteArray bytes = socket->read(64 * 1024);
        const RossTalkLines::Fed fed =
            client.lines.feed(std::string_view(bytes.constData(), std::size_t(bytes.size())));
        if (fed.dropped > 0) ignored_.say(who + std::to_string(fed.dropped) + " line(s) over 4 KiB dropped");
        // A web page can make a browser send HTTP here: none of it is taken, a body holding
        // GO included. Judged until the connection has sent a command of its own.
        for (std::size_t i = 0; !client.spoken && i < fed.lines.size(); ++i) {
            if (parse_rosstalk(fed.lines[i]).kind != RossTalkCommand::Kind::unknown) break;
            if (looks_like_http(fed.lines[i])) {
                ignored_.say(who + "closed: HTTP is not RossTalk");
                socket->abort();
                return;
            }
        }
        int refused = 0;
        for (const std::string& line : fed.lines) {
            const RossTalkCommand c = parse_rosstalk(line);
            if (c.kind == RossTalkCommand::Kind::unknown) {
                ignored_.say(who + "ignored: " + line.substr(0, 64));
                continue;
            }
            client.spoken = true;
            if (gate_.locked()) {
                ignored_.say(who + "dropped: remote control is locked");
            } else if (cues == nullptr ||
                       (c.kind == RossTalkCommand::Kind::fire &&
                        (c.cue < 1 || std::size_t(c.cue) > cues->list().size()))) {
                ignored_.say(who + "no cue " + std::to_string(c.cue));
            } else if (cues->running()) {
                ++refused;
            } else {
                // GPI n fires cue n: chosen as next, then GO.
                if (c.kind == RossTalkCommand::Kind::fire) cues->select_next(std::size_t(c.cue - 1));
                QJsonObject body;
                if (!c.device.empty()) body["device"] = qs(c.device);
                cues_.request("go", body, "rosstalk", peer, {}, &ignored_);
            }
        }
        // A burst of GO while a cue runs: one event and one line, not thousands.
        if (refused > 0) {
            cues->refused("rosstalk " + peer, CueShow::Go::cue_running, refused);
            ignored_.say(who + std::to_string(refused) + " GO refused: a cue is running");
        }
    }
}

}  // namespace tqv
