// Show control: the page switch, the start-up page and single titles, asked for by button
// panels and playout systems over HTTP (JSON), a WebSocket, OSC (UDP) and RossTalk, while
// the link stays open; and the state they show, pushed to every WebSocket client as it
// changes.
//
// Control puts the parts together: who may use it (gate.h), the requests carried out on
// the devices' lanes (executor.h), the state they show (state_feed.h), the cue routes
// (cue_routes.h), and one adapter per wire that turns what it carries into requests and
// the answers back (http_control.h, osc_control.h, rosstalk_control.h).
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_log.h"
#include "control/executor.h"
#include "control/gate.h"
#include "control/state.h"
#include "core/ui.h"

namespace tqv {

class CueRoutes;
class CueShow;
class DeviceLink;
class HttpControl;
class OscControl;
class RossTalkControl;
class StateFeed;
struct ControlConfig;

class Control : public QObject {
    Q_OBJECT
  public:
    // Ignored and refused OSC datagrams and RossTalk lines are logged at most this many a
    // second per listener; the rest are counted in one line.
    static constexpr int kLogPerSecond = LimitedLog::kLogPerSecond;

    explicit Control(DeviceLink& link, QObject* parent = nullptr);
    ~Control() override;

    // Opens what `settings` asks for; false with `error` when a port cannot be opened.
    bool start(const ControlSettings& settings, std::string* error);
    // The ports listened on; 0 when off.
    int http_port() const;
    int osc_port() const;
    int rosstalk_port() const;
    bool active() const { return http_port() != 0 || osc_port() != 0 || rosstalk_port() != 0; }

    // The cue list the cue routes and RossTalk fire, and whose position and runs are shown
    // as the paths "cue/…". Without one the cue routes answer 404 and RossTalk fires nothing.
    void set_cues(CueShow* cues);

    // One line per outcome and per refused message (default: stderr).
    std::function<void(const std::string&)> log;

    // Remote requests refused with 423 (OSC dropped) while locked.
    void set_locked(bool locked);
    bool locked() const { return gate_.locked(); }

    // The devices requests may name are the link's fleet (link/fleet.h): in the server role
    // each connected peer (its entry is its number, the chosen one the target) or, numbered
    // by address, each device seen; otherwise the link's one device as number 1.
    //
    // The devices came or went: their devices/N/up, /status, /address and /port follow, and
    // so does the link's status in the server role ("link/devices" "3/4", "link/down"). A
    // device that came up is read (its pages, start-up pages and display flags) before its
    // requests go out.
    void devices_changed();

    // The JSON of GET /api/status, GET /api/devices, GET /api/titles and GET
    // /api/openapi.json.
    QByteArray status_json() const;
    QByteArray devices_json() const;
    QByteArray titles_json() const;
    static QByteArray openapi_json();
    // GET /api/picture?device=N: the channel pictures of device N (the target by default),
    // and the HTTP status (404 no such device, 503 not connected).
    QByteArray picture_json(std::string_view query, int* status);
    const ControlState& state() const { return state_; }

    // A lane's command awaits its end on the link's own channel: its boxes are about it.
    bool command_in_flight() const { return executor_.command_in_flight(); }
    // A box about our command, kept for its answer and logged.
    void box_shown(std::string_view text);

  signals:
    // Every remote request and how it ended: `who` as "HTTP 127.0.0.1", `what` as
    // "P01T05 GO" or "423 remote control is locked".
    void remote(const QString& who, const QString& what);

  private:
    ControlLog log_;
    ControlState state_;
    ControlGate gate_;
    RequestExecutor executor_;
    std::unique_ptr<StateFeed> feed_;
    std::unique_ptr<CueRoutes> cues_;
    std::unique_ptr<HttpControl> http_;
    std::unique_ptr<OscControl> osc_;
    std::unique_ptr<RossTalkControl> rosstalk_;
};

// The link's message boxes in the program: those shown while a control command awaits its
// end are about that command, whose outcome the caller gets; they go to the log instead of
// waiting for the operator (which would hold the answer back until someone clicks).
class ControlUi : public ForwardingUi {
  public:
    using ForwardingUi::ForwardingUi;
    void box(Box kind, std::string_view text, std::string_view caption) override;

    QPointer<Control> control;
};

// The program's control interface as its configuration asks for it: null when every port
// is off, or (with `error` set) when a port cannot be opened.
std::unique_ptr<Control> start_control(DeviceLink& link, const ControlConfig& config,
                                       std::string* error);
// "a,b c" into addresses.
std::vector<std::string> split_addresses(const std::string& list);

}  // namespace tqv
