// The command-line tool and the simulated device as child processes. Every wait is bounded;
// readiness is the process's own ready line, never a pause.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

namespace tqv::clitest {

inline QString cli_path() {
#ifdef TQV_CLI_PATH
    return QStringLiteral(TQV_CLI_PATH);
#else
    return {};
#endif
}

inline QString sim_path() {
#ifdef TQV_SIM_PATH
    return QStringLiteral(TQV_SIM_PATH);
#else
    return {};
#endif
}

// Reads one line from the current read channel; empty when none came in time or the
// process ended first.
inline QByteArray read_line(QProcess& p, int ms) {
    QDeadlineTimer deadline(ms);
    while (!p.canReadLine()) {
        if (p.state() == QProcess::NotRunning || deadline.hasExpired()) return {};
        p.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return p.readLine().trimmed();
}

struct CliResult {
    int code = -1;  // -1: did not end in time
    std::string out;
    std::string err;
};

inline CliResult finish_cli(QProcess& p, int ms) {
    CliResult r;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(2000);
    } else if (p.exitStatus() == QProcess::NormalExit) {
        r.code = p.exitCode();
    }
    r.out = p.readAllStandardOutput().toStdString();
    r.err += p.readAllStandardError().toStdString();
    return r;
}

// Runs the tool to its end.
inline CliResult run_cli(const QStringList& args, int ms = 30000) {
    QProcess p;
    p.start(cli_path(), args);
    p.closeWriteChannel();
    return finish_cli(p, ms);
}

// The tool in the server role: started, then the port it listens on is read from its
// "listening <port>" line.
class ListeningCli {
  public:
    explicit ListeningCli(const QStringList& args) {
        proc_.setReadChannel(QProcess::StandardError);
        proc_.start(cli_path(), args);
        proc_.closeWriteChannel();
        const QByteArray line = read_line(proc_, 10000);
        if (line.startsWith("listening ")) port_ = line.mid(10).toInt();
        seen_err_ = line.toStdString();
    }
    ~ListeningCli() {
        if (proc_.state() != QProcess::NotRunning) {
            proc_.kill();
            proc_.waitForFinished(2000);
        }
    }
    int port() const { return port_; }
    CliResult finish(int ms = 30000) {
        CliResult r = finish_cli(proc_, ms);
        r.err = seen_err_ + "\n" + r.err;
        return r;
    }

  private:
    QProcess proc_;
    int port_ = 0;
    std::string seen_err_;
};

// tqv7310nx-sim, up once its ready line ("serial <path>", "listening <port>",
// "connected <n>") has been printed.
class Sim {
  public:
    Sim(const QStringList& args, const char* word) {
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start(sim_path(), args);
        const QByteArray line = read_line(proc_, 10000);
        const QByteArray prefix = QByteArray(word) + ' ';
        if (line.startsWith(prefix)) value_ = QString::fromUtf8(line.mid(prefix.size()));
    }
    ~Sim() {
        if (proc_.state() == QProcess::NotRunning) return;
        proc_.terminate();
        if (!proc_.waitForFinished(5000)) {
            proc_.kill();
            proc_.waitForFinished(2000);
        }
    }
    Sim(const Sim&) = delete;
    Sim& operator=(const Sim&) = delete;

    bool ready() const { return !value_.isEmpty(); }
    const QString& value() const { return value_; }
    // Waits for the device to end by itself (--connect ends when its connections close).
    bool wait_end(int ms = 10000) { return proc_.waitForFinished(ms); }

  private:
    QProcess proc_;
    QString value_;
};

}  // namespace tqv::clitest
