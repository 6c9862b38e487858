// The simulated device on a pseudo-terminal with the link's serial port opened on it, for
// the tests that go all the way to a device and back.
#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <string>

#include "app/simulator_process.h"
#include "link/device_link.h"

namespace tqv::test {

class SerialSimulator {
  public:
    static bool available() {
#ifdef TQV_SIM_PATH
        return true;
#else
        return false;
#endif
    }

    // Starts the device, logging every line in and out, and opens `link`'s serial port on
    // it. False, with `error` saying why, when either fails.
    bool open(DeviceLink& link) {
#ifdef TQV_SIM_PATH
        log_ = dir_.filePath(QStringLiteral("sim.log"));
        QString why;
        const QString pty = process_.start_serial(
            QStringLiteral(TQV_SIM_PATH), {QStringLiteral("--log"), log_}, 10000, &why);
        if (pty.isEmpty()) {
            error = why.toStdString();
            return false;
        }
        if (!link.open_serial(pty)) {
            error = "the serial port did not open on " + pty.toStdString();
            return false;
        }
        return true;
#else
        (void)link;
        error = "tqv7310nx-sim is not part of this build";
        return false;
#endif
    }

    // Every line the device received (" < ") and sent (" > ") so far.
    std::string logged() const {
        QFile f(log_);
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll().toStdString();
    }

    std::string error;

  private:
    QTemporaryDir dir_;
    QString log_;
    SimulatorProcess process_;
};

}  // namespace tqv::test
