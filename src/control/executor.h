// The requests of show control carried out on the devices. A request names the devices it
// is meant for (its "device"; by default the link's target) and becomes one command on each
// device's lane of the fleet (link/fleet.h), through the same send path the dialogs use: one
// command in flight per device, the others waiting in the order they came; devices work
// side by side. A request is answered once every device's command ended: one result, or
// one per device.
//
// Whatever carried a request (HTTP, a WebSocket, OSC) hands it here with the callback that
// answers it; what each answered command set on a device is told to `answered`, for the
// state feed. A device that came up is read (its pages, start-up pages and display flags)
// before its requests go out.
#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
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
#include "link/fleet.h"

namespace tqv {

class Channel;
class DeviceLink;

class RequestExecutor : public QObject {
    Q_OBJECT
  public:
    // The entry of a device a request names that the fleet does not have.
    static constexpr int kNoDevice = -1;
    using Reply = std::function<void(int status, const QJsonObject& json)>;
    // A command answered on a device's channel: `body` as sent, `read` when it was a read
    // of the device's state.
    using Answered = std::function<void(const std::string& body, bool read, const QString& source,
                                        Channel& channel, int device)>;

    RequestExecutor(DeviceLink& link, const ControlLog& log);
    ~RequestExecutor() override;

    // Every request's command ends here, whatever carried it; `reply` may be empty (the
    // client cannot be answered).
    void submit(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                const QString& peer, Reply reply);
    // 202 when the reads (titles, or pages) are queued on the device's lane, where they go
    // one at a time like requests, after the requests waiting; else why not.
    std::pair<int, std::string> read_device(const FleetDevice& device, bool titles);

    // The devices requests may name, each with its lane.
    Fleet& fleet() { return fleet_; }
    const Fleet& fleet() const { return fleet_; }
    // The devices a request is meant for: those named (entry kNoDevice for a number no
    // device has), or the default target.
    std::vector<FleetDevice> targets_of(const DeviceChoice& choice) const;
    // The device the program's own link talks to (the default of every request).
    int target_device() const;
    bool server_role() const;
    // The devices are the program's own peers (its server role, not numbered by address).
    bool program_peers() const;
    // The devices came or went: those that came up and have not been read since are read.
    void devices_changed(const std::vector<FleetDevice>& list);

    // Commands of ours in flight and waiting, on every device.
    int waiting() const { return waiting_; }
    // A lane's command awaits its end on the link's own channel.
    bool command_in_flight() const;
    // The link's exchange with this ticket is a lane's command.
    bool carries(Ticket ticket) const;
    // What the link would have told the operator about the command in flight on it.
    void box_shown(std::string_view text);

    Answered answered;

  private:
    struct Request;
    struct Job;

    // Puts `job` on its device's lane; how the fleet took it.
    Fleet::Submitted queue(const std::shared_ptr<Job>& job);
    void ended(Job& job, const LaneEnd& end);
    void finish(Job& job, int status, const std::string& key, const std::string& text,
                const std::string& answer = {});
    // Queues the state read of each device that came up and has not been read since.
    void start_reads();

    DeviceLink& link_;
    Fleet& fleet_;
    const ControlLog& log_;
    std::uint64_t requests_ = 0;
    int waiting_ = 0;
    // The box shown about the link's lane command with this ticket.
    std::pair<Ticket, std::string> box_;
    std::map<int, int> read_since_up_;  // device number → its entry when its read began
    QTimer reads_due_;
};

}  // namespace tqv
