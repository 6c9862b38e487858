// The HTTP/1.1 front of show control, with the WebSocket upgrade, on a plain QTcpServer.
//
// Qt HTTP Server 6.4 reads a whole request into memory before a route sees it, and has no
// connection cap or time-outs; this front bounds what each client can make us hold. Bytes
// become requests through RequestFramer (Boost.Beast's parser, fed on this event loop);
// this file keeps the order of answers and the limits:
// - a head of at most 16 KiB (431 beyond), checked (`check`) before a byte of its body is
//   read; a body of at most 4 KiB (a route may allow more, see `max_body`), refused from
//   its Content-Length before it is read, or once a chunked body's decoded size passes it
//   (413); a refused request that announced a body ends its connection;
// - at most 16 answers outstanding and 256 KiB of answer bytes unsent (the socket's write
//   buffer and the answers ready behind one still awaited): beyond either, nothing more is
//   read from that client until it reads or the device answers;
// - 128 connections, 16 per client address; 5 s for a new connection's first byte, 10 s
//   to send a request once begun, 30 s of silence between requests (or of not reading
//   our answers);
// - answers go out in the order the requests came, whatever order they end in; a request
//   that ends its connection (Connection: close, HTTP/1.0) does so once every answer
//   before it and its own are written.
// A HEAD request's answer is written without its body (its Content-Length kept). An
// upgrade to a WebSocket, once checked like any other request, is handed to Qt WebSockets
// with its head put back unread. Every socket sends without delay (no Nagle).
#pragma once

#include <QHash>
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
        int max_per_address = 16;  // connections from one client address
        int idle_ms = 30000;
        int first_byte_ms = 5000;  // from a connection's start to its first byte
        int request_ms = 10000;    // from a request's first byte to its last
    };
    // Sends the JSON answer to one request (once; later calls and calls after the client
    // has gone do nothing). `headers`: "Name: value\r\n" lines added to the answer's own
    // (e.g. an Allow for OPTIONS).
    class Answer {
      public:
        using Send = std::function<void(int status, const QByteArray& json, const QByteArray& headers)>;
        explicit Answer(Send send) : send_(std::move(send)) {}
        void operator()(int status, const QByteArray& json) const { send_(status, json, {}); }
        void operator()(int status, const QByteArray& json, const QByteArray& headers) const {
            send_(status, json, headers);
        }

      private:
        Send send_;
    };
    struct Refusal {
        Refusal() = default;
        Refusal(int status, QByteArray json, QByteArray headers = {})
            : status(status), json(std::move(json)), headers(std::move(headers)) {}
        int status = 0;  // 0: the request goes on
        QByteArray json;
        QByteArray headers;  // added to the answer's, as for Answer
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
    // Any body, with `headers` in place of the JSON content type; a 304 has no body, nor
    // the answer to a HEAD (`head`), which keeps the Content-Length of its body.
    static QByteArray response(int status, const QByteArray& body, bool close,
                               const QByteArray& headers, bool head = false);

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
    QHash<QString, int> per_address_;
};

}  // namespace tqv
