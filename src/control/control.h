// Show control: the page switch, the start-up page and single titles, asked for by button
// panels and playout systems over HTTP (JSON), a WebSocket and OSC (UDP), while the link
// stays open; and the state they show, pushed to every WebSocket client as it changes.
//
// Every request becomes the same command the dialogs send, through the same send path. A
// request names the devices it is meant for (its "device"; by default the link's target) and
// becomes one command on each device's channel. Each device has one command in flight from
// here at a time, the others waiting in the order they came; devices work side by side. A
// request is answered once every device's send path told how its command ended (HTTP
// answer, WebSocket result, OSC reply to the sender): one result, or one per device. The state shown is what the device confirmed: a page or
// a title changes when its command was answered, or when the device answered a read.
#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <map>

#include "control/control_parse.h"
#include "control/state.h"
#include "core/answers.h"
#include "core/observers.h"
#include "core/send_path.h"

class QTcpServer;
class QTcpSocket;
class QUdpSocket;
class QWebSocket;

namespace tqv {

class CueShow;
class RossTalkLines;
class Channel;
class DeviceLink;
class HttpFront;
struct CueOutcome;

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

struct ControlSettings {
    int http_port = -1;  // -1 off, 0 any free port
    int osc_port = -1;
    std::string bind = "127.0.0.1";
    std::string token;               // empty: no authorization asked for
    std::vector<std::string> allow;  // client addresses; empty: any
    bool locked = false;
    int rosstalk_port = -1;  // a vision mixer's GO and GPI; needs set_cues()
    // Names a request's Host may carry besides IP address literals and "localhost" (a name
    // the machine is reached by, e.g. "studio-pc.local"); any other Host is refused (421).
    std::vector<std::string> hosts = {};
    // Web origins allowed besides the server's own ("http://panel.example:8000"); a request
    // from any other origin is refused (403), the WebSocket upgrade included.
    std::vector<std::string> origins = {};
};

struct ControlConfig;

class Control : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxWaiting = 64;
    static constexpr int kMaxClients = 64;                 // WebSocket clients
    static constexpr qint64 kMaxClientBacklog = 1 << 20;   // bytes waiting for one client
    static constexpr int kBacklogWatchMs = 20;
    // Longer than any exchange the send path can have (its answer time-out, a late answer
    // drained first): a command whose end was never told is answered as timed out.
    static constexpr int kGuardMs = SendPath::kExchangeGuardMs;
    static constexpr int kMaxRossTalkClients = 16;
    // Ignored and refused OSC datagrams and RossTalk lines are logged at most this many a
    // second per listener; the rest are counted in one line.
    static constexpr int kLogPerSecond = 10;

    explicit Control(DeviceLink& link, QObject* parent = nullptr);
    ~Control() override;

    // Opens what `settings` asks for; false with `error` when a port cannot be opened.
    bool start(const ControlSettings& settings, std::string* error);
    // The ports listened on; 0 when off.
    int http_port() const { return http_port_; }
    int osc_port() const { return osc_port_; }
    int rosstalk_port() const { return rosstalk_port_; }
    bool active() const { return http_port_ != 0 || osc_port_ != 0 || rosstalk_port_ != 0; }

    // The cue list the cue routes and RossTalk fire, and whose position and runs are shown
    // as the paths "cue/…". Without one the cue routes answer 404 and RossTalk fires nothing.
    void set_cues(CueShow* cues);

    // One line per outcome and per refused message (default: stderr).
    std::function<void(const std::string&)> log;

    // Remote requests refused with 423 (OSC dropped) while locked.
    void set_locked(bool locked);
    bool locked() const { return settings_.locked; }

    // The devices requests may name. By default: in the server role each connected peer
    // (its entry is its number, the chosen one the target), otherwise the link's one device
    // as number 1. The tool's server numbers its devices by address and sets this.
    std::function<std::vector<ControlDevice>()> device_list;
    std::vector<ControlDevice> devices() const;
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

    // A command of ours awaits its end on the link's own channel: its boxes are about it.
    bool command_in_flight() const;
    // A box about our command, kept for its answer and logged.
    void box_shown(std::string_view text);

  signals:
    // Every remote request and how it ended: `who` as "HTTP 127.0.0.1", `what` as
    // "P01T05 GO" or "423 remote control is locked".
    void remote(const QString& who, const QString& what);

  private:
    struct Request;
    struct Job;
    struct Lane;
    struct Client;
    using Reply = std::function<void(int status, const QJsonObject& json)>;

    // Lines logged at most kLogPerSecond a second; those left out are counted in one line
    // at the end of their second.
    class LimitedLog {
      public:
        LimitedLog(const Control& control, const char* what);
        void say(const std::string& line);

      private:
        const Control& control_;
        const char* what_;  // "osc", "rosstalk": names the count of lines left out
        QElapsedTimer window_;
        QTimer count_;
        int logged_ = 0;
        int unlogged_ = 0;
    };
    struct Refused {
        int status;
        QString text;
    };
    struct RossTalkClient;

    HttpFront* open_http(const QHostAddress& address, std::string* error);
    bool allowed(const QHostAddress& peer) const;
    // Every HTTP request, an upgrade included, whatever its path: the client address, the
    // Host, the Origin, the token, the lock, in this order, before anything else is done.
    std::optional<Refused> gate(const HttpHead& head, const QHostAddress& peer) const;
    // After the gate: the route, its method and its body's type.
    std::optional<Refused> route_refusal(const HttpHead& head) const;
    void http_request(const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                      std::function<void(int, const QByteArray&)> answer);
    void command(ControlCommand::Kind kind, ParsedCommand parsed, const QString& source,
                 const QString& peer, Reply reply);
    void add_client(QWebSocket* socket);
    void client_message(Client& client, const QByteArray& message);
    void send_to(Client& client, const QString& text);
    // True when the client has more than kMaxClientBacklog waiting with `adding` more: it
    // is closed, and nothing more is sent to it.
    bool over_backlog(Client& client, qint64 adding);
    void read_osc();
    void osc_message(std::string_view data, const QHostAddress& sender, quint16 port);
    void osc_ignored(const std::string& line) { osc_log_.say(line); }
    void rosstalk_ignored(const std::string& line) { rosstalk_log_.say(line); }
    // The cue routes, whatever carried them: `op` "go", "back", "goto" (body "cue": a number
    // from 1 or a name), "load" (body "csv").
    void cue_request(const QString& op, const QJsonObject& body, const QString& source,
                     const QString& peer, Reply reply);
    QByteArray cues_json() const;
    void cue_events();
    // POST /api/read: {"what": "titles" | "pages", "device": …}.
    void read_request(const QJsonObject& body, const QString& source, const QString& peer,
                      Reply reply);
    // Queues the state read of each device that came up and has not been read since.
    void start_reads();
    // 202 when the reads (titles, or pages) are queued on the device's lane, where they
    // go one at a time like requests, after the requests waiting; else why not.
    std::pair<int, std::string> read_device(const ControlDevice& device, bool titles);
    // What the link's status says in the server role, from the devices.
    QJsonObject device_summary(const std::vector<ControlDevice>& list) const;
    bool open_rosstalk(const QHostAddress& address, std::string* error);
    QHostAddress tokenless_address(const QHostAddress& address, const char* what) const;
    void rosstalk_accept(QTcpSocket* socket);
    void rosstalk_read(RossTalkClient& client);
    std::vector<ControlDevice> targets_of(const DeviceChoice& choice) const;
    std::string down_reason(const ControlDevice& device) const;
    Lane& lane(int device);
    Lane* own_lane() const;  // the lane whose command is in flight on the link itself
    Channel* channel_of(const ControlDevice& device);
    void pump(Lane& lane);
    void link_exchange_ended(const ExchangeEnd& end);
    void lane_ended(Lane& lane, const ExchangeEnd& end);
    void let_go(Lane& lane);
    void finish(Job& job, int status, const std::string& key, const std::string& text,
                const std::string& answer = {});
    // Logs a remote request's outcome (with `detail`) and tells the program.
    void told(const QString& source, const QString& peer, const QString& what,
              const char* detail = "");
    bool bulk_under_way() const;
    void say(const std::string& line) const;

    // The state's sources: an answered command on a device's channel, an answer that
    // changed the model, the link, the runs, the devices.
    void confirm(const CommandSetting& setting, const QString& source, Channel& channel, int device);
    // `changes` (lines/… paths) hold on `device`: as they are for the link's own device, and
    // under devices/N/ in the server role.
    void announce(const QJsonObject& changes, const QString& source, Channel& channel, int device);
    bool server_role() const;
    // The device the program's own link talks to (the default of every request).
    int target_device() const;
    void model_answered(const Touched& touched);
    void link_changed();

    DeviceLink& link_;
    ControlSettings settings_;
    HttpFront* http_ = nullptr;
    QUdpSocket* osc_ = nullptr;
    int http_port_ = 0;
    int osc_port_ = 0;
    QTcpServer* rosstalk_ = nullptr;
    int rosstalk_port_ = 0;
    CueShow* cues_ = nullptr;
    int cue_runs_ = 0;
    int cue_loads_ = 0;
    std::vector<QHostAddress> allow_;
    std::vector<std::shared_ptr<RossTalkClient>> rosstalk_clients_;

    std::map<int, std::unique_ptr<Lane>> lanes_;  // by device number
    std::uint64_t requests_ = 0;
    Subscription run_news_;
    std::vector<int> devices_shown_;  // the numbers with devices/N paths
    std::map<int, int> read_since_up_;  // device number → its entry when its read began
    QTimer reads_due_;
    std::string last_exchange_;  // JSON object text; empty before the first

    ControlState state_;
    std::vector<std::shared_ptr<Client>> clients_;
    QTimer backlog_watch_;
    Subscription answer_touched_;
    LimitedLog osc_log_{*this, "osc"};
    LimitedLog rosstalk_log_{*this, "rosstalk"};
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
