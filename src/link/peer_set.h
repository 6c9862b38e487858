// The devices of the server role, each on a channel of its own: one PeerChannel per
// connected peer, created when it connects and ended when it goes, the bytes of each peer
// routed to its channel, and the 500 ms answer tick of them all. The fleet (fleet.h) is
// built on this one set: the program's and the tool's runs on every device, and the lanes.
#pragma once

#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <vector>

#include "link/peer_channel.h"

namespace tqv {

class TcpLink;

class PeerSet : public QObject {
    Q_OBJECT
  public:
    // `record`: what a new channel's copy starts from (the program's document).
    PeerSet(TcpLink& tcp, const Model& record, QObject* parent = nullptr);
    ~PeerSet() override;

    // The channel of peer entry `entry`; nullptr when none is connected there.
    PeerChannel* channel(int entry) const;
    // The connected entries, in entry order.
    std::vector<int> entries() const;
    // The entry whose bytes are somebody else's (the program's chosen device, answered
    // through its own link); 0 for none.
    void set_routed_elsewhere(int entry) { elsewhere_ = entry; }
    // Bytes from peer `entry`.
    void receive(int entry, const QByteArray& bytes);

    // Each device address that connected since the link began listening, and whether a
    // connection from it is up now: how many of the devices are there ("3/4") and which
    // are not. The program's devices are told apart by address.
    struct Known {
        QString address;
        bool up = false;
    };
    const std::vector<Known>& known() const { return known_; }
    int known_up() const;

  signals:
    void channel_added(int entry);
    // Before the channel is deleted: whoever drives a run on it lets go now. Its run, if
    // any, has already ended with the link's message.
    void channel_removed(int entry);
    // Every frame a channel wrote, with the peer's name.
    void written(const QString& peer, const QByteArray& frame);

  private:
    void sync();

    TcpLink& tcp_;
    const Model& record_;
    std::map<int, std::unique_ptr<PeerChannel>> channels_;
    QTimer ticks_;
    int elsewhere_ = 0;
    std::vector<Known> known_;
};

}  // namespace tqv
