#include "control/http_front.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <deque>

namespace tqv {

namespace {

constexpr int kMaxOutstanding = 16;
// The head, a body and its chunk lines: a client can never make us buffer more.
constexpr qint64 kReadBuffer = qint64(kMaxHead + kMaxBody) + 2048;

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
        case 423: return "Locked";
        case 426: return "Upgrade Required";
        case 431: return "Request Header Fields Too Large";
        case 502: return "Bad Gateway";
        case 503: return "Service Unavailable";
        case 504: return "Gateway Timeout";
    }
    return "Status";
}

QByteArray error_json(const char* text) { return QByteArray("{\"error\":\"") + text + "\"}"; }

std::string_view view(const QByteArray& bytes) {
    return {bytes.constData(), std::size_t(bytes.size())};
}

}  // namespace

QByteArray HttpFront::response(int status, const QByteArray& json, bool close) {
    return response(status, json, close, "Content-Type: application/json\r\n");
}

QByteArray HttpFront::response(int status, const QByteArray& body, bool close,
                               const QByteArray& headers) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason(status) + "\r\n";
    if (status == 401) out += "WWW-Authenticate: Bearer\r\n";
    out += headers;
    if (status != 304) out += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    if (close) out += "Connection: close\r\n";
    return out + "\r\n" + (status == 304 ? QByteArray() : body);
}

class HttpFront::Connection : public QObject {
  public:
    Connection(HttpFront& front, QTcpSocket* socket) : QObject(&front), front_(front), socket_(socket) {
        socket_->setParent(this);
        socket_->setReadBufferSize(kReadBuffer);
        peer_ = socket_->peerAddress();
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, &Connection::timed_out);
        connect(socket_, &QTcpSocket::readyRead, this, &Connection::process);
        connect(socket_, &QTcpSocket::disconnected, this, &Connection::gone);
        connect(socket_, &QTcpSocket::bytesWritten, this, [this] {
            if (closing_ && socket_->bytesToWrite() == 0) socket_->disconnectFromHost();
        });
        arm();
    }
    ~Connection() override { --front_.connections_; }

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
            answer_now(408, error_json("request not complete in time"), true);
        } else {
            socket_->disconnectFromHost();
        }
    }

    // Idle: 30 s. A request begun: 10 s from its first byte. Waiting for the device: the
    // control's own guard ends that.
    void arm() {
        if (gone_ || closing_) return;
        const bool waiting = !answers_.empty();
        const bool partial = in_body_ || socket_->bytesAvailable() > 0;
        if (waiting && !partial) {
            timer_.stop();
            slow_ = false;
        } else if (partial) {
            if (!slow_ || !timer_.isActive()) timer_.start(front_.limits_.request_ms);
            slow_ = true;
        } else {
            slow_ = false;
            timer_.start(front_.limits_.idle_ms);
        }
    }

    void answer_now(int status, const QByteArray& json, bool close) {
        answers_.push_back({++next_id_, true, response(status, json, close), close});
        if (close) closing_ = true;
        flush();
    }

    void fill(quint64 id, int status, const QByteArray& json, bool close) {
        for (Slot& s : answers_) {
            if (s.id != id || s.ready) continue;
            s.ready = true;
            s.bytes = response(status, json, close);
            s.close = close;
        }
        flush();
    }

    void flush() {
        if (gone_) return;
        const bool was_full = answers_.size() >= std::size_t(kMaxOutstanding);
        while (!answers_.empty() && answers_.front().ready) {
            socket_->write(answers_.front().bytes);
            const bool close = answers_.front().close;
            answers_.pop_front();
            if (close) {
                closing_ = true;
                answers_.clear();
                timer_.stop();
                if (socket_->bytesToWrite() == 0) socket_->disconnectFromHost();
                return;
            }
        }
        if (was_full && answers_.size() < std::size_t(kMaxOutstanding))
            QMetaObject::invokeMethod(this, &Connection::process, Qt::QueuedConnection);
        arm();
    }

    void process() {
        while (!gone_ && !closing_ && answers_.size() < std::size_t(kMaxOutstanding)) {
            if (!in_body_ && !read_head()) break;
            if (in_body_ && !read_body()) break;
        }
        if (closing_ && socket_->bytesAvailable() > 0) socket_->read(socket_->bytesAvailable());
        arm();
    }

    // False when more bytes are needed or the connection is done with.
    bool read_head() {
        const QByteArray peek = socket_->peek(qint64(kMaxHead));
        if (peek.isEmpty()) return false;
        const HeadParse p = parse_http_head(view(peek));
        switch (p.state) {
            case HeadParse::State::incomplete:
                return false;
            case HeadParse::State::too_large:
                answer_now(431, error_json("request head over 16 KiB"), true);
                return false;
            case HeadParse::State::bad:
                answer_now(400, "{\"error\":\"" + QByteArray::fromStdString(p.error) + "\"}", true);
                return false;
            case HeadParse::State::complete:
                break;
        }
        head_ = p.head;
        const bool has_body = head_.chunked || head_.content_length > 0;
        Refusal refusal = front_.check ? front_.check(head_, peer_) : Refusal{};
        if (refusal.status == 0 && head_.websocket) {
            upgrade();
            return false;
        }
        socket_->read(qint64(head_.size));
        max_body_ = refusal.status == 0 && front_.max_body ? front_.max_body(head_) : kMaxBody;
        if (refusal.status == 0 && head_.content_length > max_body_)
            refusal = {413, body_too_large()};
        if (refusal.status != 0) {
            // An announced body is never read: the connection ends after the answer.
            answer_now(refusal.status, refusal.json, has_body || !head_.keep_alive);
            return !closing_;
        }
        if (has_body && head_.expect_continue)
            answers_.push_back({++next_id_, true, "HTTP/1.1 100 Continue\r\n\r\n", false});
        in_body_ = true;
        socket_->setReadBufferSize(buffer_size());
        return true;
    }

    qint64 buffer_size() const { return qint64(kMaxHead + max_body_) + 2048; }
    QByteArray body_too_large() const {
        return "{\"error\":\"body over " + QByteArray::number(qulonglong(max_body_ / 1024)) +
               " KiB\"}";
    }

    bool read_body() {
        QByteArray body;
        if (head_.chunked) {
            const QByteArray peek = socket_->peek(buffer_size());
            const ChunkedParse c = parse_chunked(view(peek), max_body_);
            if (c.state == ChunkedParse::State::too_large ||
                (c.state == ChunkedParse::State::incomplete && peek.size() >= buffer_size())) {
                answer_now(413, body_too_large(), true);
                return false;
            }
            if (c.state == ChunkedParse::State::bad) {
                answer_now(400, error_json("bad chunked body"), true);
                return false;
            }
            if (c.state == ChunkedParse::State::incomplete) {
                flush();  // a 100 Continue waiting
                return false;
            }
            socket_->read(qint64(c.size));
            body = QByteArray::fromStdString(c.body);
        } else {
            if (socket_->bytesAvailable() < qint64(head_.content_length)) {
                flush();
                return false;
            }
            body = socket_->read(qint64(head_.content_length));
        }
        in_body_ = false;
        max_body_ = kMaxBody;
        socket_->setReadBufferSize(kReadBuffer);
        const bool close = !head_.keep_alive;
        if (front_.file) {
            const File f = front_.file(head_);
            if (f.status != 0) {
                answers_.push_back({++next_id_, true, response(f.status, f.body, close, f.headers), close});
                if (close) closing_ = true;
                flush();
                return !closing_;
            }
        }
        const quint64 id = ++next_id_;
        answers_.push_back({id, false, {}, close});
        if (close) closing_ = true;  // nothing more is read; the answer still goes out
        QPointer<Connection> self(this);
        Answer answer = [self, id, close](int status, const QByteArray& json) {
            if (self) self->fill(id, status, json, close);
        };
        if (front_.request) {
            front_.request(head_, body, peer_, std::move(answer));
        } else {
            answer(404, error_json("no such route"));
        }
        return true;
    }

    // Qt WebSockets reads the head itself: it is still in the socket's buffer.
    void upgrade() {
        if (!answers_.empty()) {
            answer_now(400, error_json("an upgrade must not follow other requests"), true);
            return;
        }
        gone_ = true;
        timer_.stop();
        disconnect(socket_, nullptr, this, nullptr);
        socket_->setParent(nullptr);
        front_.upgrades_->handleConnection(socket_);
        deleteLater();
    }

    HttpFront& front_;
    QTcpSocket* socket_;
    std::size_t max_body_ = kMaxBody;  // of the request being read
    QHostAddress peer_;
    QTimer timer_;
    HttpHead head_;
    std::deque<Slot> answers_;
    quint64 next_id_ = 0;
    bool in_body_ = false;
    bool closing_ = false;
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
        if (connections_ >= limits_.max_connections) {
            socket->write(response(503, error_json("too many connections"), true));
            socket->disconnectFromHost();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            if (socket->state() == QAbstractSocket::UnconnectedState) socket->deleteLater();
            continue;
        }
        ++connections_;
        new Connection(*this, socket);
    }
}

}  // namespace tqv
