#include "link/peer_channel.h"

#include <QTcpSocket>

#include "core/texts.h"

namespace tqv {

PeerChannel::PeerChannel(const Model& record, QTcpSocket* socket, QObject* parent)
    : QObject(parent),
      model_(std::make_unique<Model>(record)),
      path_(*model_, ui_),
      dispatcher_(path_),
      socket_(socket) {
    prepare_link_state();
    path_.set_tcp_transport(this);
    if (socket_ != nullptr) connect(socket_, &QTcpSocket::disconnected, this, &PeerChannel::lost);
}

PeerChannel::~PeerChannel() = default;

void PeerChannel::prepare_link_state() {
    // This channel is one connection, as a client's is: its commands go to its socket.
    Model& m = *model_;
    m.interface_kind = 1;
    m.tcp_role = 0;
    m.selected_peer = 0;
    m.tcp_connected = lost_ ? 0 : 1;
    m.bulk_active = 0;
    m.glyph_bulk_active = 0;
    m.tcp_line.clear();
}

void PeerChannel::set_record(const Model& record) {
    // Never under a run: the run owns the flags this would overwrite.
    if (path_.run_under_way()) return;
    *model_ = record;
    prepare_link_state();
}

void PeerChannel::lost() {
    if (lost_) return;
    lost_ = true;
    model_->tcp_connected = 0;
    path_.link_lost(true, text::kSocketNotConnected);
}

bool PeerChannel::bytes_pending() const {
    return socket_ != nullptr && socket_->bytesToWrite() > 0;
}

bool PeerChannel::write(std::string_view frame) {
    if (!link_up()) return false;
    const QByteArray bytes(frame.data(), qsizetype(frame.size()));
    if (socket_->write(bytes) != bytes.size()) return false;
    emit written(bytes);
    return true;
}

bool PeerChannel::link_up() const {
    return !lost_ && socket_ != nullptr && socket_->state() == QAbstractSocket::ConnectedState;
}

void PeerChannel::receive(const QByteArray& bytes) {
    dispatcher_.tcp_receive(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

}  // namespace tqv
