// The devices of a link as one fleet: who they are and how each is (up, connecting, lost,
// absent; address and port), where a command for each goes, a lane per device for single
// commands, and parallel runs on many of them (FleetRun, fleet_run.h).
//
// In the server role every connected device has its own channel (the peer set); the chosen
// device answers through the link itself. On a serial port or as a TCP client there is one
// device, the link's own. Serve's panels name devices by the numbers they first connected
// under (number_by_address); elsewhere a device's number is its peer entry.
//
// A lane holds one device's single commands: one in flight, the rest waiting in the order
// they came (at most kMaxWaiting), each learning its own end from the ticket the send path
// hands back, never by comparing frame text, and a guard that gives a command up when no
// end is told in time.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/observers.h"
#include "core/send_path.h"
#include "link/channel.h"

namespace tqv {

class DeviceLink;
class PeerRoster;

struct FleetDevice {
    enum class Status { up, connecting, lost, absent };
    int number = 1;  // as requests and the tool's lines name it
    int entry = 0;   // its peer entry while connected in the server role; 0 otherwise
    QString address;
    quint16 port = 0;  // the port it connected from last (client role: the device's); 0 none
    Status status = Status::absent;
    bool target = false;  // the chosen device: what a request that names none is for
    bool up() const { return status == Status::up; }
};

// "up", "connecting", "lost" (away now), "absent" (never came yet).
QString status_name(FleetDevice::Status status);

// How a lane's command ended: as the send path told it (the first five), or as the lane
// decided without the device (the rest).
struct LaneEnd {
    enum class Kind {
        answered,
        error_answer,
        timeout,
        not_sent,
        lost,
        away,      // the device could not take it when its turn came (`text` says why)
        busy,      // a bulk run holds the device's link
        unframed,  // the command does not fit a frame: nothing was sent
        guard,     // no end was told within the guard time
        dropped,   // taken off the lane unsent (clear_lane, or the device was lost)
    };
    Kind kind = Kind::answered;
    std::string text;            // the answer without address and CR LF; the reason otherwise
    std::string frame;           // as written; empty when nothing was
    Channel* channel = nullptr;  // where it went; nullptr when it went nowhere
    Ticket ticket = 0;           // the send path's, once it was sent; 0 otherwise
};

// One single command for a lane.
struct LaneJob {
    // Called when its turn comes, on the device's channel as it is then: sends the command
    // and returns the send path's ticket (0 when nothing could be framed).
    std::function<Ticket(Channel&)> send;
    // Called exactly once, with how it ended. It may submit more.
    std::function<void(const LaneEnd&)> done;
    // Waits behind every job that is not (the program's own reads of a device's state,
    // which nobody waits for), and does not count against kMaxWaiting.
    bool behind = false;
};

class Fleet : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxWaiting = 64;
    static constexpr int kGuardMs = SendPath::kExchangeGuardMs;

    explicit Fleet(DeviceLink& link, QObject* parent = nullptr);
    ~Fleet() override;

    DeviceLink& link() { return link_; }

    // Devices keep numbers by address from now on (serve --listen), `count` of them; the
    // link takes no more connections than that.
    void number_by_address(int count);
    bool numbered_by_address() const { return roster_ != nullptr; }

    // Every device known: by number when numbered by address, else the connected peers
    // (server role) or the link's one device.
    std::vector<FleetDevice> devices() const;
    std::vector<FleetDevice> connected() const;
    std::optional<FleetDevice> device(int number) const;
    // Where a command for `device` goes now: the link itself for its own device and the
    // chosen peer, a peer's channel for any other; nullptr when it is away.
    Channel* channel(const FleetDevice& device);
    // Why device `number` cannot take a command now; empty when it can.
    std::string down_reason(int number) const;

    // ---- Lanes, by device number.
    enum class Submitted { queued, full, busy };
    // Queues `job` on device `number`'s lane: `full` when kMaxWaiting are waiting already,
    // `busy` when a bulk run holds the device's link now (the job is dropped unsent, its
    // `done` not called).
    Submitted submit(int number, LaneJob job);
    // Ends every job waiting on the lane (not the one in flight) as dropped with `why`.
    void clear_lane(int number, const std::string& why);
    std::size_t waiting(int number) const;
    // The ticket of the lane command in flight on `channel`; 0 when none is (a command
    // written meanwhile is somebody else's).
    Ticket in_flight_on(const Channel& channel) const;
    // Where lanes find a device's channel; the default asks devices(). Front ends that
    // number devices themselves, and tests, put theirs here.
    using Locate = std::function<Channel*(int number, std::string* why)>;
    void set_locate(Locate locate) { locate_ = std::move(locate); }
    void set_guard_ms(int ms) { guard_ms_ = ms; }
    // The server role: every connected device on a channel of its own.
    bool server_role() const;

  signals:
    // A device came, went, or changed number.
    void changed();
    // The roster's lines: "device 2 192.168.1.5 back", ...
    void said(const QString& line);
    // Peer entry `entry`'s channel is about to be deleted; its run, if any, has ended.
    void device_gone(int entry);

  private:
    struct Lane;
    FleetDevice numbered(int number) const;  // by address (serve): device `number`
    FleetDevice peer(int entry) const;       // the server role's connected peer `entry`
    Lane& lane(int number);
    Channel* locate(int number, std::string* why);
    void pump(Lane& lane);
    void exchange_ended(Lane& lane, const ExchangeEnd& end);
    // Takes the job in flight off the lane and stops listening for its end.
    LaneJob let_go(Lane& lane);
    // Ends every job waiting on the lane (not the one in flight) with `kind` and `why`.
    void drop_waiting(Lane& lane, LaneEnd::Kind kind, const std::string& why);

    DeviceLink& link_;
    std::unique_ptr<PeerRoster> roster_;
    std::map<int, std::unique_ptr<Lane>> lanes_;
    Locate locate_;
    int guard_ms_ = kGuardMs;
};

}  // namespace tqv
