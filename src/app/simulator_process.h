// The simulated device as a child process: started on a pseudo-terminal, its serial path
// taken from the first line it prints, stopped when the run ends.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tqv {

class SimulatorProcess {
  public:
    SimulatorProcess();
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    // tqv7310nx-sim next to this program's executable.
    static QString default_program();

    // Starts `program --serial extra_args...` and waits (running the event loop) for its
    // "serial <path>" line. The path, or an empty string with `error` set when the
    // simulator could not start, ended, or said nothing within `timeout_ms`.
    QString start_serial(const QString& program, const QStringList& extra_args, int timeout_ms,
                         QString* error = nullptr);
    // Asks the simulator to end, and kills it when it does not within `timeout_ms`.
    void stop(int timeout_ms = 2000);
    bool running() const { return process_.state() != QProcess::NotRunning; }

  private:
    QProcess process_;
    bool ready_ = false;
};

}  // namespace tqv
