#include "link/device_link.h"

#include <QFileInfo>
#include <QMetaMethod>
#include <QSerialPort>
#include <algorithm>
#include <utility>

#include "core/bulk.h"
#include "core/texts.h"
#include "link/link_log.h"
#include "link/run_driver.h"

namespace tqv {

DeviceLink::DeviceLink(Model& model, Ui& ui, QObject* parent)
    : QObject(parent),
      model_(model),
      path_(model, ui),
      dispatcher_(path_),
      serial_(ui),
      tcp_(model, ui),
      peers_(tcp_, model),
      fleet_(*this) {
    path_.set_serial_transport(&serial_);
    path_.set_tcp_transport(&tcp_);

    // The observers see a line before it is handled, so a log shows an answer before the
    // command its handling sends.
    connect(&serial_, &SerialLink::frame_written, this, [this](const QByteArray& frame) {
        emit traffic(true, serial_.last_path(), frame);
    });
    connect(&serial_, &SerialLink::bytes_received, this, [this](const QByteArray& bytes) {
        observe_received(-1, serial_.last_path(), bytes);
    });
    connect(&tcp_, &TcpLink::frame_written, this, [this](int peer, const QByteArray& frame) {
        emit traffic(true, tcp_.peer_name(peer), frame);
    });
    connect(&tcp_, &TcpLink::bytes_received, this, [this](int peer, const QByteArray& bytes) {
        observe_received(peer, tcp_.peer_name(peer), bytes);
    });

    connect(&serial_, &SerialLink::bytes_received, this,
            [this](const QByteArray& bytes) { deliver(false, bytes); });
    connect(&tcp_, &TcpLink::bytes_received, this, [this](int peer_index, const QByteArray& bytes) {
        // Only the device that commands go to answers them. In the server role another
        // device's bytes would be taken for the answer of the command in flight: read and
        // dropped.
        const int source = model_.tcp_role == 1 ? model_.selected_peer : 0;
        peers_.set_routed_elsewhere(source);
        if (peer_index != source) {
            peers_.receive(peer_index, bytes);
            return;
        }
        // A piece of a line left by another device must not be glued to this one's answer.
        if (source != tcp_line_source_) {
            model_.tcp_line.clear();
            tcp_line_source_ = source;
        }
        deliver(true, bytes);
    });
    // The command in flight and the queued ones cannot be answered any more; a run under
    // way ends with one message.
    connect(&tcp_, &TcpLink::link_closed, this, [this] {
        observed_.clear();
        const bool asked = shutting_down_ || tcp_.closing();
        const bool client = model_.tcp_role == 0;
        // A client that never got through was refused; a server's chosen device was there.
        const bool had_link = !client || was_connected_;
        if (!shutting_down_) {
            if (!had_link) {
                if (!asked) announce(chosen_host(), QString::fromUtf8(text::kLinkNotConnected) +
                                                        QStringLiteral(": ") + tcp_.last_error());
            } else {
                announce(tcp_where_, QString::fromUtf8(asked ? text::kLinkClosed : text::kLinkLost));
            }
        }
        // The client's connection is gone, whatever ended it: the interface and the role may
        // be changed again, and exit has nothing to disconnect. (The server role's flag means
        // listening, which goes on.)
        if (client) model_.tcp_connected = 0;
        // A connection never made is not lost (未接続, not 切断); a refused attempt to get a
        // lost one back still is.
        tcp_lost_ = !shutting_down_ && (had_link || came_back_pending_);
        if (asked) {
            retry_timer_.stop();
            connecting_ = false;
            was_connected_ = false;
        } else if (std::exchange(was_connected_, false)) {
            came_back_pending_ = true;  // the next connection is a reconnect
        }
        // Only a connection that was there is sought again: a first attempt that fails says
        // so once, and the link stays as it is until the operator tries again.
        if (!asked && auto_reconnect_ && came_back_pending_ && model_.interface_kind == 1 &&
            model_.tcp_role == 0) {
            // Said at once (connecting), tried again after the wait.
            connecting_ = true;
            retry_timer_.start(next_retry_ms_);
            next_retry_ms_ = std::min(next_retry_ms_ * 2, longest_retry_ms_);
        }
        emit state_changed();
        // Closing everything on the way out is no loss to report.
        if (shutting_down_) {
            path_.tcp_reset();
        } else {
            path_.link_lost(true, text::kSocketNotConnected);
        }
    });
    connect(&serial_, &SerialLink::port_lost, this, [this] {
        // Reopened as soon as the device path is back; commands are never resent.
        serial_lost_ = true;
        announce(serial_.last_path(), QString::fromUtf8(text::kLinkLost));
        reconnect_timer_.start();
        emit state_changed();
        path_.link_lost(false, text::kSerialPortLost);
    });
    reconnect_timer_.setInterval(2000);
    connect(&reconnect_timer_, &QTimer::timeout, this, &DeviceLink::try_reopen);

    connect(&tcp_, &TcpLink::connected, this, [this] {
        const bool back = std::exchange(came_back_pending_, false);
        was_connected_ = true;
        model_.tcp_connected = 1;
        tcp_lost_ = false;
        connecting_ = false;
        retry_timer_.stop();
        next_retry_ms_ = first_retry_ms_;
        tcp_.set_quiet_failures(false);
        tcp_where_ = tcp_.peer_name(0);
        announce(tcp_where_, QString::fromUtf8(back ? text::kLinkBack : text::kLinkConnected));
        emit state_changed();
        if (!back) return;
        emit tcp_reconnected();
        if (reconnect_check_) start_reconnect_check();
    });
    // The operator's 切断 ends the attempts too.
    connect(&tcp_, &TcpLink::shut_down, this, [this] {
        came_back_pending_ = false;  // a connection made after 切断 is a new one
        if (!connecting_) return;
        retry_timer_.stop();
        connecting_ = false;
        next_retry_ms_ = first_retry_ms_;
        emit state_changed();
    });
    retry_timer_.setSingleShot(true);
    connect(&retry_timer_, &QTimer::timeout, this, &DeviceLink::retry_tcp);
    connect(&tcp_, &TcpLink::peers_changed, this, [this] {
        // The server role's chosen device, named when it goes.
        if (model_.tcp_role == 1 && tcp_.link_up()) tcp_where_ = tcp_.peer_name(model_.selected_peer);
        emit state_changed();
    });
    // Said before the failed step's box opens: the status bar and show control see a port
    // that is not open while the box is up.
    connect(&serial_, &SerialLink::open_failed, this,
            [this](const QString& path, const QString& message, const QString& why) {
                announce(path, QString::fromUtf8(text::kLinkNotOpened) + QStringLiteral(": ") +
                                   message + QStringLiteral(" (") + why + QLatin1Char(')'));
                emit state_changed();
            });
    connect(&peers_, &PeerSet::written, this,
            [this](const QString& peer, const QByteArray& frame) { emit traffic(true, peer, frame); });
    path_.timed_out.add([this](bool) { emit answer_timed_out(); });
    path_.exchange_ended.add([this](const ExchangeEnd& end) { emit exchange_ended(end); });
    path_.run_command_answered.add([this](const std::string& frame) {
        emit run_command_answered(QByteArray::fromStdString(frame));
    });
    dispatcher_.line_handled.add([this] { emit answer_applied(); });
    // A device the server role does not take is recorded where the operator looks.
    connect(&tcp_, &TcpLink::peer_rejected, this, [this](const QString& address) {
        emit traffic(false, address, QStringLiteral("接続を拒否しました (許可リスト外)").toUtf8());
    });

    answer_timer_.setInterval(SendPath::kTickMs);
    connect(&answer_timer_, &QTimer::timeout, this, [this] { path_.answer_timeout_tick(); });
}

DeviceLink::~DeviceLink() = default;

bool DeviceLink::open_serial(const QString& path) {
    QString device = path;
    if (device.isEmpty()) device = QString::fromStdString(model_.com_device);
    // An index outside COM1..COM6 gives no path, which opens like a missing port.
    if (device.isEmpty()) device = SerialLink::port_path(model_.com_port_index);
    reconnect_timer_.stop();
    serial_lost_ = false;
    observed_.erase(-1);
    // The port in use is closed first: what awaits its answer there gets none, and is told
    // so now rather than at the time-out.
    path_.serial_reset();
    const bool opened = serial_.open(device);
    if (opened) announce(device, QString::fromUtf8(text::kLinkOpened));
    emit state_changed();
    return opened;
}

void DeviceLink::announce(const QString& where, const QString& what) {
    qCInfo(lc_link).noquote() << where << what;
    emit link_event(where, what);
}

QString DeviceLink::chosen_host() const {
    const int host = model_.selected_peer;
    if (host < 0 || host >= kHostListSize || host >= model_.host_count) return {};
    const Ipv4& a = model_.host_list[std::size_t(host)];
    return QStringLiteral("%1.%2.%3.%4:%5").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3])
        .arg(TcpLink::port_value(model_.port_number));
}

void DeviceLink::link_settings_changed() {
    const bool client = model_.interface_kind == 1 && model_.tcp_role == 0;
    if (!client) came_back_pending_ = false;
    if (!client && connecting_) {
        retry_timer_.stop();
        connecting_ = false;
        next_retry_ms_ = first_retry_ms_;
        tcp_.set_quiet_failures(false);
    }
    emit state_changed();
}

void DeviceLink::observe_received(int source, const QString& peer, const QByteArray& bytes) {
    if (!isSignalConnected(QMetaMethod::fromSignal(&DeviceLink::traffic))) return;
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    for (const std::string& line : observed_[source].feed(view))
        emit traffic(false, peer, QByteArray(line.data(), qsizetype(line.size())));
}

DeviceLink::SerialState DeviceLink::serial_state() const {
    if (serial_.is_open()) return SerialState::open;
    return serial_lost_ ? SerialState::lost : SerialState::closed;
}

void DeviceLink::try_reopen() {
    const QString path = serial_.last_path();
    if (shutting_down_ || path.isEmpty() || !QFileInfo::exists(path)) return;
    if (!serial_.open(path, true)) return;  // not ready yet: the next check tries again
    reconnect_timer_.stop();
    serial_lost_ = false;
    observed_.erase(-1);
    announce(path, QString::fromUtf8(text::kLinkBack));
    emit state_changed();
    emit serial_reconnected(path);
}

bool DeviceLink::reconnect_tcp() {
    tcp_.set_quiet_failures(false);  // the operator's own attempt says how it failed
    if (tcp_.socket_connect() != 1) {
        model_.tcp_connected = 0;
        return false;
    }
    return true;
}

void DeviceLink::set_auto_reconnect(bool on) {
    auto_reconnect_ = on;
    if (!on) {
        retry_timer_.stop();
        connecting_ = false;
        tcp_.set_quiet_failures(false);
    }
}

void DeviceLink::set_reconnect_backoff(int first_ms, int longest_ms) {
    first_retry_ms_ = next_retry_ms_ = first_ms;
    longest_retry_ms_ = longest_ms;
}

void DeviceLink::retry_tcp() {
    const bool client = model_.interface_kind == 1 && model_.tcp_role == 0;
    const bool host = model_.selected_peer >= 0 && model_.selected_peer < model_.host_count &&
                      model_.selected_peer < kHostListSize;
    if (!auto_reconnect_ || !client || !host || shutting_down_ || tcp_.link_up()) {
        connecting_ = false;
        emit state_changed();
        return;
    }
    tcp_.set_quiet_failures(true);
    tcp_.socket_connect();  // a refusal comes back as link_closed: the next wait begins
}

bool DeviceLink::reconnect_check_running() const { return check_ && check_->running(); }

void DeviceLink::start_reconnect_check() {
    if (!check_) {
        check_ = std::make_unique<RunDriver>(*this);
        connect(check_.get(), &RunDriver::ended, this, [this](RunEnd why, const QString&) {
            const auto* read = static_cast<const BulkTransfer*>(check_->steps());
            if (why != RunEnd::completed || read == nullptr) {
                emit reconnect_checked(false, {});
                return;
            }
            emit reconnect_checked(true, compare_settings(model_, read->device_settings()));
        });
    }
    // Quiet: the outcome is reported where the operator looks, without a box to click.
    if (!check_->start(std::make_unique<BulkTransfer>(BulkKind::compare_read), true, true))
        emit reconnect_checked(false, {});
}

Channel* DeviceLink::channel_of_peer(int entry) {
    if (model_.tcp_role == 1 && entry == model_.selected_peer) return this;
    return peers_.channel(entry);
}

bool DeviceLink::reachable() const {
    // Asked of the transport the send path writes to (tests put their own in its place).
    if (model_.interface_kind == 0) {
        const Transport* t = path_.serial_transport();
        return t == &serial_ ? serial_.is_open() : t != nullptr && t->link_up();
    }
    // In the server role the chosen device's socket (none while it is away).
    const Transport* t = path_.tcp_transport();
    return t == &tcp_ ? !connecting_ && tcp_.link_up() : t != nullptr && t->link_up();
}

bool DeviceLink::bytes_pending() const {
    const QSerialPort* port = serial_.port();
    return model_.interface_kind == 0 && port != nullptr && port->bytesToWrite() > 0;
}

void DeviceLink::start_answer_timer() { answer_timer_.start(); }

void DeviceLink::stop_answer_timer() { answer_timer_.stop(); }

void DeviceLink::shutdown() {
    model_.running = 0;
    shutting_down_ = true;
    reconnect_timer_.stop();
    retry_timer_.stop();
    connecting_ = false;
    check_.reset();
    // Nothing is read any more: a device that goes away during the exit (the simulator
    // stops after the program) must not report a lost port.
    serial_.close();
    tcp_.socket_shutdown();
    path_.tcp_reset();
    shutting_down_ = false;
}

void DeviceLink::deliver(bool on_tcp, const QByteArray& bytes) {
    // The dispatcher ends each command's wait as soon as its line is complete, and handles
    // the lines one after the other, also when a box runs a nested event loop meanwhile.
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    if (on_tcp) {
        dispatcher_.tcp_receive(view);
    } else {
        dispatcher_.serial_receive(view);
    }
}

}  // namespace tqv
