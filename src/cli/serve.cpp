#include "cli/serve.h"

#include <signal.h>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

#include "core/compare.h"
#include "link/device_link.h"

namespace tqv::cli {

namespace {

// The signal handler may only write to a descriptor; the event loop reads the other end.
int g_signal_pipe[2] = {-1, -1};

void on_signal(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signal_pipe[0], &byte, 1);
}

}  // namespace

Serve::Serve(const Options& options, DeviceLink& link, Console& console, QObject* parent)
    : QObject(parent),
      options_(options),
      link_(link),
      console_(console),
      cues_(link),
      control_(link) {
    control_.log = [this](const std::string& line) { console_.message(line); };
    control_.set_cues(&cues_);
    if (link_.fleet().numbered_by_address()) {
        // Panels name the devices by the numbers they first connected under; the roster
        // tells when one comes or goes.
        connect(&link_.fleet(), &Fleet::changed, this, [this] { control_.devices_changed(); });
        control_.devices_changed();
    }
    // The client role comes back by itself; each turn is a line.
    connect(&link_, &DeviceLink::state_changed, this, [this] {
        const bool connecting = link_.tcp_connecting();
        if (connecting && !said_connecting_)
            console_.message("tqv7310nx-cli: link lost; connecting again");
        said_connecting_ = connecting;
    });
    connect(&link_, &DeviceLink::tcp_reconnected, this,
            [this] { console_.message("tqv7310nx-cli: link back; nothing was resent"); });
    connect(&link_, &DeviceLink::reconnect_checked, this,
            [this](bool completed, const std::vector<SettingDifference>& differences) {
                if (!completed) {
                    console_.message("tqv7310nx-cli: the read after the reconnect did not finish");
                    return;
                }
                console_.message("tqv7310nx-cli: after the reconnect " + std::to_string(differences.size()) +
                                 " items differ from the document");
                for (const SettingDifference& d : differences) console_.message("differs\t" + difference_line(d));
            });
}

Serve::~Serve() {
    if (signals_) {
        signal(SIGINT, SIG_DFL);
        signal(SIGTERM, SIG_DFL);
        ::close(g_signal_pipe[0]);
        ::close(g_signal_pipe[1]);
        g_signal_pipe[0] = g_signal_pipe[1] = -1;
    }
}

bool Serve::start() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signal_pipe) != 0) return false;
    signals_ = std::make_unique<QSocketNotifier>(g_signal_pipe[1], QSocketNotifier::Read);
    connect(signals_.get(), &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signal_pipe[1], &byte, 1);
        emit stop_requested();
    });
    struct sigaction action {};
    action.sa_handler = on_signal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    if (!options_.cues.empty()) {
        std::vector<Cue> cues;
        CueFileError error;
        if (!load_cue_file(options_.cues, cues, error)) {
            console_.message("tqv7310nx-cli: " + options_.cues + ": " + error.message());
            return false;
        }
        cues_.load(std::move(cues));
    }
    ControlSettings settings;
    settings.http_port = options_.http_port;
    settings.osc_port = options_.osc_port;
    settings.rosstalk_port = options_.rosstalk_port;
    settings.bind = options_.bind;
    settings.allow = split_addresses(options_.allow_clients);
    settings.hosts = options_.allow_hosts;
    settings.origins = options_.allow_origins;
    std::string error;
    // The token need not stand on the command line, where `ps` shows it to everyone.
    if (!serve_token(options_, std::getenv("TQV_TOKEN"), &settings.token, &error)) {
        console_.message("tqv7310nx-cli: " + error);
        return false;
    }
    if (!control_.start(settings, &error)) {
        console_.message("tqv7310nx-cli: " + error);
        return false;
    }
    if (control_.http_port() != 0) console_.message("http " + std::to_string(control_.http_port()));
    if (control_.osc_port() != 0) console_.message("osc " + std::to_string(control_.osc_port()));
    if (control_.rosstalk_port() != 0)
        console_.message("rosstalk " + std::to_string(control_.rosstalk_port()));
    return true;
}

}  // namespace tqv::cli
