#include "link/peer_roster.h"

#include <QTcpSocket>

#include "link/tcp_link.h"

namespace tqv {

PeerRoster::PeerRoster(TcpLink& tcp, Model& model, int count, QObject* parent)
    : QObject(parent), tcp_(tcp), model_(model), devices_(std::size_t(std::max(count, 1))) {
    tcp_.set_max_peers(count);
    connect(&tcp_, &TcpLink::peers_changed, this, &PeerRoster::sync);
    sync();
}

int PeerRoster::connected() const {
    int n = 0;
    for (const Device& d : devices_) n += up(d);
    return n;
}

bool PeerRoster::up(const Device& d) const {
    if (d.entry <= 0 || !d.socket) return false;
    const TcpLink::Peer& p = tcp_.peer(d.entry);
    return p.in_use == 1 && static_cast<QObject*>(p.peer_socket) == d.socket.data();
}

QString PeerRoster::status(const Device& d) const {
    if (up(d)) return QStringLiteral("up");
    return d.address.isEmpty() ? QStringLiteral("absent") : QStringLiteral("lost");
}

void PeerRoster::sync() {
    bool any = false;
    auto name = [](std::size_t k) { return QStringLiteral("device %1 ").arg(k + 1); };
    for (std::size_t k = 0; k < devices_.size(); ++k) {
        Device& d = devices_[k];
        if (d.entry == 0) continue;
        if (up(d)) continue;
        emit said(name(k) + d.address + QStringLiteral(" gone"));
        d.entry = 0;
        d.socket = nullptr;
        any = true;
    }
    for (int entry = 1; entry <= TcpLink::kMaxPeers; ++entry) {
        const TcpLink::Peer& p = tcp_.peer(entry);
        if (p.in_use != 1) continue;
        bool held = false;
        for (const Device& d : devices_) held = held || d.entry == entry;
        if (held) continue;
        const QString address = QString::fromStdString(tcp_.peer_address(entry));
        // Its own number first, then one never used, then the number of one that is gone.
        auto find = [&](auto&& fits) -> std::size_t {
            for (std::size_t k = 0; k < devices_.size(); ++k)
                if (fits(devices_[k])) return k;
            return devices_.size();
        };
        std::size_t k = find([&](const Device& d) { return d.entry == 0 && d.address == address; });
        QString line = name(k) + address + QStringLiteral(" back");
        if (k == devices_.size()) {
            k = find([](const Device& d) { return d.address.isEmpty(); });
            line = name(k) + address + QStringLiteral(" connected");
        }
        if (k == devices_.size()) {
            k = find([](const Device& d) { return d.entry == 0; });
            if (k < devices_.size())
                line = name(k).trimmed() + QStringLiteral(": ") + address +
                       QStringLiteral(" replaces ") + devices_[k].address;
        }
        if (k == devices_.size()) continue;  // the link refuses more than there are numbers
        devices_[k] = Device{address, entry, QPointer<QObject>(p.peer_socket), tcp_.peer_port(entry)};
        emit said(line);
        any = true;
    }
    model_.selected_peer = devices_.front().entry > 0 ? devices_.front().entry : -1;
    if (any) emit changed();
}

}  // namespace tqv
