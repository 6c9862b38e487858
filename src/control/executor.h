// The requests of show control carried out on the devices. A request names the devices it
// is meant for (its "device"; by default the link's target) and becomes one command on each
// device's channel, through the same send path the dialogs use. Each device has one
// command in flight from here at a time, the others waiting in the order they came (its
// lane); devices work side by side. A request is answered once every device's send path
// told how its command ended: one result, or one per device.
//
// Whatever carried a request (HTTP, a WebSocket, OSC) hands it here with the callback that
// answers it; what each answered command set on a device is told to `answered`, for the
// state feed. A device that came up is read (its pages, start-up pages and display flags)
// before its requests go out.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "control/control_log.h"
#include "control/control_parse.h"
#include "core/send_path.h"

namespace tqv {

class Channel;
class ControlState;
class DeviceLink;

// One device as requests name it.
struct ControlDevice {
    int index = 1;        // the "device" of a request
    int entry = 0;        // its peer entry in the server role; 0: the link's one device
    QString address;      // without the port
    bool up = false;
    bool target = false;  // the default of a request that names no device
    quint16 port = 0;     // the port it connected from (client role: the device's); 0: none
    QString status;       // "up", "connecting", "lost" (away now), "absent" (never came yet)
};

class RequestExecutor : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxWaiting = 64;  // requests waiting for one device
    using Reply = std::function<void(int status, const QJsonObject& json)>;
    using DeviceList = std::function<std::vector<ControlDevice>()>;
    // A command answered on a device's channel: `body` as sent, `read` when it was a read
    // of the device's state.
    using Answered = std::function<void(const std::string& body, bool read, const QString& source,
                                        Channel& channel, int device)>;

    // `list`: the owner's list of the devices, when it numbers them itself (read at each
    // use); `state`: the link's status as published.
    RequestExecutor(DeviceLink& link, const ControlState& state, const DeviceList& list,
                    const ControlLog& log);
    ~RequestExecutor() override;

    // Every request's command ends here, whatever carried it; `reply` may be empty (the
    // client cannot be answered).
    void submit(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                const QString& peer, Reply reply);
    // 202 when the reads (titles, or pages) are queued on the device's lane, where they go
    // one at a time like requests, after the requests waiting; else why not.
    std::pair<int, std::string> read_device(const ControlDevice& device, bool titles);

    // The devices requests may name. By default: in the server role each connected peer
    // (its entry is its number, the chosen one the target), otherwise the link's one device
    // as number 1.
    std::vector<ControlDevice> devices() const;
    // The devices a request is meant for: those named (entry -1 for a number no device
    // has), or the default target.
    std::vector<ControlDevice> targets_of(const DeviceChoice& choice) const;
    // Why a device named by a request cannot take a command now; empty when it can.
    std::string down_reason(const ControlDevice& device) const;
    Channel* channel_of(const ControlDevice& device);
    // The device the program's own link talks to (the default of every request).
    int target_device() const;
    bool server_role() const;
    // The devices are the program's own peers (its server role, and no list of the owner's).
    bool program_peers() const { return server_role() && !list_; }
    // The devices came or went: those that came up and have not been read since are read.
    void devices_changed(const std::vector<ControlDevice>& list);

    // Commands in flight and waiting, on every device.
    int waiting() const;
    // A command of ours awaits its end on the link's own channel.
    bool command_in_flight() const { return own_lane() != nullptr; }
    // The link's exchange with this ticket is one of our commands.
    bool carries(Ticket ticket) const;
    // What the link would have told the operator about our command in flight.
    void box_shown(std::string_view text);

    Answered answered;

  private:
    struct Request;
    struct Job;
    struct Lane;

    Lane& lane(int device);
    Lane* own_lane() const;  // the lane whose command is in flight on the link itself
    void pump(Lane& lane);
    void lane_ended(Lane& lane, const ExchangeEnd& end);
    void let_go(Lane& lane);
    void finish(Job& job, int status, const std::string& key, const std::string& text,
                const std::string& answer = {});
    // Queues the state read of each device that came up and has not been read since.
    void start_reads();

    DeviceLink& link_;
    const ControlState& state_;
    const DeviceList& list_;
    const ControlLog& log_;
    std::map<int, std::unique_ptr<Lane>> lanes_;  // by device number
    std::uint64_t requests_ = 0;
    std::map<int, int> read_since_up_;  // device number → its entry when its read began
    QTimer reads_due_;
};

}  // namespace tqv
