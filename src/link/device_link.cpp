#include "link/device_link.h"

#include <algorithm>

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
        if (peer_index == source) deliver(true, bytes);
    });
    // The command in flight and the queued ones cannot be answered any more.
    connect(&tcp_, &TcpLink::link_closed, this, [this] { path_.tcp_reset(); });

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

void DeviceLink::start_answer_timer() { answer_timer_.start(); }

void DeviceLink::stop_answer_timer() { answer_timer_.stop(); }

void DeviceLink::shutdown() {
    model_.running = 0;
    // Nothing is read any more: a device that goes away during the exit (the simulator
    // stops after the program) must not report a lost port.
    serial_.close();
    tcp_.socket_shutdown();
    path_.tcp_reset();
}

void DeviceLink::deliver(bool on_tcp, const QByteArray& bytes) {
    inbox_.push_back({on_tcp, bytes});
    // An answer's message box runs a nested event loop, in which more bytes may arrive.
    // They wait here until that answer is finished, so answers are applied one after the
    // other and in order, as a device sends them.
    if (delivering_) return;
    delivering_ = true;
    while (!inbox_.empty()) {
        const Received item = std::move(inbox_.front());
        inbox_.pop_front();
        const std::string_view view(item.bytes.constData(), std::size_t(item.bytes.size()));
        if (item.on_tcp) {
            dispatcher_.tcp_receive(view);
        } else {
            dispatcher_.serial_receive(view);
        }
        // One notice per completed line: a line ends in LF, a piece without it is
        // still being collected.
        const auto lines = std::count(item.bytes.cbegin(), item.bytes.cend(), '\n');
        for (qsizetype i = 0; i < lines; ++i) emit answer_applied();
    }
    delivering_ = false;
}

}  // namespace tqv
