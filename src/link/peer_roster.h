// The server role's devices by number, kept by address (the show-control server of the
// command-line tool, where panels name devices by number): the fleet's numbering when it
// is asked to number by address (Fleet::number_by_address).
//
// Device k is the device that connected k-th. When its connection goes and a connection
// comes back from its address, it is device k again, on whatever peer entry it lands; a
// connection from an address no device has takes the number of a device that is gone, and
// that replacement is said. Device 1 is the chosen device: the model's selected_peer
// follows its entry and is -1 while it is away, so that nobody who happens to connect
// meanwhile silently receives its commands.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <vector>

#include "core/model.h"

namespace tqv {

class TcpLink;

class PeerRoster : public QObject {
    Q_OBJECT
  public:
    struct Device {
        QString address;  // empty until it first connected
        int entry = 0;    // its peer entry while connected; 0 while away
        QPointer<QObject> socket;
        quint16 port = 0;  // the port it connected from last; 0 before it first connected
    };
    // "up", "absent" (never connected yet) or "lost" (connected once, away now). A device
    // counts as up only while its socket still holds its entry, also in the moment between
    // the link's change and this roster's own look at it.
    QString status(const Device& d) const;
    bool up(const Device& d) const;

    PeerRoster(TcpLink& tcp, Model& model, int count, QObject* parent = nullptr);

    const std::vector<Device>& devices() const { return devices_; }
    int connected() const;

  signals:
    // "device 2 192.168.1.5 back", "device 1: 192.168.1.9 replaces 192.168.1.5", ...
    void said(const QString& line);
    void changed();

  private:
    void sync();

    TcpLink& tcp_;
    Model& model_;
    std::vector<Device> devices_;
};

}  // namespace tqv
