#include "link/device_link.h"

#include <QSerialPort>
#include <algorithm>

#include "core/texts.h"

namespace tqv {

DeviceLink::DeviceLink(Model& model, Ui& ui, QObject* parent)
    : QObject(parent),
      model_(model),
      path_(model, ui),
      dispatcher_(path_),
      serial_(ui),
      tcp_(model, ui) {
    path_.set_serial_transport(&serial_);
    path_.set_tcp_transport(&tcp_);

    connect(&serial_, &SerialLink::bytes_received, this,
            [this](const QByteArray& bytes) { deliver(false, bytes); });
    connect(&tcp_, &TcpLink::bytes_received, this, [this](int peer_index, const QByteArray& bytes) {
        // Only the device that commands go to answers them. In the server role another
        // device's bytes would be taken for the answer of the command in flight: read and
        // dropped.
        const int source = model_.tcp_role == 1 ? model_.selected_peer : 0;
        if (peer_index != source) return;
        // A piece of a line left by another device must not be glued to this one's answer.
        if (source != tcp_line_source_) {
            model_.tcp_line.clear();
            tcp_line_source_ = source;
        }
        deliver(true, bytes);
    });
    // The command in flight and the queued ones cannot be answered any more; a run under
    // way ends with one message.
    connect(&tcp_, &TcpLink::link_closed, this, [this] {
        // Closing everything on the way out is no loss to report.
        if (shutting_down_) {
            path_.tcp_reset();
        } else {
            path_.link_lost(true, text::kSocketNotConnected);
        }
    });
    connect(&serial_, &SerialLink::port_lost, this,
            [this] { path_.link_lost(false, text::kSerialPortLost); });
    dispatcher_.on_line_handled = [this] { emit answer_applied(); };

    answer_timer_.setInterval(500);
    connect(&answer_timer_, &QTimer::timeout, this, [this] { path_.answer_timeout_tick(); });
}

bool DeviceLink::open_serial(const QString& path) {
    QString device = path;
    if (device.isEmpty()) device = QString::fromStdString(model_.com_device);
    // An index outside COM1..COM6 gives no path, which opens like a missing port.
    if (device.isEmpty()) device = SerialLink::port_path(model_.com_port_index);
    return serial_.open(device);
}

bool DeviceLink::bytes_pending() const {
    const QSerialPort* port = serial_.port();
    return model_.interface_kind == 0 && port != nullptr && port->bytesToWrite() > 0;
}

void DeviceLink::start_answer_timer() { answer_timer_.start(); }

void DeviceLink::stop_answer_timer() { answer_timer_.stop(); }

void DeviceLink::shutdown() {
    model_.running = 0;
    shutting_down_ = true;
    // Nothing is read any more: a device that goes away during the exit (the simulator
    // stops after the program) must not report a lost port.
    serial_.close();
    tcp_.socket_shutdown();
    path_.tcp_reset();
    shutting_down_ = false;
}

void DeviceLink::deliver(bool on_tcp, const QByteArray& bytes) {
    // The dispatcher ends each command's wait as soon as its line is complete, and handles
    // the lines one after the other, also when a box runs a nested event loop meanwhile.
    const std::string_view view(bytes.constData(), std::size_t(bytes.size()));
    if (on_tcp) {
        dispatcher_.tcp_receive(view);
    } else {
        dispatcher_.serial_receive(view);
    }
}

}  // namespace tqv
