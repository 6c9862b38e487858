// Waiting on the event loop with a time-out, for the tests of every part.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
#include <functional>

namespace tqv::test {

// Runs the event loop until `done` holds or `ms` have passed; true when it holds.
inline bool wait_until(const std::function<bool()>& done, int ms = 10000) {
    QDeadlineTimer deadline(ms);
    QTimer wake;  // bounds each wait below, so the deadline is checked
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

}  // namespace tqv::test
