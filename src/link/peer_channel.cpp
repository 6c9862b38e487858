#include "link/peer_channel.h"

#include <QTcpSocket>

#include "core/texts.h"

namespace tqv {

PeerChannel::PeerChannel(const Model& record, Ui& ui, QTcpSocket* socket, QObject* parent)
    : QObject(parent),
      model_(std::make_unique<Model>(record)),
      path_(*model_, ui),
      dispatcher_(path_),
      socket_(socket) {
    // This channel is one connection, as a client's is: its commands go to its socket.
    Model& m = *model_;
    m.interface_kind = 1;
    m.tcp_role = 0;
    m.selected_peer = 0;
    m.tcp_connected = 1;
    m.bulk_active = 0;
    m.glyph_bulk_active = 0;
    m.answer_error = 0;
    m.tcp_line.clear();
    path_.set_tcp_transport(this);
    if (socket_ != nullptr) {
        connect(socket_, &QTcpSocket::disconnected, this, [this] {
            model_->tcp_connected = 0;
            path_.link_lost(true, text::kSocketNotConnected);
        });
    }
}

PeerChannel::~PeerChannel() = default;

bool PeerChannel::bytes_pending() const {
    return socket_ != nullptr && socket_->bytesToWrite() > 0;
}

bool PeerChannel::write(std::string_view frame) {
    if (!link_up()) return false;
    return socket_->write(frame.data(), qint64(frame.size())) == qint64(frame.size());
}

bool PeerChannel::link_up() const {
    return socket_ != nullptr && socket_->state() == QAbstractSocket::ConnectedState;
}

void PeerChannel::receive(const QByteArray& bytes) {
    dispatcher_.tcp_receive(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

}  // namespace tqv
