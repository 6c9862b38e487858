// Everything between the model and a device, wired once: the send path, the answer
// dispatcher, the serial and TCP transports and the 500 ms answer time-out tick. The main
// window, the dialogs and the command-line tool all use one DeviceLink.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QTimer>
#include <deque>

#include "core/answers.h"
#include "core/send_path.h"
#include "link/channel.h"
#include "link/serial_link.h"
#include "link/tcp_link.h"

namespace tqv {

class DeviceLink : public QObject, public Channel {
    Q_OBJECT
public:
    DeviceLink(Model& model, Ui& ui, QObject* parent = nullptr);

    Model& model() override { return model_; }
    SendPath& send_path() override { return path_; }
    bool bytes_pending() const override;
    AnswerDispatcher& dispatcher() { return dispatcher_; }
    SerialLink& serial() { return serial_; }
    TcpLink& tcp() { return tcp_; }

    // Opens the serial port: `path` when given, else com_device from the configuration,
    // else the device of com_port_index.
    bool open_serial(const QString& path = {});
    // Starts the 500 ms answer time-out timer (the main window's timer 20).
    void start_answer_timer();
    void stop_answer_timer();
    // One tick of it, for tests.
    void answer_tick() { path_.answer_timeout_tick(); }
    // Orderly end: running := 0, every socket closed.
    void shutdown();

signals:
    // After every answer line applied to the model (dialogs refresh from it).
    void answer_applied();

private:
    void deliver(bool on_tcp, const QByteArray& bytes);

    Model& model_;
    SendPath path_;
    AnswerDispatcher dispatcher_;
    SerialLink serial_;
    TcpLink tcp_;
    QTimer answer_timer_;
    int tcp_line_source_ = -1;
    bool shutting_down_ = false;  // the peer whose bytes the TCP line buffer holds
};

}  // namespace tqv
