// A device the test plays itself over TCP on 127.0.0.1: it keeps every line it is sent and
// answers only what the test writes, when the test writes it. The reads of the device's
// state are answered at once, as the device would, unless `hold_reads` keeps them too.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

#include "sim/responder.h"

namespace tqv::test {

struct HeldDevice {
    HeldDevice() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            socket = server.nextPendingConnection();
            QObject::connect(socket, &QTcpSocket::readyRead, [this] {
                buffer += socket->readAll();
                for (qsizetype end; (end = buffer.indexOf("\r\n")) >= 0; buffer.remove(0, end + 2)) {
                    const QByteArray line = buffer.left(end);
                    if (line.mid(2, 1) == "R" && !hold_reads) {
                        socket->write(QByteArray::fromStdString(reads.respond(line.toStdString())));
                    } else {
                        lines.push_back(line);
                    }
                }
            });
        });
    }
    void say(const QByteArray& line) { socket->write(line + "\r\n"); }
    QTcpServer server;
    QTcpSocket* socket = nullptr;
    QByteArray buffer;
    std::vector<QByteArray> lines;
    bool hold_reads = false;
    tqv::sim::Responder reads{0, tqv::sim::Link::tcp};
};

}  // namespace tqv::test
