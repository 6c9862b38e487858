#include "link/peer_set.h"

#include <QTcpSocket>
#include <algorithm>

#include "link/tcp_link.h"

namespace tqv {

PeerSet::PeerSet(TcpLink& tcp, const Model& record, QObject* parent)
    : QObject(parent), tcp_(tcp), record_(record) {
    connect(&tcp_, &TcpLink::peers_changed, this, &PeerSet::sync);
    // The operator closed the server: the devices of that session are forgotten.
    connect(&tcp_, &TcpLink::shut_down, this, [this] { known_.clear(); });
    ticks_.setInterval(SendPath::kTickMs);
    connect(&ticks_, &QTimer::timeout, this, [this] {
        for (auto& [entry, channel] : channels_) channel->tick();
    });
}

PeerSet::~PeerSet() = default;

PeerChannel* PeerSet::channel(int entry) const {
    auto it = channels_.find(entry);
    return it == channels_.end() ? nullptr : it->second.get();
}

std::vector<int> PeerSet::entries() const {
    std::vector<int> out;
    for (const auto& [entry, channel] : channels_) out.push_back(entry);
    return out;
}

int PeerSet::known_up() const {
    return int(std::count_if(known_.begin(), known_.end(), [](const Known& k) { return k.up; }));
}

void PeerSet::receive(int entry, const QByteArray& bytes) {
    if (entry == elsewhere_) return;
    if (PeerChannel* c = channel(entry)) c->receive(bytes);
}

void PeerSet::sync() {
    // Gone first: a socket whose entry is free, or taken by another socket now.
    for (auto it = channels_.begin(); it != channels_.end();) {
        const TcpLink::Peer& p = tcp_.peer(it->first);
        QObject* socket = p.in_use == 1 ? p.peer_socket : nullptr;
        if (socket != nullptr && it->second->parent() == this &&
            it->second->property("socket").value<QObject*>() == socket) {
            ++it;
            continue;
        }
        std::unique_ptr<PeerChannel> gone = std::move(it->second);
        const int entry = it->first;
        it = channels_.erase(it);
        gone->lost();
        emit channel_removed(entry);
        gone.release()->deleteLater();
    }
    for (int entry = 1; entry <= TcpLink::kMaxPeers; ++entry) {
        const TcpLink::Peer& p = tcp_.peer(entry);
        if (p.in_use != 1 || p.peer_socket == nullptr || channels_.count(entry) != 0) continue;
        auto c = std::make_unique<PeerChannel>(record_, p.peer_socket, this);
        c->setProperty("socket", QVariant::fromValue<QObject*>(p.peer_socket));
        const QString name = tcp_.peer_name(entry);
        connect(c.get(), &PeerChannel::written, this,
                [this, name](const QByteArray& frame) { emit written(name, frame); });
        channels_[entry] = std::move(c);
        emit channel_added(entry);
    }
    for (Known& k : known_) k.up = false;
    for (const auto& [entry, channel] : channels_) {
        const QString address = QString::fromStdString(tcp_.peer_address(entry));
        auto it = std::find_if(known_.begin(), known_.end(), [&](const Known& k) { return k.address == address; });
        if (it == known_.end()) it = known_.insert(known_.end(), Known{address, false});
        it->up = true;
    }
    if (channels_.empty()) {
        ticks_.stop();
    } else if (!ticks_.isActive()) {
        ticks_.start();
    }
}

}  // namespace tqv
