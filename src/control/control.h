// Show control: the page switch, the start-up page and single titles, asked for by button
// panels and playout systems over HTTP (JSON) and OSC (UDP), while the link stays open.
//
// Every request becomes the same command the dialogs send, through the same send path. One
// command is in flight from here at a time; the others wait in the order they came, and an
// HTTP request is answered once the send path tells how its command ended. OSC has no reply:
// its outcome goes to the log and to the status.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/send_path.h"

class QHttpServer;
class QHttpServerRequest;
class QHttpServerResponder;
class QTcpSocket;
class QUdpSocket;

namespace tqv {

class DeviceLink;

struct ControlSettings {
    int http_port = -1;  // -1 off, 0 any free port
    int osc_port = -1;
    std::string bind = "127.0.0.1";
    std::string token;  // empty: no authorization asked for
};

// What one request asks for, checked and converted; `error` says why it cannot be sent.
struct ControlCommand {
    enum class Kind { page, startup, title };
    Kind kind = Kind::page;
    int line = 0;        // 0..3
    int page = 0;        // 0..63, 64 = AUTO (page and startup only)
    std::string text;    // title: code page 932 bytes
    bool memory = true;  // title: false sends the Not Memory command
};
struct ParsedCommand {
    std::optional<ControlCommand> command;
    std::string error;
};
// `page`: a number 1..64 or "AUTO" (either case; not for a title). `text` in UTF-8.
ParsedCommand parse_control_command(ControlCommand::Kind kind, const std::string& line,
                                    const std::string& page, const std::string* text, bool memory);

struct ControlConfig;

class Control : public QObject {
    Q_OBJECT
  public:
    static constexpr int kMaxWaiting = 64;
    static constexpr qsizetype kMaxBody = 4096;
    // Longer than any exchange the send path can have (its answer time-out, a late answer
    // drained first): a command whose end was never told is answered as timed out.
    static constexpr int kGuardMs = 15000;

    explicit Control(DeviceLink& link, QObject* parent = nullptr);
    ~Control() override;

    // Opens what `settings` asks for; false with `error` when a port cannot be opened.
    bool start(const ControlSettings& settings, std::string* error);
    // The ports listened on; 0 when off.
    int http_port() const { return http_port_; }
    int osc_port() const { return osc_port_; }
    bool active() const { return http_port_ != 0 || osc_port_ != 0; }

    // One line per outcome and per refused message (default: stderr).
    std::function<void(const std::string&)> log;

    // The JSON of GET /api/status.
    QByteArray status_json() const;
    // A command of ours awaits its end: boxes shown now are about it.
    bool command_in_flight() const { return in_flight_ != nullptr; }
    // A box about our command, kept for its answer and logged.
    void box_shown(std::string_view text);

  private:
    struct Request;
    void handle_http(const QHttpServerRequest& request, QHttpServerResponder&& responder,
                     ControlCommand::Kind kind);
    void read_osc();
    void osc_message(const QByteArray& datagram);
    void enqueue(std::unique_ptr<Request> request);
    void pump();
    void exchange_ended(const ExchangeEnd& end);
    void finish(Request& request, int status, const std::string& key, const std::string& text,
                const std::string& answer = {});
    bool bulk_under_way() const;
    bool authorized(const QHttpServerRequest& request) const;
    void say(const std::string& line) const;

    DeviceLink& link_;
    ControlSettings settings_;
    std::unique_ptr<QHttpServer> http_;
    QUdpSocket* osc_ = nullptr;
    int http_port_ = 0;
    int osc_port_ = 0;

    std::deque<std::unique_ptr<Request>> waiting_;
    std::unique_ptr<Request> in_flight_;
    std::string in_flight_body_;
    std::string in_flight_box_;  // what the link would have told the operator
    QTimer guard_;
    std::uint64_t requests_ = 0;
    std::function<void(const ExchangeEnd&)> chained_;
    std::string last_exchange_;  // JSON object text; empty before the first
};

// The link's message boxes in the program: those shown while a control command awaits its
// end are about that command, whose outcome the caller gets; they go to the log instead of
// waiting for the operator (which would hold the answer back until someone clicks).
class ControlUi : public Ui {
  public:
    explicit ControlUi(Ui& inner) : inner_(inner) {}
    void box(Box kind, std::string_view text, std::string_view caption) override;
    bool ask(std::string_view text, std::string_view caption) override {
        return inner_.ask(text, caption);
    }
    void repaint_notify() override { inner_.repaint_notify(); }
    void withdraw(std::string_view text) override { inner_.withdraw(text); }

    QPointer<Control> control;

  private:
    Ui& inner_;
};

// The program's control interface as its configuration asks for it: null when both ports
// are off, or (with `error` set) when a port cannot be opened.
std::unique_ptr<Control> start_control(DeviceLink& link, const ControlConfig& config,
                                       std::string* error);

}  // namespace tqv
