// TCP transport: client of one device, or server for up to 96 devices kept in a peer
// table of 97 entries (entry 0 never allocated). Events arrive on the event loop; answers
// are handed on as raw bytes.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QHostAddress>
#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "core/model.h"
#include "core/transport.h"
#include "core/ui.h"

class QTcpServer;
class QTcpSocket;
class QAbstractSocket;

namespace tqv {

class TcpLink : public QObject, public Transport {
    Q_OBJECT
public:
    static constexpr int kPeerEntries = 97;
    static constexpr int kMaxPeers = 96;

    struct Peer {
        int in_use = 0;
        QTcpSocket* peer_socket = nullptr;
        std::array<char, 16> address{};  // dotted decimal, " " when freed
    };

    TcpLink(Model& model, Ui& ui, QObject* parent = nullptr);
    ~TcpLink() override;

    // Client role: connect to host selected_peer of host_list at port_number. 1 when the
    // connection is made or under way (connected() follows), 0 on failure.
    int socket_connect();
    // Server role: listen on all addresses (or the one set below) at port_number; 1 when
    // listening (or already).
    int socket_listen();
    // Who may connect in the server role: the address to listen on (null: every IPv4
    // address; "::" every address of both families), and the peers accepted (empty: every
    // one). A device from elsewhere is closed at once and reported through peer_rejected().
    void set_listen_address(const QHostAddress& address);
    void set_allowed_peers(std::vector<QHostAddress> peers);
    // At most `count` devices at once (1..96): one more is closed at once (peer_refused).
    void set_max_peers(int count) { max_peers_ = std::clamp(count, 1, kMaxPeers); }
    // Client role: a failed connection attempt shows no box (attempts made by themselves).
    void set_quiet_failures(bool quiet) { quiet_failures_ = quiet; }
    // Inside socket_shutdown() or the restart of an attempt: the close is asked for.
    bool closing() const { return closing_; }
    // Closes one socket and frees its peer entry; peers_changed() follows.
    void close_peer(QAbstractSocket* socket);
    // Closes the listening or client socket and every peer, then resets the table.
    void socket_shutdown();
    int find_peer(const QAbstractSocket* socket) const;
    int count_peers() const;
    void peer_table_reset();
    const Peer& peer(int index) const { return peers_[index]; }
    // Address text of entry `index`; empty outside 0..96 (never read out of bounds).
    std::string peer_address(int index) const;
    // "192.168.1.3:9004" of entry `index` (client role: the connected host); empty when none.
    QString peer_name(int index) const;
    // The port the device of entry `index` connected from (client role: the host's port);
    // 0 when none.
    quint16 peer_port(int index) const;
    // " " + address of peer selected_peer, as dialogs append it to their captions; empty
    // when selected_peer is -1 or outside the table.
    std::string caption_suffix() const;
    bool listening() const;
    bool client_socket_open() const;
    quint16 server_port() const;  // the port actually listened on (tests use port 0)

    bool write(std::string_view frame) override;
    bool link_up() const override;
    // The system's reason for the last failed connection ("Connection refused").
    QString last_error() const { return last_error_; }

signals:
    void connected();  // client role: the connection is confirmed
    void peers_changed();
    void bytes_received(int peer_index, const QByteArray& bytes);
    // Every frame handed to a socket.
    void frame_written(int peer_index, const QByteArray& frame);
    void link_closed();  // the client connection or the chosen peer went away
    void shut_down();    // socket_shutdown() closed everything (切断, exit)
    // A device connected while every entry allowed was taken and was closed at once.
    void peer_refused(const QString& address);
    // A device connected from an address that is not allowed and was closed at once.
    void peer_rejected(const QString& address);

public:
    // The program's own TCP port: port_number as a decimal number ("09004" gives 9004), 0
    // when it names no port 1..65535.
    static quint16 port_value(const std::array<char, 6>& port_number);

private:
    void accept_pending();
    void attach(QTcpSocket* socket);
    QTcpSocket* current_socket() const;
    const QTcpSocket* socket_of(int index) const;  // the client socket in the client role
    void watch(QTcpSocket* socket);
    void read_socket(QTcpSocket* socket);
    void socket_failed(QTcpSocket* socket, int error);
    bool drop_client();  // true when there was a client socket
    void release(QAbstractSocket* socket);
    void system_box(const char* text, int code = 0);

    Model& model_;
    Ui& ui_;
    QTcpServer* server_ = nullptr;
    QTcpSocket* client_ = nullptr;
    std::array<Peer, kPeerEntries> peers_{};
    std::unique_ptr<QHostAddress> listen_address_;
    std::vector<QHostAddress> allowed_;
    int max_peers_ = kMaxPeers;
    bool quiet_failures_ = false;
    bool closing_ = false;
    QString last_error_;
};

// One host whatever its spelling: an IPv4 address and its IPv4-mapped IPv6 form, and this
// machine's loopback address in both families (::1 and 127.0.0.1).
bool same_host(const QHostAddress& a, const QHostAddress& b);

}  // namespace tqv
