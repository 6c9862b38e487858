// Everything between the model and a device, wired once: the send path, the answer
// dispatcher, the serial and TCP transports and the 500 ms answer time-out tick. The main
// window, the dialogs and the command-line tool all use one DeviceLink.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "core/line_assembler.h"

#include "core/answers.h"
#include "core/compare.h"
#include "core/send_path.h"
#include "link/channel.h"
#include "link/fleet.h"
#include "link/peer_set.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"

namespace tqv {

class RunDriver;

class DeviceLink : public QObject, public Channel {
    Q_OBJECT
public:
    DeviceLink(Model& model, Ui& ui, QObject* parent = nullptr);
    ~DeviceLink() override;

    Model& model() override { return model_; }
    SendPath& send_path() override { return path_; }
    bool bytes_pending() const override;
    bool reachable() const override;
    AnswerDispatcher& dispatcher() { return dispatcher_; }
    SerialLink& serial() { return serial_; }
    TcpLink& tcp() { return tcp_; }

    // Opens the serial port: `path` when given, else com_device from the configuration,
    // else the device of com_port_index.
    bool open_serial(const QString& path = {});
    // Starts the 500 ms answer time-out timer (the main window's timer 20).
    void start_answer_timer();
    void stop_answer_timer();
    // One tick of it, for tests.
    void answer_tick() { path_.answer_timeout_tick(); }
    // The server role's devices, each on a channel of its own. The chosen device answers
    // through this link; every other device's bytes go to its channel.
    PeerSet& peers() { return peers_; }
    // The devices of this link, each with its status, lane and channel.
    Fleet& fleet() { return fleet_; }
    const Fleet& fleet() const { return fleet_; }
    // The channel of peer entry `entry` as a run should use it: this link for the chosen
    // device, its own channel for any other.
    Channel* channel_of_peer(int entry);
    // Orderly end: running := 0, every socket closed.
    void shutdown();

    // The serial port: open, never opened (or closed), or lost and waited for.
    enum class SerialState { closed, open, lost };
    SerialState serial_state() const;
    // How often a lost port's device path is looked for (2 s; tests make it shorter).
    void set_reconnect_interval(int ms) { reconnect_timer_.setInterval(ms); }
    // Client role: connects again to the host of the last connection. False when there
    // is no host to connect to (the link's box says so).
    bool reconnect_tcp();
    // The client connection or the chosen peer went away (not closed by the operator).
    bool tcp_lost() const { return tcp_lost_; }

    // Client role: a lost connection is tried again by itself, first 1 s after the loss,
    // then after twice the wait before, at most 30 s, until it is back or the operator
    // closes or changes the link. Attempts made by themselves show no box. Nothing is
    // resent. A first connection that fails is not tried again: its one box says so.
    void set_auto_reconnect(bool on);
    // Client role: a new attempt is waited for or under way since the link was lost.
    bool tcp_connecting() const { return connecting_; }
    // The wait before the next attempt (tests make the first one shorter).
    void set_reconnect_backoff(int first_ms, int longest_ms);
    // After a lost connection is back, the first thing: a quiet, answer-paced read of the
    // device into a scratch copy, whose differences from the document are reported
    // (reconnect_checked); nothing is sent.
    void set_reconnect_check(bool on) { reconnect_check_ = on; }
    bool reconnect_check_running() const;

    // The port of the simulated device (--simulate): said beside the port wherever it is
    // shown, and always offered again by the port dialog. Empty without one.
    void set_simulated_port(const QString& path) { simulated_port_ = path; }
    QString simulated_port() const { return simulated_port_; }
    // The operator changed the interface or the role: attempts to connect again to a link
    // that is no longer the chosen one stop, and the state is shown anew.
    void link_settings_changed();

signals:
    // After every answer line applied to the model (dialogs refresh from it).
    void answer_applied();
    // Every frame written and every line received, whoever sent it, with the port or the
    // address it went to or came from. Connect here rather than to the send path's
    // single-observer hooks, which belong to the command-line tool.
    void traffic(bool sent, const QString& peer, const QByteArray& bytes);
    // An awaited answer did not come in time.
    void answer_timed_out();
    // Opened, lost, reopened, connected, closed, a peer came or went.
    void state_changed();
    // How one command outside a run ended (the send path's report of it).
    void exchange_ended(const tqv::ExchangeEnd& end);
    // A run's command answered without an error (cues, the dialogs' runs).
    void run_command_answered(const QByteArray& frame);
    // The lost serial port was opened again on its own; nothing was resent.
    void serial_reconnected(const QString& path);
    // The lost TCP connection is back (on its own or by 再接続); nothing was resent.
    void tcp_reconnected();
    // The read after a reconnect has ended: `completed`, and what differs from the document.
    void reconnect_checked(bool completed, const std::vector<tqv::SettingDifference>& differences);
    // Every change of a link, once, for the logs: `where` the port or the address, `what`
    // happened ("オープンしました", "オープンできません: Miss! File Open (...)",
    // "接続しました", "切断されました", "再接続しました", ...).
    void link_event(const QString& where, const QString& what);

private:
    void deliver(bool on_tcp, const QByteArray& bytes);
    void observe_received(int source, const QString& peer, const QByteArray& bytes);
    void try_reopen();
    void retry_tcp();
    void start_reconnect_check();
    void announce(const QString& where, const QString& what);
    // "192.168.1.3:9004" of the host the client role connects to.
    QString chosen_host() const;

    Model& model_;
    SendPath path_;
    AnswerDispatcher dispatcher_;
    SerialLink serial_;
    TcpLink tcp_;
    PeerSet peers_;
    Fleet fleet_;
    QTimer answer_timer_;
    int tcp_line_source_ = -1;
    bool shutting_down_ = false;
    // Lines for the traffic observers, per source (-1 serial, else the TCP peer entry);
    // apart from the dispatcher's, which reads only the device commands go to.
    std::map<int, LineAssembler> observed_;
    QTimer reconnect_timer_;
    bool serial_lost_ = false;
    bool tcp_lost_ = false;
    QTimer retry_timer_;
    bool auto_reconnect_ = false;
    bool connecting_ = false;
    bool was_connected_ = false;
    bool came_back_pending_ = false;  // lost without being asked: the next connect is a return
    int first_retry_ms_ = 1000;
    int longest_retry_ms_ = 30000;
    int next_retry_ms_ = 1000;
    bool reconnect_check_ = false;
    std::unique_ptr<RunDriver> check_;
    QString simulated_port_;
    QString tcp_where_;  // the device last connected, named when it goes
};

}  // namespace tqv
