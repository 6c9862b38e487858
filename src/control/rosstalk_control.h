// Show control from a vision mixer over RossTalk: GO fires the next cue, GPI n cue n, on a
// TCP port of their own. RossTalk cannot carry the token: it is taken from the allowed
// client addresses, and its commands are dropped while remote control is locked. Nothing
// is answered; what is refused is logged, rate-limited.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <memory>
#include <string>
#include <vector>

#include "control/control_log.h"

class QTcpServer;
class QTcpSocket;

namespace tqv {

class ControlGate;
class CueRoutes;

class RossTalkControl : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxClients = 16;

    RossTalkControl(const ControlGate& gate, CueRoutes& cues, const ControlLog& log);
    ~RossTalkControl() override;

    // Listens on `address`:`port`; false with `error` when it cannot.
    bool open(const QHostAddress& address, int port, const std::string& bind, std::string* error);
    int port() const { return port_; }

  private:
    struct Client;
    void accept(QTcpSocket* socket);
    void read(Client& client);

    const ControlGate& gate_;
    CueRoutes& cues_;
    LimitedLog ignored_;
    QTcpServer* server_ = nullptr;
    int port_ = 0;
    std::vector<std::shared_ptr<Client>> clients_;
};

}  // namespace tqv
