// Where the parts of show control say what happened: one line per outcome and per refused
// message (to the owner's log, stderr by default), and every remote request's outcome to
// the program as well.
#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <functional>
#include <string>

namespace tqv {

class ControlLog {
  public:
    using Sink = std::function<void(const std::string& line)>;
    using Remote = std::function<void(const QString& who, const QString& what)>;
    // `sink` is the owner's, read at each line: it may be set after this is made.
    ControlLog(const Sink& sink, Remote remote) : sink_(sink), remote_(std::move(remote)) {}

    void say(const std::string& line) const;
    // Logs a remote request's outcome (with `detail`) and tells the program: `who` as
    // "HTTP 127.0.0.1", `what` as "P01T05 GO" or "423 remote control is locked".
    void told(const QString& source, const QString& peer, const QString& what,
              const char* detail = "") const;

  private:
    const Sink& sink_;
    Remote remote_;
};

// Lines logged at most kLogPerSecond a second; those left out are counted in one line at
// the end of their second. A listener that anyone can flood (OSC datagrams, RossTalk
// lines) logs what it ignores and refuses through one of these.
class LimitedLog {
  public:
    static constexpr int kLogPerSecond = 10;

    LimitedLog(const ControlLog& log, const char* what);
    void say(const std::string& line);

  private:
    const ControlLog& log_;
    const char* what_;  // "osc", "rosstalk": names the count of lines left out
    QElapsedTimer window_;
    QTimer count_;
    int logged_ = 0;
    int unlogged_ = 0;
};

}  // namespace tqv
