#include "cli/session.h"

#include <algorithm>
#include <utility>

#include <QHostAddress>
#include <QHostInfo>
#include <QSerialPort>
#include <QTcpSocket>
#include <cstdio>

#include "core/document.h"
#include "core/glyph.h"
#include "core/texts.h"

namespace tqv::cli {

namespace {

std::string five_digits(unsigned value) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%05u", value % 100000);
    return buf;
}

// The first IPv4 address of a dotted address or a host name; nullopt when there is none.
std::optional<Ipv4> resolve_ipv4(const std::string& host) {
    QHostAddress address;
    QList<QHostAddress> candidates;
    if (address.setAddress(QString::fromStdString(host))) {
        candidates.push_back(address);
    } else {
        candidates = QHostInfo::fromName(QString::fromStdString(host)).addresses();
    }
    for (const QHostAddress& a : candidates) {
        bool ok = false;
        const quint32 v = a.toIPv4Address(&ok);
        if (ok) {
            return Ipv4{std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8),
                        std::uint8_t(v)};
        }
    }
    return std::nullopt;
}

// `send`'s answer on a line of its own, after the device's number and a tab when several
// devices answer (`number` 0: one device).
void report_answer(Console& console, std::string_view text, int number) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    console.report(number > 0 ? std::to_string(number) + "\t" + std::string(text)
                              : std::string(text));
}

}  // namespace

Session::Session(const Options& options, Model& model, CliUi& ui, Console& console, QObject* parent)
    : QObject(parent),
      options_(options),
      model_(model),
      ui_(ui),
      console_(console),
      link_ui_(ui),
      link_(model, link_ui_) {
    connect_timer_.setSingleShot(true);
    connect(&connect_timer_, &QTimer::timeout, this, &Session::connect_timed_out);

    SendPath& path = link_.send_path();
    path.frame_written.add([this](std::string_view frame, bool) {
        bytes_sent_ += frame.size();
        if (run_ != nullptr) run_->link_event();
    });
    path.answered.add([this](bool) {
        if (run_ != nullptr) run_->link_event();
    });
    link_.dispatcher().answer_text.add([this](std::string_view text, bool) {
        if (options_.command != Command::send || run_ == nullptr) return;
        report_answer(console_, text, options_.devices > 1 ? int(next_device_) : 0);
    });
    ui_.on_box = [this](bool failure) {
        if (phase_ == Phase::connecting && failure) {
            // The connection failed (the box says how); nothing can be sent.
            QMetaObject::invokeMethod(
                this, [this] { finish(1); }, Qt::QueuedConnection);
        } else if (run_ != nullptr) {
            run_->link_event();
        }
    };

    connect(&link_.serial(), &SerialLink::bytes_received, this,
            [this](const QByteArray& bytes) { bytes_received_ += std::uint64_t(bytes.size()); });
    connect(&link_.tcp(), &TcpLink::bytes_received, this,
            [this](int, const QByteArray& bytes) { bytes_received_ += std::uint64_t(bytes.size()); });
    // A device that goes away in the middle of a command is reported by the link (the run
    // under way ends with that message), which counts as this device's failure.
}

Session::~Session() {
    serve_.reset();  // before the link it serves on
    link_.fleet().disconnect(this);  // the devices leaving with the link are no news
    ui_.on_box = nullptr;
    link_.shutdown();
}

double Session::command_seconds() const {
    if (command_ms_ >= 0) return double(command_ms_) / 1000.0;
    return command_clock_.isValid() ? double(command_clock_.elapsed()) / 1000.0 : 0.0;
}

void Session::start() {
    if (!load_input()) {
        finish(1);
        return;
    }
    model_.slave_address_index = options_.slave_address_index;
    model_.running = 1;
    phase_ = Phase::connecting;
    switch (options_.link) {
        case LinkKind::serial:
            open_serial();
            break;
        case LinkKind::tcp:
            open_client();
            break;
        case LinkKind::listen:
            open_server();
            break;
        case LinkKind::none:
            finish(1);
            break;
    }
}

bool Session::load_input() {
    // A file to send is read before any device is involved, so that a missing file costs
    // no connection.
    if ((options_.command == Command::push || options_.command == Command::diff) &&
        !load_document(model_, options_.file)) {
        warning_box(ui_, text::kCantFileOpen);
        return false;
    }
    if (options_.command == Command::glyphs_push && !load_glyph_list(model_, options_.file)) {
        warning_box(ui_, text::kCantFileOpen);
        return false;
    }
    return true;
}

void Session::open_serial() {
    model_.interface_kind = 0;
    if (!link_.open_serial(QString::fromStdString(options_.serial_path))) {
        finish(1);  // the port's messages are out
        return;
    }
    if (QSerialPort* port = link_.serial().port()) {
        connect(port, &QSerialPort::bytesWritten, this, [this] {
            if (run_ != nullptr) run_->link_event();
        });
    }
    link_.start_answer_timer();
    devices_.push_back({});
    phase_ = Phase::running;
    run_next();
}

void Session::open_client() {
    model_.interface_kind = 1;
    model_.tcp_role = 0;
    const auto address = resolve_ipv4(options_.host);
    if (!address) {
        console_.message("tqv7310nx-cli: no IPv4 address for " + options_.host);
        error_box(ui_, text::kCannotConnect);
        return;  // the failure box ends the session
    }
    model_.host_list[0] = *address;
    model_.host_count = 1;
    model_.selected_peer = 0;
    set_slot_text(model_.port_number, five_digits(options_.port));
    connect(&link_.tcp(), &TcpLink::connected, this, [this] {
        if (phase_ != Phase::connecting) return;
        connect_timer_.stop();
        model_.tcp_connected = 1;
        link_.start_answer_timer();
        devices_.push_back({});
        phase_ = Phase::running;
        run_next();
    });
    connect_timer_.start(options_.wait_seconds * 1000);
    if (options_.command == Command::serve) {
        link_.set_auto_reconnect(true);
        link_.set_reconnect_check(options_.reconnect_check);
    }
    if (link_.tcp().socket_connect() == 0) finish(1);
}

void Session::open_server() {
    model_.interface_kind = 1;
    model_.tcp_role = 1;
    model_.selected_peer = -1;
    set_slot_text(model_.port_number, five_digits(options_.port));
    TcpLink& tcp = link_.tcp();
    if (!options_.bind_address.empty()) {
        const QHostAddress where(QString::fromStdString(options_.bind_address));
        if (where.isNull()) {
            console_.message("tqv7310nx-cli: --bind: not an address: " + options_.bind_address);
            finish(2);
            return;
        }
        tcp.set_listen_address(where);
    }
    std::vector<QHostAddress> allowed;
    for (const std::string& a : options_.allowed) {
        const QHostAddress peer(QString::fromStdString(a));
        if (peer.isNull()) {
            console_.message("tqv7310nx-cli: --allow: not an address: " + a);
            finish(2);
            return;
        }
        allowed.push_back(peer);
    }
    tcp.set_allowed_peers(std::move(allowed));
    connect(&tcp, &TcpLink::peer_rejected, this, [this](const QString& address) {
        console_.message("tqv7310nx-cli: " + address.toStdString() + " is not allowed: closed");
    });
    connect(&tcp, &TcpLink::peer_refused, this, [this](const QString& address) {
        console_.message("tqv7310nx-cli: " + address.toStdString() + " closed: " +
                         std::to_string(options_.devices) + " devices are connected already");
    });
    if (options_.command == Command::serve) {
        // Devices keep their numbers by address; device 1 is the target.
        link_.fleet().number_by_address(options_.devices);
        connect(&link_.fleet(), &Fleet::said, this,
                [this](const QString& line) { console_.message(line.toStdString()); });
    } else {
        tcp.set_max_peers(options_.devices);
    }
    connect(&link_.tcp(), &TcpLink::peers_changed, this, &Session::peers_changed);
    if (link_.tcp().socket_listen() == 0) {
        finish(1);
        return;
    }
    // With port 0 the system picks the port: whoever starts the devices needs to know it.
    console_.message("listening " + std::to_string(link_.tcp().server_port()));
    connect_timer_.start(options_.wait_seconds * 1000);
}

void Session::peers_changed() {
    if (phase_ != Phase::connecting) return;
    TcpLink& tcp = link_.tcp();
    for (int entry = 1; entry <= TcpLink::kMaxPeers; ++entry) {
        const TcpLink::Peer& peer = tcp.peer(entry);
        if (peer.in_use != 1) continue;
        bool known = false;
        for (const Device& d : devices_) known = known || d.socket == peer.peer_socket;
        if (!known) devices_.push_back({entry, peer.peer_socket});
    }
    // A device that left while the others were still coming is not waited for.
    std::erase_if(devices_, [](const Device& d) { return d.socket.isNull(); });
    // Show control serves the devices that are there; the roster lists the others as absent
    // until they come. A run of the tool needs every device.
    const bool serve = options_.command == Command::serve;
    if (devices_.empty() || (!serve && int(devices_.size()) < options_.devices)) return;
    devices_.resize(std::min(devices_.size(), std::size_t(options_.devices)));
    connect_timer_.stop();
    model_.tcp_connected = 1;
    phase_ = Phase::running;
    if (serve) {
        link_.start_answer_timer();
        run_next();
        return;
    }
    start_parallel();
}

namespace {

// One device's command in the server role: its lines (no bar: the devices share the
// terminal) and boxes are its own, prefixed with its number when there are several.
class ParallelCommand : public FleetPart {
  public:
    ParallelCommand(const Options& options, PeerChannel& channel, const Model& record, int number,
                    int count, Console& shared, std::uint64_t& bytes_sent)
        : channel_(channel), console_(false), ui_(console_, options.quiet) {
        if (count > 1) ui_.set_prefix("device " + std::to_string(number) + ": ");
        channel_.set_record(record);
        channel_.set_ui(&ui_);
        run_ = std::make_unique<CommandRun>(options, channel_, ui_, console_,
                                            file_for_device(options.file, number, count));
        run_->set_device_number(number);
        QObject::connect(run_.get(), &CommandRun::done, run_.get(),
                         [this](bool ok) { report_end(ok, {}); });
        SendPath& path = channel_.send_path();
        CommandRun& run = *run_;
        subscriptions_.emplace_back(path.frame_written,
                                    [&bytes_sent, &run](std::string_view frame, bool) {
                                        bytes_sent += frame.size();
                                        run.link_event();
                                    });
        subscriptions_.emplace_back(path.answered, [&run](bool) { run.link_event(); });
        ui_.on_box = [&run](bool) { run.link_event(); };
        if (options.command == Command::send) {
            subscriptions_.emplace_back(channel_.dispatcher().answer_text,
                                        [&shared, number, count](std::string_view text, bool) {
                                            report_answer(shared, text, count > 1 ? number : 0);
                                        });
        }
    }
    ~ParallelCommand() override {
        // The channel outlives us (it goes after its device's news): it forgets us first.
        subscriptions_.clear();
        channel_.set_ui(nullptr);
        run_->disconnect();
    }
    void start() override { run_->start(); }

  private:
    PeerChannel& channel_;
    Console console_;
    CliUi ui_;
    std::vector<Subscription> subscriptions_;
    std::unique_ptr<CommandRun> run_;
};

}  // namespace

void Session::start_parallel() {
    command_clock_.start();
    const int count = int(devices_.size());
    std::vector<FleetDevice> targets;
    for (int i = 0; i < count; ++i) {
        const int entry = devices_[std::size_t(i)].entry;
        targets.push_back({i + 1, entry, QString::fromStdString(link_.tcp().peer_address(entry))});
    }
    connect(&parallel_, &FleetRun::member_ended, this, [this](int i) {
        const FleetRun::Member& m = parallel_.members()[std::size_t(i)];
        console_.message("device " + std::to_string(m.number) + " " + m.address.toStdString() +
                         (m.ok ? " ok" : " failed"));
    });
    connect(&parallel_, &FleetRun::finished, this, [this](int, int failed) {
        std::string list;
        for (const FleetRun::Member& m : parallel_.members())
            if (!m.ok)
                list += (list.empty() ? "" : ", ") + ("device " + std::to_string(m.number) + " (" +
                                                      m.address.toStdString() + ")");
        if (!list.empty()) console_.message("tqv7310nx-cli: failed: " + list);
        finish(failed == 0 ? 0 : 1);
    });
    parallel_.set_devices(targets);
    // The peer set keeps each device's channel (a device that goes away ends its run with
    // the link's message first).
    parallel_.start(
        [this, count](const FleetRun::Member& m, Channel& channel) -> std::unique_ptr<FleetPart> {
            auto* peer = dynamic_cast<PeerChannel*>(&channel);
            if (peer == nullptr) return nullptr;
            return std::make_unique<ParallelCommand>(options_, *peer, model_, m.number, count,
                                                     console_, bytes_sent_);
        });
}

void Session::connect_timed_out() {
    if (phase_ != Phase::connecting) return;
    if (options_.link == LinkKind::listen) {
        console_.message("tqv7310nx-cli: " + std::to_string(devices_.size()) + " of " +
                         std::to_string(options_.devices) + " devices connected");
    }
    error_box(ui_, text::kCannotConnect);  // ends the session through on_box
}

void Session::run_next() {
    if (phase_ != Phase::running) return;
    if (next_device_ >= devices_.size()) {
        finish(any_failed_ ? 1 : 0);
        return;
    }
    ++next_device_;
    if (options_.command == Command::serve) {
        serve_ = std::make_unique<Serve>(options_, link_, console_);
        link_ui_.control = &serve_->control();
        connect(serve_.get(), &Serve::stop_requested, this, [this] { finish(0); });
        if (!serve_->start()) finish(1);
        return;
    }
    if (!command_clock_.isValid()) command_clock_.start();
    const std::string file =
        file_for_device(options_.file, int(next_device_), int(devices_.size()));
    run_ = new CommandRun(options_, link_, ui_, console_, file, this);
    connect(run_, &CommandRun::done, this, &Session::run_done);
    run_->start();
}

void Session::run_done(bool ok) {
    if (!ok) any_failed_ = true;
    if (run_ != nullptr) run_->deleteLater();
    run_ = nullptr;
    run_next();
}

void Session::finish(int code) {
    if (phase_ == Phase::done) return;
    phase_ = Phase::done;
    if (command_clock_.isValid()) command_ms_ = command_clock_.elapsed();
    connect_timer_.stop();
    link_.stop_answer_timer();
    link_.shutdown();
    link_.serial().close();
    QMetaObject::invokeMethod(
        this, [this, code] { emit finished(code); }, Qt::QueuedConnection);
}

}  // namespace tqv::cli
