#include "control/control_log.h"

#include <algorithm>
#include <cstdio>

namespace tqv {

void ControlLog::say(const std::string& line) const {
    if (sink_) {
        sink_(line);
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
}

void ControlLog::told(const QString& source, const QString& peer, const QString& what,
                      const char* detail) const {
    say(source.toStdString() + " " + peer.toStdString() + ": " + what.toStdString() + detail);
    if (remote_) remote_(source.toUpper() + " " + peer, what);
}

LimitedLog::LimitedLog(const ControlLog& log, const char* what) : log_(log), what_(what) {
    count_.setSingleShot(true);
    QObject::connect(&count_, &QTimer::timeout, [this] {
        log_.say(std::string(what_) + ": " + std::to_string(unlogged_) + " more lines not logged");
        unlogged_ = 0;
    });
}

void LimitedLog::say(const std::string& line) {
    if (!window_.isValid() || window_.elapsed() >= 1000) {
        window_.start();
        logged_ = 0;
    }
    if (logged_ >= kLogPerSecond) {
        // Counted until the end of this second, then said in one line.
        if (unlogged_++ == 0) count_.start(int(std::max<qint64>(0, 1000 - window_.elapsed())));
        return;
    }
    ++logged_;
    log_.say(line.substr(0, 200));
}

}  // namespace tqv
