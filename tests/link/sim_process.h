// The simulated device as a child process, and waiting on the event loop with a time-out.
#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <functional>

#include "../support/wait_until.h"

namespace tqv::test {

inline bool sim_available() {
#ifdef TQV_SIM_PATH
    return true;
#else
    return false;
#endif
}

class Sim {
public:
    // Starts tqv7310nx-sim with `args` and waits for its first line, "<word> <value>".
    Sim(const QStringList& args, const char* word) {
#ifdef TQV_SIM_PATH
        proc_.setProgram(QStringLiteral(TQV_SIM_PATH));
#endif
        proc_.setArguments(args);
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start();
        wait_until([this] { return proc_.canReadLine() || proc_.state() == QProcess::NotRunning; });
        const QString line = QString::fromUtf8(proc_.readLine()).trimmed();
        const QString prefix = QString::fromLatin1(word) + QLatin1Char(' ');
        if (line.startsWith(prefix)) value_ = line.mid(prefix.size());
    }
    ~Sim() {
        stop();
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(2000);
        }
    }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    // The value of the ready line ("/dev/pts/3", "41234", "3"); empty if it never came.
    const QString& value() const { return value_; }
    bool ready() const { return !value_.isEmpty(); }
    // SIGTERM, then wait for it to end.
    void stop() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.terminate();
        wait_until([this] { return proc_.state() == QProcess::NotRunning; }, 5000);
    }

private:
    QProcess proc_;
    QString value_;
};

}  // namespace tqv::test
