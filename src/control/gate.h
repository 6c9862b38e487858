// Who may use show control: the checks every listener makes before it takes anything from a
// client. HTTP requests and the WebSocket upgrade pass all of them (client address, Host,
// Origin, token, lock, in this order); OSC datagrams and RossTalk connections, which cannot
// carry the token, the client address and the lock.
#pragma once

#include <QHostAddress>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "control/control_log.h"

namespace tqv {

struct HttpHead;

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

// A request turned away: its HTTP status and why.
struct Refused {
    int status;
    QString text;
};

// What a POST body's Content-Type says. JSON, or none (curl, scripts); text and forms
// (curl -d sends a form type, fetch() with a string body text/plain) only with a JSON
// object in them; anything else, multipart forms among them, is refused.
enum class BodyType { json, loose, refused };
BodyType body_type(std::string_view content_type);

// The client address as people write it: an IPv4 client of a dual-stack socket without
// its "::ffff:" prefix.
QHostAddress plain(const QHostAddress& address);

class ControlGate {
  public:
    explicit ControlGate(const ControlLog& log) : log_(log) {}

    // Takes `settings`; false with `error` when its addresses are not addresses. `address`:
    // the one to listen on.
    bool start(const ControlSettings& settings, QHostAddress* address, std::string* error);
    const ControlSettings& settings() const { return settings_; }

    bool locked() const { return settings_.locked; }
    void set_locked(bool locked) { settings_.locked = locked; }
    bool allowed(const QHostAddress& peer) const;
    // Every HTTP request, an upgrade included, whatever its path: the client address, the
    // Host, the Origin, the token, the lock, in this order. `open`: a file that holds no
    // data (the panel's), read without the token and while locked.
    std::optional<Refused> check(const HttpHead& head, const QHostAddress& peer, bool open) const;
    // Where a listener that cannot carry the token listens: with a token and no allow-list,
    // on this machine only.
    QHostAddress tokenless_address(const QHostAddress& address, const char* what) const;

  private:
    const ControlLog& log_;
    ControlSettings settings_;
    std::vector<QHostAddress> allow_;
};

}  // namespace tqv
