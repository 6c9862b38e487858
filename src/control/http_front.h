// The HTTP/1.1 front of show control, with the WebSocket upgrade, on a plain QTcpServer.
//
// Qt HTTP Server 6.4 reads a whole request into memory before a route sees it, and has no
// connection cap or time-outs; this front bounds what each client can make us hold: a head
// of at most 16 KiB, a body of at most 4 KiB (refused from its Content-Length before it is
// read, after its head was checked; a route may allow more, see `max_body`), a read buffer of a little more, at most 16 answers
// outstanding per connection, 128 connections, 10 s to send a request once begun and 30 s
// of silence. Answers go out in the order the requests came, whatever order they end in.
// An upgrade to a WebSocket, once checked like any other request, is handed to Qt
// WebSockets with the head still unread.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>

#include "control/control_parse.h"

class QTcpServer;
class QWebSocket;
class QWebSocketServer;

namespace tqv {

class HttpFront : public QObject {
    Q_OBJECT
  public:
    struct Limits {
        int max_connections = 128;
        int idle_ms = 30000;
        int request_ms = 10000;  // from a request's first byte to its last
    };
    // Sends the answer to one request (once; later calls and calls after the client has
    // gone do nothing).
    using Answer = std::function<void(int status, const QByteArray& json)>;
    struct Refusal {
        int status = 0;  // 0: the request goes on
        QByteArray json;
    };

    explicit HttpFront(QObject* parent = nullptr);
    ~HttpFront() override;

    void set_limits(const Limits& limits) { limits_ = limits; }
    bool listen(const QHostAddress& address, quint16 port);
    quint16 port() const;
    int connections() const { return connections_; }

    // Called with each head before anything else is read: a refusal is answered at once
    // (and the connection closed when a body was announced).
    std::function<Refusal(const HttpHead& head, const QHostAddress& peer)> check;
    // The largest body taken for a request that passed the check (default kMaxBody); the
    // read buffer grows to it for that request only.
    std::function<std::size_t(const HttpHead& head)> max_body;
    // A whole request that passed the check.
    std::function<void(const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                       Answer answer)>
        request;
    // A WebSocket that passed the check and its handshake; the receiver owns it.
    std::function<void(QWebSocket* socket)> websocket;
    // A file answered at once, without `request` (the web panel's); status 0: not a file.
    struct File {
        int status = 0;
        QByteArray headers;  // "Name: value\r\n" lines, Content-Type among them
        QByteArray body;
    };
    std::function<File(const HttpHead& head)> file;
    std::function<void(const std::string& line)> log;

    static QByteArray response(int status, const QByteArray& json, bool close);
    // Any body, with `headers` in place of the JSON content type; a 304 has no body.
    static QByteArray response(int status, const QByteArray& body, bool close,
                               const QByteArray& headers);

  private:
    class Connection;
    void accept();
    void say(const std::string& line) const {
        if (log) log(line);
    }

    Limits limits_;
    std::unique_ptr<QTcpServer> server_;
    std::unique_ptr<QWebSocketServer> upgrades_;
    QTimer resume_;  // accepting again after the descriptors ran out
    int connections_ = 0;
};

}  // namespace tqv
