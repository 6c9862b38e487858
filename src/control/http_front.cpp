#include "control/http_front.h"

#include "control/request_framer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <deque>

namespace tqv {

namespace {

constexpr int kMaxOutstanding = 16;
// Answer bytes not taken by the client yet, beyond which its requests wait unread.
constexpr qint64 kMaxUnsent = 256 * 1024;
// Bytes taken from a socket and not framed yet: a whole head and a little more, so a head
// over the limit is seen as such.
constexpr qint64 kReadAhead = qint64(kMaxHead) + 4096;
const QByteArray kJson = "Content-Type: application/json\r\n";

const char* reason(int status) {
    switch (status) {
        case 100: return "Continue";
        case 200: return "OK";
        case 304: return "Not Modified";
        case 400: return "Bad Request";
        case 401: return "Unauthorized";
        case 403: return "Forbidden";
        case 404: return "Not Found";
        case 405: return "Method Not Allowed";
        case 408: return "Request Timeout";
        case 409: return "Conflict";
        case 413: return "Content Too Large";
        case 415: return "Unsupported Media Type";
        case 421: return "Misdirected Request";
        case 423: return "Locked";
        case 426: return "Upgrade Required";
        case 431: return "Request Header Fields Too Large";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
    }
    return "Status";
}

QByteArray error_json(const QByteArray& text) {
    return QJsonDocument(QJsonObject{{"error", QString::fromUtf8(text)}}).toJson(QJsonDocument::Compact);
}

}  // namespace

QByteArray HttpFront::response(int status, const QByteArray& json, bool close) {
    return response(status, json, close, kJson);
}

QByteArray HttpFront::response(int status, const QByteArray& body, bool close,
                               const QByteArray& headers, bool head) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (status == 401) out += "WWW-Authenticate: Bearer\r\n";
    out += headers;
    if (status != 304) out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close) out += "Connection: close\r\n";
    return out + "\r\n" + (status == 304 || head ? QByteArray() : body);
}

class HttpFront::Connection : public QObject {
  public:
    Connection(HttpFront& front, QTcpSocket* socket, QString address)
        : QObject(&front), front_(front), socket_(socket), address_(std::move(address)) {
        socket_->setParent(this);
        // What Qt takes from the kernel for us: beyond it the client waits, not our memory.
        socket_->setReadBufferSize(kReadAhead);
        peer_ = socket_->peerAddress();
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &Connection::timed_out);
        connect(socket_, &QTcpSocket::readyRead, this, &Connection::process);
        connect(socket_, &QTcpSocket::disconnected, this, &Connection::gone);
        connect(socket_, &QTcpSocket::bytesWritten, this, &Connection::written);
        arm();
    }
    ~Connection() override {
        --front_.connections_;
        if (--front_.per_address_[address_] <= 0) front_.per_address_.remove(address_);
    }

  private:
    struct Slot {
        quint64 id = 0;
        bool ready = false;
        QByteArray bytes;
        bool close = false;
    };

    void gone() {
        if (gone_) return;
        gone_ = true;
        timer_.stop();
        deleteLater();
    }

    void timed_out() {
        if (slow_) {
            front_.say("http " + peer_.toString().toStdString() + ": request not complete in time");
            answer_now(408, error_json("request not complete in time"), {}, true);
        } else if (socket_->bytesToWrite() > 0) {
            // A client that reads nothing would keep the socket in its closing state.
            socket_->abort();
            gone();
        } else {
            socket_->disconnectFromHost();
        }
    }

    // A new connection: 5 s for its first byte. A request begun: 10 s from its first byte.
    // Idle, or answers unread by the client: 30 s. Waiting for the device: the control's own
    // guard ends that.
    void arm() {
        if (gone_) return;
        const bool begun = reading_ && (framer_.begun() || socket_->bytesAvailable() > 0);
        if (closing_ || socket_->bytesToWrite() > 0) {
            if (!timer_.isActive() || slow_) timer_.start(front_.limits_.idle_ms);
            slow_ = false;
        } else if (begun && !paused_) {
            if (!slow_ || !timer_.isActive()) timer_.start(front_.limits_.request_ms);
            slow_ = true;
        } else if (!answers_.empty()) {
            timer_.stop();
            slow_ = false;
        } else {
            slow_ = false;
            timer_.start(heard_ ? front_.limits_.idle_ms : front_.limits_.first_byte_ms);
        }
    }

    // Unsent answer bytes: in the socket, and ready behind an answer still awaited.
    qint64 unsent() const {
        qint64 held = socket_->bytesToWrite();
        for (const Slot& s : answers_) held += s.ready ? s.bytes.size() : 0;
        return held;
    }
    bool full() const {
        return answers_.size() >= std::size_t(kMaxOutstanding) || unsent() > kMaxUnsent;
    }

    // An answer in its turn; `close`: nothing more is read, and the connection ends once
    // it and every one before it are written.
    void answer_now(int status, const QByteArray& json, const QByteArray& headers, bool close) {
        push(response(status, json, close, kJson + headers, head_only_), close);
    }
    void push(QByteArray bytes, bool close) {
        answers_.push_back({++next_id_, true, std::move(bytes), close});
        if (close) reading_ = false;
        flush();
    }

    void fill(quint64 id, int status, const QByteArray& json, const QByteArray& headers,
              bool head) {
        for (Slot& s : answers_) {
            if (s.id != id || s.ready) continue;
            s.ready = true;
            s.bytes = response(status, json, s.close, kJson + headers, head);
        }
        flush();
    }

    void flush() {
        if (gone_) return;
        while (!closing_ && !answers_.empty() && answers_.front().ready) {
            socket_->write(answers_.front().bytes);
            const bool close = answers_.front().close;
            answers_.pop_front();
            if (close) {
                closing_ = true;
                answers_.clear();
                if (socket_->bytesToWrite() == 0) socket_->disconnectFromHost();
            }
        }
        resume();
        arm();
    }

    // The client reads: its 30 s of not reading start again.
    void written() {
        if (gone_) return;
        if (closing_ && socket_->bytesToWrite() == 0) {
            socket_->disconnectFromHost();
            return;
        }
        if (socket_->bytesToWrite() > 0) timer_.start(front_.limits_.idle_ms);
        resume();
        arm();
    }

    // Reading again once the client took our answers, or the device answered.
    void resume() {
        if (!paused_ || full()) return;
        paused_ = false;
        QMetaObject::invokeMethod(this, &Connection::process, Qt::QueuedConnection);
    }

    void process() {
        while (!gone_ && reading_) {
            if (full()) {
                paused_ = true;
                break;
            }
            const RequestFramer::Step step = framer_.next();
            if (step == RequestFramer::Step::more) {
                const qint64 room = kReadAhead - qint64(framer_.buffered());
                if (socket_->bytesAvailable() == 0 || room <= 0) break;
                const QByteArray bytes = socket_->read(room);
                heard_ = true;
                framer_.add(std::string_view(bytes.constData(), std::size_t(bytes.size())));
            } else if (step == RequestFramer::Step::error) {
                head_only_ = false;
                answer_now(framer_.error_status(),
                           error_json(framer_.error_status() == 413 ? body_too_large()
                                                                    : QByteArray::fromStdString(framer_.error())),
                           {}, true);
            } else if (step == RequestFramer::Step::head) {
                if (!take_head()) return;
            } else {
                take_request();
            }
        }
        // After a last request, what else comes is dropped as it comes.
        if (!reading_ && !gone_ && socket_->bytesAvailable() > 0) socket_->read(socket_->bytesAvailable());
        flush();  // a 100 Continue waiting
    }

    // False when the connection was handed over.
    bool take_head() {
        head_ = framer_.head();
        head_only_ = head_.method == "HEAD";
        const bool has_body = head_.chunked || head_.content_length > 0;
        Refusal refusal = front_.check ? front_.check(head_, peer_) : Refusal{};
        if (refusal.status == 0 && head_.websocket) return !upgrade();
        max_body_ = refusal.status == 0 && front_.max_body ? front_.max_body(head_) : kMaxBody;
        if (refusal.status == 0 && head_.content_length > max_body_)
            refusal = {413, error_json(body_too_large()), {}};
        if (refusal.status != 0) {
            // An announced body is never read: the connection ends after the answer.
            framer_.next_request();
            answer_now(refusal.status, refusal.json, refusal.headers, has_body || !head_.keep_alive);
            return true;
        }
        if (has_body && head_.expect_continue)
            answers_.push_back({++next_id_, true, "HTTP/1.1 100 Continue\r\n\r\n", false});
        framer_.read_body(max_body_);
        return true;
    }

    QByteArray body_too_large() const {
        return "body over " + QByteArray::number(qulonglong(max_body_ / 1024)) + " KiB";
    }

    void take_request() {
        const std::string taken = framer_.take_body();
        const QByteArray body(taken.data(), qsizetype(taken.size()));
        const bool close = !head_.keep_alive;
        const bool head = head_only_;
        if (front_.file) {
            const File f = front_.file(head_);
            if (f.status != 0) {
                push(response(f.status, f.body, close, f.headers, head), close);
                return;
            }
        }
        const quint64 id = ++next_id_;
        answers_.push_back({id, false, {}, close});
        if (close) reading_ = false;  // nothing more is read; the answer still goes out
        QPointer<Connection> self(this);
        Answer answer([self, id, head](int status, const QByteArray& json, const QByteArray& headers) {
            if (self) self->fill(id, status, json, headers, head);
        });
        if (front_.request) {
            front_.request(head_, body, peer_, std::move(answer));
        } else {
            answer(404, error_json("no such route"));
        }
    }

    // Qt WebSockets reads the head itself: every byte from it on is put back into the
    // socket, in front of what the socket holds still. True when handed over.
    bool upgrade() {
        if (!answers_.empty()) {
            framer_.next_request();
            answer_now(400, error_json("an upgrade must not follow other requests"), {}, true);
            return false;
        }
        gone_ = true;
        timer_.stop();
        disconnect(socket_, nullptr, this, nullptr);
        const std::string_view unread = framer_.from_head();
        for (auto c = unread.rbegin(); c != unread.rend(); ++c) socket_->ungetChar(*c);
        socket_->setParent(nullptr);
        front_.upgrades_->handleConnection(socket_);
        deleteLater();
        return true;
    }

    HttpFront& front_;
    QTcpSocket* socket_;
    const QString address_;  // the per-address count this connection is in
    RequestFramer framer_;
    std::size_t max_body_ = kMaxBody;  // of the request being read
    QHostAddress peer_;
    QTimer timer_;
    HttpHead head_;
    std::deque<Slot> answers_;
    quint64 next_id_ = 0;
    bool head_only_ = false;  // the request being read is a HEAD
    bool heard_ = false;      // a byte came
    bool reading_ = true;     // false after a request that ends the connection
    bool closing_ = false;    // its last answer is written
    bool paused_ = false;     // full: reading waits for the client or the device
    bool gone_ = false;
    bool slow_ = false;
};

HttpFront::HttpFront(QObject* parent)
    : QObject(parent),
      server_(std::make_unique<QTcpServer>()),
      upgrades_(std::make_unique<QWebSocketServer>(QStringLiteral("tqv7310nx"),
                                                   QWebSocketServer::NonSecureMode)) {
    server_->setListenBacklogSize(128);
    connect(server_.get(), &QTcpServer::newConnection, this, &HttpFront::accept);
    // Out of descriptors, QTcpServer stops accepting by itself; try again a second later
    // rather than spinning on a listening socket that stays readable.
    resume_.setSingleShot(true);
    resume_.setInterval(1000);
    connect(&resume_, &QTimer::timeout, server_.get(), &QTcpServer::resumeAccepting);
    connect(server_.get(), &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        if (!resume_.isActive())
            say("http: cannot accept (" + server_->errorString().toStdString() +
                "); accepting again in 1 s");
        server_->pauseAccepting();
        resume_.start();
    });
    connect(upgrades_.get(), &QWebSocketServer::newConnection, this, [this] {
        while (QWebSocket* socket = upgrades_->nextPendingConnection()) {
            if (websocket) {
                websocket(socket);
            } else {
                socket->deleteLater();
            }
        }
    });
}

HttpFront::~HttpFront() {
    // The connections count themselves out, which they must do while this is whole.
    const QObjectList connections = children();
    for (QObject* connection : connections) delete connection;
}

bool HttpFront::listen(const QHostAddress& address, quint16 port) {
    return server_->listen(address, port);
}

quint16 HttpFront::port() const { return server_->serverPort(); }

void HttpFront::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        // Answers and events go out as they are ready, not when the client's delayed
        // acknowledgement lets Nagle's algorithm send them; an upgraded socket keeps this.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // One client cannot hold every slot: ::ffff:a.b.c.d counts as a.b.c.d.
        QHostAddress peer = socket->peerAddress();
        bool v4 = false;
        const quint32 ip4 = peer.toIPv4Address(&v4);
        if (v4) peer = QHostAddress(ip4);
        const QString address = peer.toString();
        const bool crowded = per_address_.value(address) >= limits_.max_per_address;
        if (connections_ >= limits_.max_connections || crowded) {
            socket->write(response(503, error_json(crowded ? "too many connections from this address"
                                                           : "too many connections"),
                                   true));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
            continue;
        }
        ++connections_;
        ++per_address_[address];
        new Connection(*this, socket, address);
    }
}

}  // namespace tqv
