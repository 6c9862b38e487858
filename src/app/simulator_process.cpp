#include "app/simulator_process.h"

#include <signal.h>
#include <sys/prctl.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace tqv {

namespace {

// Runs the event loop until `process` ends or `timeout_ms` passes.
bool wait_for_end(QProcess& process, int timeout_ms) {
    if (process.state() == QProcess::NotRunning) return true;
    QEventLoop loop;
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeout_ms, &loop, &QEventLoop::quit);
    loop.exec();
    return process.state() == QProcess::NotRunning;
}

}  // namespace

SimulatorProcess::SimulatorProcess() {
    // Whatever the simulator prints after its ready line is not ours to keep.
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_, [this] {
        if (ready_) process_.readAllStandardOutput();
    });
}

SimulatorProcess::~SimulatorProcess() { stop(); }

QString SimulatorProcess::default_program() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tqv7310nx-sim");
}

QString SimulatorProcess::start_serial(const QString& program, const QStringList& extra_args,
                                       int timeout_ms, QString* error) {
    // A restarted simulator's ready line is still to be read.
    ready_ = false;
    QString path;
    QString failure;
    QEventLoop loop;
    QByteArray pending;
    // Its log and diagnostics stay visible on our own stderr.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &loop, [&] {
        pending += process_.readAllStandardOutput();
        const qsizetype end = pending.indexOf('\n');
        if (end < 0) return;
        const QByteArray line = pending.left(end).trimmed();
        if (line.startsWith("serial ")) {
            path = QString::fromLocal8Bit(line.mid(7).trimmed());
        } else {
            failure = QStringLiteral("unexpected first line from the simulator: %1")
                          .arg(QString::fromLocal8Bit(line));
        }
        loop.quit();
    });
    QObject::connect(&process_, &QProcess::errorOccurred, &loop, [&](QProcess::ProcessError) {
        failure = QStringLiteral("%1: %2").arg(program, process_.errorString());
        loop.quit();
    });
    QObject::connect(&process_, &QProcess::finished, &loop, [&] {
        if (failure.isEmpty())
            failure = QStringLiteral("%1 ended before it was ready").arg(program);
        loop.quit();
    });
    QTimer::singleShot(timeout_ms, &loop, [&] {
        failure = QStringLiteral("%1 did not report its serial port within %2 ms")
                      .arg(program)
                      .arg(timeout_ms);
        loop.quit();
    });

    // The simulator goes when this process goes, also when it is killed without its exit.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(program, QStringList{QStringLiteral("--serial")} + extra_args);
    loop.exec();
    QObject::disconnect(&process_, nullptr, &loop, nullptr);

    ready_ = !path.isEmpty();
    if (path.isEmpty()) {
        if (error != nullptr) *error = failure;
        stop();
        return {};
    }
    return path;
}

void SimulatorProcess::stop(int timeout_ms) {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (wait_for_end(process_, timeout_ms)) return;
    process_.kill();
    wait_for_end(process_, timeout_ms);
}

}  // namespace tqv
