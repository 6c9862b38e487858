#include "link/tcp_link.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>
#include <cstdio>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "core/commands.h"
#include "core/texts.h"
#include "link/link_log.h"

namespace tqv {

namespace {

constexpr int kListenBacklog = 128;  // 96 devices that all connect at once after a power cut

template <std::size_t N>
void set_text(std::array<char, N>& field, const QByteArray& text) {
    field.fill('\0');
    const std::size_t n = std::min<std::size_t>(std::size_t(text.size()), N - 1);
    std::copy_n(text.constData(), n, field.begin());
}

// Dotted decimal without leading zeros, as the peer list shows it.
QByteArray address_text(const QHostAddress& address) {
    bool ipv4 = false;
    const quint32 a = address.toIPv4Address(&ipv4);
    if (!ipv4) return address.toString().toLatin1();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", unsigned(a >> 24), unsigned((a >> 16) & 0xFF),
                  unsigned((a >> 8) & 0xFF), unsigned(a & 0xFF));
    return QByteArray(buf);
}

// A device that goes away without a word (power cut, cable) is noticed in about 20 s rather
// than the system's two hours.
void keep_alive(QTcpSocket* socket) {
    socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1);
    const qintptr fd = socket->socketDescriptor();
    if (fd < 0) return;
    const int idle = 10, interval = 5, count = 3;
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
}

// IPv4-mapped addresses as IPv4, and ::1 as 127.0.0.1.
QHostAddress plain_host(const QHostAddress& address) {
    if (address == QHostAddress(QHostAddress::LocalHostIPv6)) return QHostAddress(QHostAddress::LocalHost);
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    return v4 ? QHostAddress(ip) : address;
}

}  // namespace

bool same_host(const QHostAddress& a, const QHostAddress& b) {
    return plain_host(a).isEqual(plain_host(b));
}

TcpLink::TcpLink(Model& model, Ui& ui, QObject* parent) : QObject(parent), model_(model), ui_(ui) {}

TcpLink::~TcpLink() {
    // The sockets are children and are deleted after this body; a socket aborting in its
    // destructor must not call back into a link that is half gone.
    if (server_ != nullptr) server_->disconnect(this);
    if (client_ != nullptr) client_->disconnect(this);
    for (Peer& p : peers_) {
        if (p.peer_socket != nullptr) p.peer_socket->disconnect(this);
    }
}

quint16 TcpLink::port_value(const std::array<char, 6>& port_number) {
    // A port outside 1..65535 is no port: 0, which neither connects nor listens, rather than
    // a wrapped number that reaches some other service.
    return quint16(parse_port(slot_text(port_number)).value_or(0));
}

void TcpLink::system_box(const char* text, int code) {
    std::string message = text;
    if (auto at = message.find("%d"); at != std::string::npos) {
        message.replace(at, 2, std::to_string(code));
    }
    ui_.box(Box::error, message, text::kAppCaption);
}

// --- client role ---

int TcpLink::socket_connect() {
    const int host = model_.selected_peer;
    if (host < 0 || host >= kHostListSize || host >= model_.host_count) {
        // No host of the list is chosen: there is nowhere to connect to.
        system_box(text::kCannotConnect);
        return 0;
    }
    // Pressing 接続 again while an attempt is under way starts afresh.
    closing_ = true;
    if (drop_client()) emit link_closed();
    closing_ = false;

    const Ipv4& octets = model_.host_list[std::size_t(host)];
    const quint32 ip = quint32(octets[0]) << 24 | quint32(octets[1]) << 16 |
                       quint32(octets[2]) << 8 | quint32(octets[3]);
    const quint16 port = port_value(model_.port_number);

    client_ = new QTcpSocket(this);
    watch(client_);
    connect(client_, &QTcpSocket::connected, this, [this] {
        keep_alive(client_);
        qCInfo(lc_link) << "connected to" << client_->peerAddress().toString()
                        << client_->peerPort();
        emit connected();
    });
    qCInfo(lc_link) << "connecting to" << QHostAddress(ip).toString() << port;
    client_->connectToHost(QHostAddress(ip), port);
    // The outcome arrives later: connected(), or the event error.
    return 1;
}

bool TcpLink::drop_client() {
    if (client_ == nullptr) return false;
    client_->disconnect(this);
    client_->abort();
    client_->deleteLater();
    client_ = nullptr;
    return true;
}

bool TcpLink::client_socket_open() const {
    return client_ != nullptr && client_->state() == QAbstractSocket::ConnectedState;
}

// --- server role ---

int TcpLink::socket_listen() {
    // Already listening, or the client connection is up: nothing to do.
    if (server_ != nullptr || client_ != nullptr) return 1;

    server_ = new QTcpServer(this);
    server_->setListenBacklogSize(kListenBacklog);
    connect(server_, &QTcpServer::newConnection, this, &TcpLink::accept_pending);
    connect(server_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError error) {
        system_box(text::kAcceptError, int(error));
    });
    const quint16 port = port_value(model_.port_number);
    QHostAddress where = listen_address_ ? *listen_address_ : QHostAddress(QHostAddress::AnyIPv4);
    // "::" alone would leave the IPv4 devices out: every address of both families.
    if (where == QHostAddress(QHostAddress::AnyIPv6)) where = QHostAddress(QHostAddress::Any);
    if (!server_->listen(where, port)) {
        const QAbstractSocket::SocketError error = server_->serverError();
        qCInfo(lc_link) << "listen on" << port << "failed:" << server_->errorString();
        delete server_;
        server_ = nullptr;
        switch (error) {
            case QAbstractSocket::AddressInUseError:
            case QAbstractSocket::SocketAccessError:
            case QAbstractSocket::SocketAddressNotAvailableError:
                system_box(text::kCannotBind);
                break;
            default:
                system_box(text::kListenError, int(error));
                break;
        }
        return 0;
    }
    qCInfo(lc_link) << "listening on" << server_->serverPort();
    return 1;
}

bool TcpLink::listening() const { return server_ != nullptr && server_->isListening(); }

quint16 TcpLink::server_port() const { return server_ != nullptr ? server_->serverPort() : 0; }

void TcpLink::accept_pending() {
    // Every pending connection now: with 96 devices connecting at once, taking one per
    // notification would leave the rest waiting in the queue.
    while (server_ != nullptr && server_->hasPendingConnections()) {
        QTcpSocket* socket = server_->nextPendingConnection();
        if (socket == nullptr) break;
        attach(socket);
    }
}

void TcpLink::set_listen_address(const QHostAddress& address) {
    listen_address_ = address.isNull() ? nullptr : std::make_unique<QHostAddress>(address);
}

void TcpLink::set_allowed_peers(std::vector<QHostAddress> peers) { allowed_ = std::move(peers); }

void TcpLink::attach(QTcpSocket* socket) {
    std::vector<QHostAddress> allowed = allowed_;
    if (allowed.empty() && model_.allow_listed_only == 1) {
        // The host list of the client dialog names the installation's devices.
        for (int i = 0; i < model_.host_count && i < kHostListSize; ++i) {
            const Ipv4& h = model_.host_list[std::size_t(i)];
            allowed.emplace_back(quint32(h[0]) << 24 | quint32(h[1]) << 16 | quint32(h[2]) << 8 | h[3]);
        }
        if (allowed.empty()) allowed.emplace_back();  // an empty list lets nobody in
    }
    if (!allowed.empty()) {
        const QHostAddress from = socket->peerAddress();
        const bool known = std::any_of(allowed.begin(), allowed.end(),
                                       [&](const QHostAddress& a) { return same_host(a, from); });
        if (!known) {
            // Before anything is read from it or sent to it.
            qCInfo(lc_link) << "peer" << from.toString() << "not allowed: closed";
            socket->abort();
            socket->deleteLater();
            emit peer_rejected(QString::fromLatin1(address_text(from)));
            return;
        }
    }
    int entry = 0;
    for (int i = 1; i <= kMaxPeers && count_peers() < max_peers_; ++i) {
        if (peers_[std::size_t(i)].in_use == 0) {
            entry = i;
            break;
        }
    }
    if (entry == 0) {
        const QString from = QString::fromLatin1(address_text(socket->peerAddress()));
        qCInfo(lc_link) << "device beyond" << max_peers_ << "refused:" << from;
        socket->abort();
        socket->deleteLater();
        emit peer_refused(from);
        return;
    }
    // Owned by the link, not the listener: socket_shutdown() deletes the listener first and
    // then closes the peers one by one.
    socket->setParent(this);
    Peer& p = peers_[std::size_t(entry)];
    p.in_use = 1;
    p.peer_socket = socket;
    set_text(p.address, address_text(socket->peerAddress()));
    keep_alive(socket);
    watch(socket);
    qCInfo(lc_link) << "peer" << entry << p.address.data() << "accepted";
    emit peers_changed();
}

// --- every socket ---

void TcpLink::watch(QTcpSocket* socket) {
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read_socket(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { close_peer(socket); });
    // Queued, so that a failure during connectToHost() arrives as an event after
    // socket_connect() has returned, as a refused connection does.
    connect(
        socket, &QAbstractSocket::errorOccurred, this,
        [this, guard = QPointer<QTcpSocket>(socket)](QAbstractSocket::SocketError error) {
            if (guard) socket_failed(guard, int(error));
        },
        Qt::QueuedConnection);
}

void TcpLink::read_socket(QTcpSocket* socket) {
    // A receiver may open a message box whose event loop closes this very socket.
    const QPointer<QTcpSocket> guard(socket);
    while (guard && guard->bytesAvailable() > 0) {
        const QByteArray bytes = guard->readAll();
        const int index = find_peer(guard);
        qCDebug(lc_link_bytes) << "tcp" << index << "<" << bytes;
        emit bytes_received(index, bytes);
    }
}

void TcpLink::socket_failed(QTcpSocket* socket, int error) {
    const bool ours = socket == client_ || find_peer(socket) > 0;
    if (!ours) return;  // already closed; errors queued before that are stale
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // The device closed its end: an ordinary close, no error.
        close_peer(socket);
        return;
    }
    qCInfo(lc_link) << "socket error" << error << socket->errorString();
    last_error_ = socket->errorString();
    const int index = find_peer(socket);
    const bool target =
        socket == client_ || (model_.tcp_role == 1 && index > 0 && index == model_.selected_peer);
    const bool quiet = socket == client_ && quiet_failures_;
    // Closed before the box opens, so that nothing of this socket runs while it is shown.
    close_peer(socket);
    // A run under way ends on the close with one message that says so; a second box for
    // the same loss would only be clicked away.
    const bool run_reports_it = run_under_way(model_);
    if (!(target && run_reports_it) && !quiet) error_box_owned(ui_, text::kSocketEventError);
}

void TcpLink::close_peer(QAbstractSocket* socket) {
    if (socket == nullptr) return;
    const int index = find_peer(socket);
    const bool is_client = socket == client_;
    const bool owned = is_client || index > 0;
    const bool was_target =
        is_client || (model_.tcp_role == 1 && index > 0 && index == model_.selected_peer);

    socket->disconnect(this);
    if (socket->state() != QAbstractSocket::UnconnectedState) socket->abort();
    if (owned) socket->deleteLater();

    Peer& p = peers_[std::size_t(index)];
    p.in_use = 0;
    p.peer_socket = nullptr;
    set_text(p.address, QByteArray(" "));
    if (is_client) client_ = nullptr;
    if (index > 0) qCInfo(lc_link) << "peer" << index << "closed";

    emit peers_changed();
    if (was_target) emit link_closed();
}

void TcpLink::socket_shutdown() {
    closing_ = true;
    if (server_ != nullptr) {
        server_->disconnect(this);
        server_->close();
        server_->deleteLater();  // takes the connections still waiting in its queue along
        server_ = nullptr;
    }
    const bool link_was_up = drop_client();
    for (int i = 1; i <= kMaxPeers; ++i) {
        Peer& p = peers_[std::size_t(i)];
        if (p.in_use == 1) close_peer(p.peer_socket);
    }
    peer_table_reset();
    if (link_was_up) emit link_closed();
    closing_ = false;
    emit shut_down();
}

void TcpLink::peer_table_reset() {
    for (Peer& p : peers_) {
        // A socket still held would be unreachable after the reset: close it.
        if (p.peer_socket != nullptr) {
            p.peer_socket->disconnect(this);
            p.peer_socket->abort();
            p.peer_socket->deleteLater();
        }
        p = Peer{};
    }
    emit peers_changed();
}

int TcpLink::find_peer(const QAbstractSocket* socket) const {
    for (int i = 0; i < kPeerEntries; ++i) {
        if (peers_[std::size_t(i)].peer_socket == socket) return i;
    }
    return 0;
}

int TcpLink::count_peers() const {
    int n = 0;
    for (int i = 1; i <= kMaxPeers; ++i) {
        if (peers_[std::size_t(i)].in_use == 1) ++n;
    }
    return n;
}

std::string TcpLink::peer_address(int index) const {
    if (index < 0 || index >= kPeerEntries) return {};
    return slot_text(peers_[std::size_t(index)].address);
}

std::string TcpLink::caption_suffix() const {
    // In the client role selected_peer is a host index and may lie beyond the table.
    const std::string address = peer_address(model_.selected_peer);
    if (address.empty()) return {};
    return " " + address;
}

QTcpSocket* TcpLink::current_socket() const {
    if (model_.tcp_role == 1) {
        const int entry = model_.selected_peer;
        if (entry < 1 || entry > kMaxPeers) return nullptr;
        const Peer& p = peers_[std::size_t(entry)];
        return p.in_use == 1 ? p.peer_socket : nullptr;
    }
    return client_;
}

bool TcpLink::link_up() const {
    const QTcpSocket* socket = current_socket();
    return model_.tcp_connected == 1 && socket != nullptr &&
           socket->state() == QAbstractSocket::ConnectedState;
}

bool TcpLink::write(std::string_view frame) {
    QTcpSocket* socket = current_socket();
    if (socket == nullptr || socket->state() != QAbstractSocket::ConnectedState) return false;
    qCDebug(lc_link_bytes) << "tcp" << find_peer(socket) << ">"
                           << QByteArray(frame.data(), qsizetype(frame.size()));
    const bool written = socket->write(frame.data(), qint64(frame.size())) == qint64(frame.size());
    if (written) emit frame_written(find_peer(socket), QByteArray(frame.data(), qsizetype(frame.size())));
    return written;
}

const QTcpSocket* TcpLink::socket_of(int index) const {
    if (model_.tcp_role != 1) return client_;
    if (index >= 1 && index <= kMaxPeers && peers_[std::size_t(index)].in_use == 1)
        return peers_[std::size_t(index)].peer_socket;
    return nullptr;
}

QString TcpLink::peer_name(int index) const {
    const QTcpSocket* socket = socket_of(index);
    if (socket == nullptr) return {};
    return socket->peerAddress().toString() + QLatin1Char(':') + QString::number(socket->peerPort());
}

quint16 TcpLink::peer_port(int index) const {
    const QTcpSocket* socket = socket_of(index);
    return socket == nullptr ? 0 : socket->peerPort();
}

}  // namespace tqv
