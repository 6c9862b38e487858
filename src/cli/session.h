// One invocation of the tool: reads the file to send, makes the link (serial port, TCP
// client, or TCP server waiting for its devices), runs the command on each device in turn
// and reports the exit status.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "cli/cli_ui.h"
#include "cli/command_run.h"
#include "cli/console.h"
#include "cli/options.h"
#include "cli/serve.h"
#include "link/device_link.h"
#include "link/fleet_run.h"

class QTcpSocket;

namespace tqv::cli {

class Session : public QObject {
    Q_OBJECT
  public:
    Session(const Options& options, Model& model, CliUi& ui, Console& console,
            QObject* parent = nullptr);
    ~Session() override;

    // Begins on the event loop; finished() follows exactly once.
    void start();

    // Bytes of every frame written and every byte received, for --stats.
    std::uint64_t bytes_sent() const { return bytes_sent_; }
    std::uint64_t bytes_received() const { return bytes_received_; }
    // From the first command sent to the end of the last one.
    double command_seconds() const;

  signals:
    void finished(int exit_code);

  private:
    struct Device {
        int entry = 0;  // peer-table entry (server role); 0 otherwise
        QPointer<QTcpSocket> socket;
    };

    // The server role: every device on a channel of its own, all at once.
    void start_parallel();

    bool load_input();
    void open_serial();
    void open_client();
    void open_server();
    void peers_changed();
    void connect_timed_out();
    void run_next();
    void run_done(bool ok);
    void finish(int code);

    const Options& options_;
    Model& model_;
    CliUi& ui_;
    Console& console_;
    ControlUi link_ui_;  // serve: the boxes about a control command become its answer
    DeviceLink link_;

    enum class Phase { idle, connecting, running, done };
    Phase phase_ = Phase::idle;
    QTimer connect_timer_;
    std::vector<Device> devices_;
    std::size_t next_device_ = 0;
    CommandRun* run_ = nullptr;
    std::unique_ptr<Serve> serve_;
    bool any_failed_ = false;

    FleetRun parallel_{link_.fleet()};

    std::uint64_t bytes_sent_ = 0;
    std::uint64_t bytes_received_ = 0;
    QElapsedTimer command_clock_;
    qint64 command_ms_ = -1;
};

}  // namespace tqv::cli
