// `serve`: the show-control interface on the open link until SIGINT or SIGTERM. Message
// boxes of the core are lines on stderr here (the tool's own Ui); nothing waits for anyone.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

#include "cli/console.h"
#include "cli/options.h"
#include "control/control.h"
#include "control/cue_show.h"
#include "link/device_link.h"

namespace tqv::cli {

class Serve : public QObject {
    Q_OBJECT
  public:
    Serve(const Options& options, DeviceLink& link, Console& console, QObject* parent = nullptr);
    ~Serve() override;

    // Loads --cues, listens and writes "http <port>", "osc <port>" and "rosstalk <port>";
    // false when the cue file cannot be read or a port cannot be opened.
    bool start();
    Control& control() { return control_; }

  signals:
    // SIGINT or SIGTERM came.
    void stop_requested();

  private:
    const Options& options_;
    DeviceLink& link_;
    Console& console_;
    CueShow cues_;
    bool said_connecting_ = false;
    Control control_;
    std::unique_ptr<QSocketNotifier> signals_;
};

}  // namespace tqv::cli
