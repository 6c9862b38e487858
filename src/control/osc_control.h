// Show control over OSC: each datagram (or each message of its bundle) is a request on a
// route, "/tqv/page", "/tqv/startup", "/tqv/title" or "/tqv/cue/…", answered to its sender
// as "/reply" + the address with the JSON answer. OSC cannot carry the token: it is taken
// from the allowed client addresses, and dropped while remote control is locked.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <string>
#include <string_view>

#include "control/control_log.h"

class QUdpSocket;

namespace tqv {

class ControlGate;
class CueRoutes;
class RequestExecutor;

class OscControl : public QObject {
    Q_OBJECT
  public:
    OscControl(const ControlGate& gate, RequestExecutor& executor, CueRoutes& cues,
               const ControlLog& log);

    // Listens on `address`:`port`; false with `error` when it cannot.
    bool open(const QHostAddress& address, int port, const std::string& bind, std::string* error);
    int port() const { return port_; }

  private:
    void read();
    void request(std::string_view data, const QHostAddress& sender, quint16 port);

    const ControlGate& gate_;
    RequestExecutor& executor_;
    CueRoutes& cues_;
    LimitedLog ignored_;
    QUdpSocket* socket_ = nullptr;
    int port_ = 0;
};

}  // namespace tqv
