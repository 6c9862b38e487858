// Raw HTTP/1.1 on one connection to 127.0.0.1: what a client that writes bytes by hand sees.
#pragma once

#include <QByteArray>
#include <QTcpSocket>
#include <optional>
#include <vector>

#include "link/sim_process.h"

namespace tqv::test {

struct Reply {
    int status = 0;  // 0: no complete answer
    QByteArray body;
};

// The first answer in `buffer` once it is complete (its Content-Length read), taken out.
inline std::optional<Reply> take_answer(QByteArray& buffer) {
    const qsizetype end = buffer.indexOf("\r\n\r\n");
    if (end < 0) return std::nullopt;
    const QByteArray head = buffer.left(end).toLower();
    const qsizetype at = head.indexOf("content-length:");
    const int length =
        at < 0 ? 0 : head.mid(at + 15, head.indexOf('\r', at) - at - 15).trimmed().toInt();
    if (buffer.size() < end + 4 + length) return std::nullopt;
    Reply r{buffer.mid(9, 3).toInt(), buffer.mid(end + 4, length)};
    buffer.remove(0, end + 4 + length);
    return r;
}

// Every complete answer in `buffer` taken out onto `out`; how many `out` holds then.
inline std::size_t take_answers(QByteArray& buffer, std::vector<Reply>& out) {
    while (auto r = take_answer(buffer)) out.push_back(*r);
    return out.size();
}

// The head of a WebSocket upgrade of `target`, `extra` lines added (a Host among them).
inline QByteArray upgrade(const QByteArray& target, const QByteArray& extra) {
    return "GET " + target + " HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n" + extra + "\r\n";
}

// Writes `raw` on one connection and collects the answers in order (a 100 Continue is one)
// until `count` are in or the server closes; `closed` tells whether it did.
inline std::vector<Reply> exchange(int port, const QByteArray& raw, std::size_t count,
                                   bool* closed = nullptr) {
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(port));
    socket.write(raw);
    std::vector<Reply> out;
    QByteArray buffer;
    wait_until([&] {
        return take_answers(buffer += socket.readAll(), out) >= count ||
               socket.state() == QAbstractSocket::UnconnectedState;
    });
    if (closed != nullptr)
        *closed = wait_until([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 3000);
    return out;
}

}  // namespace tqv::test
