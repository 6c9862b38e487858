// Show control over HTTP (JSON) and a WebSocket: the routes on the bounded front
// (http_front.h), each request past the gate, the state pushed to every WebSocket client
// as it changes and the requests those clients send.
//
// One table holds the routes: the dispatcher, the Allow of OPTIONS and 405, and the paths
// of the OpenAPI document (openapi.cpp) are all made from it.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "control/control_log.h"
#include "control/gate.h"

class QWebSocket;

namespace tqv {

class ControlState;
class CueRoutes;
class HttpFront;
class RequestExecutor;
class StateFeed;
struct HttpHead;

class HttpControl : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxClients = 64;                // WebSocket clients
    static constexpr qint64 kMaxClientBacklog = 1 << 20;  // bytes waiting for one client
    static constexpr int kBacklogWatchMs = 20;

    // One request that passed the gate and its route's checks.
    struct Call {
        const HttpHead& head;
        const QByteArray& body;
        const QString& who;  // the client's address
        const std::function<void(int status, const QByteArray& json)>& answer;
    };
    using Handler = void (HttpControl::*)(const Call& call);
    // Who answers a route: a handler here, the front with one of the panel's files (which
    // hold no data: read without the token and while locked), or Qt WebSockets.
    enum class Served { handler, file, upgrade };
    struct Route {
        const char* method;  // "GET" (HEAD with it) or "POST"
        const char* path;
        Served served;
        Handler handler;  // with Served::handler
        // The OpenAPI operation. The gate's answers (401, 403, 421, 423; 403 and 421 for a
        // file) and a POST's 415 come with every route; `statuses` lists the route's own
        // as "200=Answer 400": an Error, or with "=Name" the response component Name.
        const char* summary;
        const char* statuses;
        const char* answers = nullptr;  // JSON: {status: response} described in full
        const char* body = nullptr;     // the body's schema: a component's name, or JSON
        bool body_required = true;
        const char* example = nullptr;     // JSON
        const char* parameters = nullptr;  // JSON array
    };
    static std::span<const Route> routes();
    // The route `method` (HEAD as GET) on `path`; null when there is none.
    static const Route* route(std::string_view method, std::string_view path);

    HttpControl(const ControlGate& gate, RequestExecutor& executor, StateFeed& feed,
                CueRoutes& cues, const ControlState& state, const ControlLog& log);
    ~HttpControl() override;

    // Listens on `address`:`port`; false with `error` when it cannot.
    bool open(const QHostAddress& address, int port, const std::string& bind, std::string* error);
    int port() const { return port_; }

  private:
    struct Client;
    static const Route kRoutes[];  // http_routes.cpp

    // After the gate: the route, its method and its body's type.
    std::optional<Refused> route_refusal(const HttpHead& head) const;
    void request(const HttpHead& head, const QByteArray& body, const QHostAddress& peer,
                 std::function<void(int, const QByteArray&)> answer);
    // The handlers of the routes.
    void status(const Call& call);
    void titles(const Call& call);
    void devices(const Call& call);
    void picture(const Call& call);
    void openapi(const Call& call);
    void cue_list(const Call& call);
    void command(const Call& call);
    void cue(const Call& call);
    // POST /api/read: {"what": "titles" | "pages", "device": …}.
    void read(const Call& call);

    void add_client(QWebSocket* socket);
    void client_message(Client& client, const QByteArray& message);
    void send_to(Client& client, const QString& text);
    // True when the client has more than kMaxClientBacklog waiting with `adding` more: it
    // is closed, and nothing more is sent to it.
    bool over_backlog(Client& client, qint64 adding);

    const ControlGate& gate_;
    RequestExecutor& executor_;
    StateFeed& feed_;
    CueRoutes& cues_;
    const ControlState& state_;
    const ControlLog& log_;
    HttpFront* front_ = nullptr;
    int port_ = 0;
    std::vector<std::shared_ptr<Client>> clients_;
    QTimer backlog_watch_;
};

// GET /api/openapi.json: the routes' paths and the components they name.
QByteArray openapi_document();

}  // namespace tqv
