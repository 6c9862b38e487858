// tqv7310nx-sim: the simulated device served on a pseudo-terminal or over TCP, so that the
// program, its tests and a new user can work end to end without a TQV-7310NX on the desk.
//
// One thread, one poll() loop: every descriptor is non-blocking, every delay (line pacing,
// --delay, --split) is a deadline in the loop, never a sleep, so a slow or absent peer never
// holds up the others.
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/responder.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// A command line longer than the longest command ("GR", 584 bytes framed) is garbage; keep
// its head so that it is still answered (with "E3") by the device it was addressed to.
constexpr std::size_t kLineCap = 600;
// 9600 baud, 8 data bits, even parity, 1 start and 1 stop bit: 11 bits a byte.
constexpr auto kByteTime = std::chrono::nanoseconds(11'000'000'000LL / 9600);
// Long enough that the two pieces of a split answer arrive in separate reads even on a
// loaded machine, short against the program's answer time-out.
constexpr auto kSplitGap = 50ms;
// Answers waiting for a TCP client that sends but never reads are dropped beyond this,
// instead of growing without bound.
constexpr std::size_t kOutputCap = 64 * 1024;
constexpr std::size_t kWireInputCap = 4096;  // a real UART would overrun long before
constexpr int kMaxDevices = 512;

constexpr const char* kUsage =
    "usage: tqv7310nx-sim MODE [options]\n"
    "\n"
    "A simulated TQV-7310NX title generator that answers the device protocol.\n"
    "\n"
    "modes (exactly one):\n"
    "  --serial [--link PATH]      make a pseudo-terminal and print \"serial <path>\";\n"
    "                              --link also makes PATH a symbolic link to it\n"
    "  --listen PORT               one device listening on 127.0.0.1:PORT (0 picks a free\n"
    "                              port); prints \"listening <port>\"\n"
    "  --connect HOST:PORT [--count N]\n"
    "                              N devices (default 1) connect to the program's server;\n"
    "                              prints \"connected <N>\" once all are connected and\n"
    "                              \"disconnected <k>\" when device k's connection closes;\n"
    "                              stops when the last one has closed\n"
    "\n"
    "options:\n"
    "  --address NN                slave address 00..31 (default 00)\n"
    "  --log FILE                  write every line received and sent to FILE\n"
    "  --wire                      serial only: pace reading and writing at 9600 baud, 8E1\n"
    "                              (11 bits a byte, about 1.146 ms)\n"
    "faults for tests:\n"
    "  --no-answer                 carry out commands but never answer\n"
    "  --delay MS                  answer MS milliseconds late\n"
    "  --error CODE                answer CODE (E0, E1, E2, E3, GN or MENU) to every command\n"
    "                              and carry out none\n"
    "  --split                     send each answer in two pieces, 50 ms apart\n"
    "\n"
    "It stops cleanly on SIGTERM or SIGINT, and at end of input: when its standard input is\n"
    "a pipe, socket or terminal and reaches end of file (the parent closed it, or Ctrl-D).\n"
    "Standard input from /dev/null or a file is not watched. The pseudo-terminal closing on\n"
    "the far side is not the end: the program may open it again.\n";

enum class Mode { none, serial, listen, connect };

struct Options {
    Mode mode = Mode::none;
    std::string link_path;
    int listen_port = 0;
    std::string host;
    std::string port;
    int count = 1;
    bool count_given = false;
    int address = 0;
    std::string log_path;
    bool wire = false;
    bool no_answer = false;
    bool split = false;
    int delay_ms = 0;
    std::string error_code;
};

std::optional<long> parse_number(const char* text, long lo, long hi) {
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || value < lo || value > hi) return std::nullopt;
    return value;
}

// "HOST:PORT" or "[V6-ADDRESS]:PORT".
bool split_host_port(std::string_view text, std::string& host, std::string& port) {
    std::size_t colon;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':')
            return false;
        host = std::string(text.substr(1, close - 1));
        colon = close + 1;
    } else {
        colon = text.rfind(':');
        if (colon == std::string_view::npos) return false;
        host = std::string(text.substr(0, colon));
    }
    port = std::string(text.substr(colon + 1));
    return !host.empty() && parse_number(port.c_str(), 1, 65535).has_value();
}

[[noreturn]] void usage_error(const std::string& message) {
    std::fprintf(stderr, "tqv7310nx-sim: %s (see --help)\n", message.c_str());
    std::exit(2);
}

Options parse_options(int argc, char** argv) {
    Options options;
    auto set_mode = [&](Mode mode) {
        if (options.mode != Mode::none)
            usage_error("give exactly one of --serial, --listen, --connect");
        options.mode = mode;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&]() -> const char* {
            if (i + 1 >= argc) usage_error(std::string(arg) + " needs a value");
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (arg == "--serial") {
            set_mode(Mode::serial);
        } else if (arg == "--link") {
            options.link_path = value();
            if (options.link_path.empty()) usage_error("--link needs a path");
        } else if (arg == "--listen") {
            set_mode(Mode::listen);
            const auto port = parse_number(value(), 0, 65535);
            if (!port) usage_error("--listen needs a port 0..65535");
            options.listen_port = static_cast<int>(*port);
        } else if (arg == "--connect") {
            set_mode(Mode::connect);
            if (!split_host_port(value(), options.host, options.port))
                usage_error("--connect needs HOST:PORT");
        } else if (arg == "--count") {
            const auto count = parse_number(value(), 1, kMaxDevices);
            if (!count) usage_error("--count needs a number 1.." + std::to_string(kMaxDevices));
            options.count = static_cast<int>(*count);
            options.count_given = true;
        } else if (arg == "--address") {
            const auto address = parse_number(value(), 0, 31);
            if (!address) usage_error("--address needs a slave address 00..31");
            options.address = static_cast<int>(*address);
        } else if (arg == "--log") {
            options.log_path = value();
        } else if (arg == "--wire") {
            options.wire = true;
        } else if (arg == "--no-answer") {
            options.no_answer = true;
        } else if (arg == "--delay") {
            const auto delay = parse_number(value(), 0, 3'600'000);
            if (!delay) usage_error("--delay needs milliseconds");
            options.delay_ms = static_cast<int>(*delay);
        } else if (arg == "--error") {
            options.error_code = value();
            const std::string& c = options.error_code;
            if (c != "E0" && c != "E1" && c != "E2" && c != "E3" && c != "GN" && c != "MENU")
                usage_error("--error needs E0, E1, E2, E3, GN or MENU");
        } else if (arg == "--split") {
            options.split = true;
        } else {
            usage_error("unknown argument " + std::string(arg));
        }
    }
    if (options.mode == Mode::none) usage_error("give one of --serial, --listen, --connect");
    if (!options.link_path.empty() && options.mode != Mode::serial)
        usage_error("--link belongs to --serial");
    if (options.count_given && options.mode != Mode::connect)
        usage_error("--count belongs to --connect");
    return options;
}

// Self-pipe: the signal handler only writes a byte, the loop sees it as an ordinary event.
int g_signal_pipe[2] = {-1, -1};

void on_stop_signal(int) {
    const int saved = errno;
    const char byte = 's';
    [[maybe_unused]] const ssize_t n = write(g_signal_pipe[1], &byte, 1);
    errno = saved;
}

bool set_nonblocking(int fd) {
    const int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

// Bytes as a person reads them in the log: CR LF and other controls escaped.
std::string escaped(std::string_view bytes) {
    std::string text;
    for (unsigned char c : bytes) {
        if (c == '\r') {
            text += "\\r";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c == '\\') {
            text += "\\\\";
        } else if (c < 0x20 || c >= 0x7F) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        } else {
            text += static_cast<char>(c);
        }
    }
    return text;
}

class Log {
  public:
    ~Log() {
        if (file_ != nullptr) std::fclose(file_);
    }
    bool open(const std::string& path) {
        file_ = std::fopen(path.c_str(), "w");
        return file_ != nullptr;
    }
    // "12.345 serial < 00RCEL\r\n": seconds since start, who, direction ('<' received,
    // '>' answered, '!' answer dropped because nobody read it), the bytes.
    void write(const std::string& who, char direction, std::string_view bytes) {
        if (file_ == nullptr) return;
        const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
        std::fprintf(file_, "%.3f %s %c %s\n", seconds, who.c_str(), direction,
                     escaped(bytes).c_str());
        std::fflush(file_);
    }

  private:
    std::FILE* file_ = nullptr;
    Clock::time_point start_ = Clock::now();
};

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One place the device talks through: the pseudo-terminal, or one TCP connection.
struct Endpoint {
    int fd = -1;
    std::string name;  // for the log: "serial", "client 2", "device 5"
    int number = 0;    // device number 1..N in --connect mode
    tqv::sim::Responder* device = nullptr;
    bool paced = false;       // --wire on the serial link
    bool persistent = false;  // the pseudo-terminal: lives as long as the device
    bool connecting = false;
    bool write_blocked = false;  // waiting for POLLOUT
    std::string line;
    std::deque<std::pair<Clock::time_point, char>> wire_input;  // bytes still "on the wire"
    Clock::time_point rx_free{};  // when the wire is free for the next received byte
    Clock::time_point tx_free{};  // when the wire is free for the next sent byte
    std::deque<Chunk> output;
    std::size_t output_bytes = 0;
};

class Simulator {
  public:
    explicit Simulator(Options options) : options_(std::move(options)) {}
    ~Simulator() { shut_down(); }

    int run();

  private:
    bool start_serial();
    bool start_listen();
    bool start_connect();
    void watch_stdin();
    Endpoint& add_endpoint(int fd, std::string name, tqv::sim::Responder* device);
    tqv::sim::Responder* new_device();

    void accept_clients();
    void connect_finished(Endpoint& ep);
    void read_from(Endpoint& ep, Clock::time_point now);
    void feed(Endpoint& ep, char byte, Clock::time_point now);
    void handle_line(Endpoint& ep, Clock::time_point now);
    void queue_answer(Endpoint& ep, std::string answer, Clock::time_point now);
    void service(Endpoint& ep, Clock::time_point now);
    void flush(Endpoint& ep, Clock::time_point now);
    std::optional<Clock::time_point> next_deadline(const Endpoint& ep) const;
    void close_endpoint(Endpoint& ep);
    void say(const std::string& text);
    void shut_down();

    Options options_;
    Log log_;
    bool stop_ = false;
    int exit_code_ = 0;
    bool watch_stdin_ = false;
    int listen_fd_ = -1;
    int slave_keep_fd_ = -1;  // our own hold on the pseudo-terminal's far side
    std::string slave_path_;
    bool link_made_ = false;
    std::vector<std::unique_ptr<tqv::sim::Responder>> devices_;
    std::vector<std::unique_ptr<Endpoint>> endpoints_;
    int clients_accepted_ = 0;
    int connected_ = 0;
    bool connected_said_ = false;
    std::vector<std::string> held_lines_;  // printed once "connected <n>" is out
};

tqv::sim::Responder* Simulator::new_device() {
    const auto link = options_.mode == Mode::serial ? tqv::sim::Link::serial : tqv::sim::Link::tcp;
    devices_.push_back(std::make_unique<tqv::sim::Responder>(options_.address, link));
    if (!options_.error_code.empty()) devices_.back()->set_forced_answer(options_.error_code);
    return devices_.back().get();
}

Endpoint& Simulator::add_endpoint(int fd, std::string name, tqv::sim::Responder* device) {
    auto ep = std::make_unique<Endpoint>();
    ep->fd = fd;
    ep->name = std::move(name);
    ep->device = device;
    endpoints_.push_back(std::move(ep));
    return *endpoints_.back();
}

void Simulator::say(const std::string& text) {
    std::fputs(text.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool Simulator::start_serial() {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("tqv7310nx-sim: pseudo-terminal");
        if (master >= 0) close(master);
        return false;
    }
    char path[256];
    if (ptsname_r(master, path, sizeof path) != 0) {
        std::perror("tqv7310nx-sim: ptsname");
        close(master);
        return false;
    }
    slave_path_ = path;
    fcntl(master, F_SETFD, FD_CLOEXEC);
    set_nonblocking(master);
    // Raw bytes both ways: no echo, no CR/LF translation, no flow-control characters eaten.
    termios tio{};
    if (tcgetattr(master, &tio) == 0) {
        cfmakeraw(&tio);
        cfsetispeed(&tio, B9600);
        cfsetospeed(&tio, B9600);
        tcsetattr(master, TCSANOW, &tio);
    }
    // While no one has the far side open, the master reports a hang-up on every poll; holding
    // it open ourselves keeps the device quietly waiting for the program to (re)open it.
    slave_keep_fd_ = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_keep_fd_ < 0) {
        std::perror("tqv7310nx-sim: opening the pseudo-terminal");
        close(master);
        return false;
    }
    if (!options_.link_path.empty()) {
        struct stat st {};
        if (lstat(options_.link_path.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                std::fprintf(stderr, "tqv7310nx-sim: %s exists and is not a symbolic link\n",
                             options_.link_path.c_str());
                close(master);
                return false;
            }
            unlink(options_.link_path.c_str());
        }
        if (symlink(path, options_.link_path.c_str()) != 0) {
            std::perror("tqv7310nx-sim: --link");
            close(master);
            return false;
        }
        link_made_ = true;
    }
    Endpoint& ep = add_endpoint(master, "serial", new_device());
    ep.paced = options_.wire;
    ep.persistent = true;
    say("serial " + slave_path_);
    return true;
}

bool Simulator::start_listen() {
    listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0) {
        std::perror("tqv7310nx-sim: socket");
        return false;
    }
    const int on = 1;
    setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(options_.listen_port));
    if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 16) != 0) {
        std::perror("tqv7310nx-sim: listen");
        return false;
    }
    socklen_t length = sizeof address;
    getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&address), &length);
    new_device();  // one device, whoever connects
    say("listening " + std::to_string(ntohs(address.sin_port)));
    return true;
}

bool Simulator::start_connect() {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(options_.host.c_str(), options_.port.c_str(), &hints, &found);
    if (rc != 0) {
        std::fprintf(stderr, "tqv7310nx-sim: %s: %s\n", options_.host.c_str(), gai_strerror(rc));
        return false;
    }
    bool ok = true;
    for (int n = 1; n <= options_.count && ok; ++n) {
        const int fd = socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            std::perror("tqv7310nx-sim: socket");
            ok = false;
            break;
        }
        Endpoint& ep = add_endpoint(fd, "device " + std::to_string(n), new_device());
        ep.number = n;
        if (connect(fd, found->ai_addr, found->ai_addrlen) == 0) {
            connect_finished(ep);
        } else if (errno == EINPROGRESS) {
            ep.connecting = true;
        } else {
            std::fprintf(stderr, "tqv7310nx-sim: connecting device %d: %s\n", n,
                         std::strerror(errno));
            ok = false;
        }
    }
    freeaddrinfo(found);
    return ok;
}

void Simulator::connect_finished(Endpoint& ep) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(ep.fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) {
        std::fprintf(stderr, "tqv7310nx-sim: connecting device %d: %s\n", ep.number,
                     std::strerror(error));
        exit_code_ = 1;
        stop_ = true;
        return;
    }
    ep.connecting = false;
    const int on = 1;
    setsockopt(ep.fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (++connected_ == options_.count) {
        say("connected " + std::to_string(connected_));
        connected_said_ = true;
        for (const std::string& line : held_lines_) say(line);
        held_lines_.clear();
    }
}

void Simulator::watch_stdin() {
    struct stat st {};
    if (fstat(STDIN_FILENO, &st) != 0) return;
    if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
        watch_stdin_ = true;
    } else if (isatty(STDIN_FILENO)) {
        // A job in the background of a shell must not stop itself by reading the terminal.
        watch_stdin_ = tcgetpgrp(STDIN_FILENO) == getpgrp();
    }
}

void Simulator::accept_clients() {
    for (;;) {
        const int fd = accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;  // EAGAIN: all taken; other errors: the client is gone already
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        add_endpoint(fd, "client " + std::to_string(++clients_accepted_), devices_.front().get());
    }
}

void Simulator::read_from(Endpoint& ep, Clock::time_point now) {
    char buffer[4096];
    const ssize_t n = read(ep.fd, buffer, sizeof buffer);
    if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) {
            if (!ep.paced) {
                feed(ep, buffer[i], now);
                continue;
            }
            // Each byte arrives one character time after the one before it, as on a line.
            if (ep.wire_input.size() >= kWireInputCap) continue;
            ep.rx_free = std::max(ep.rx_free, now) + kByteTime;
            ep.wire_input.emplace_back(ep.rx_free, buffer[i]);
        }
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    // We hold the pseudo-terminal's far side ourselves, so an error there is transient.
    if (!ep.persistent) close_endpoint(ep);
}

void Simulator::feed(Endpoint& ep, char byte, Clock::time_point now) {
    if (byte == '\n') {
        handle_line(ep, now);
    } else if (ep.line.size() < kLineCap) {
        ep.line += byte;
    }
}

void Simulator::handle_line(Endpoint& ep, Clock::time_point now) {
    const std::string line = std::move(ep.line);
    ep.line.clear();
    log_.write(ep.name, '<', line + '\n');
    std::string answer = ep.device->respond(line);
    if (answer.empty() || options_.no_answer) return;
    queue_answer(ep, std::move(answer), now);
}

void Simulator::queue_answer(Endpoint& ep, std::string answer, Clock::time_point now) {
    if (ep.output_bytes + answer.size() > kOutputCap) {
        log_.write(ep.name, '!', answer);  // dropped: nobody reads
        return;
    }
    log_.write(ep.name, '>', answer);
    const Clock::time_point due = now + std::chrono::milliseconds(options_.delay_ms);
    ep.output_bytes += answer.size();
    if (options_.split && answer.size() >= 2) {
        const std::size_t half = answer.size() / 2;
        ep.output.push_back({due, answer.substr(0, half)});
        ep.output.push_back({due + kSplitGap, answer.substr(half)});
    } else {
        ep.output.push_back({due, std::move(answer)});
    }
}

void Simulator::service(Endpoint& ep, Clock::time_point now) {
    while (ep.fd >= 0 && !ep.wire_input.empty() && ep.wire_input.front().first <= now) {
        const char byte = ep.wire_input.front().second;
        ep.wire_input.pop_front();
        feed(ep, byte, now);
    }
    flush(ep, now);
}

void Simulator::flush(Endpoint& ep, Clock::time_point now) {
    while (ep.fd >= 0 && !ep.write_blocked && !ep.output.empty()) {
        Chunk& chunk = ep.output.front();
        if (chunk.due > now) return;
        std::size_t count = chunk.bytes.size();
        Clock::time_point start{};
        if (ep.paced) {
            // A byte is handed over when its stop bit is through, one character time after it
            // started; bytes follow each other without a gap while there are any to send.
            start = std::max(ep.tx_free, chunk.due);
            if (now < start + kByteTime) return;
            const auto ready = static_cast<std::size_t>((now - start) / kByteTime);
            count = std::min(count, ready);
        }
        const ssize_t written = write(ep.fd, chunk.bytes.data(), count);
        if (written < 0) {
            if (errno == EINTR) return;
            if (ep.persistent) {
                // The pseudo-terminal is full only when nobody reads it. A serial line does not
                // keep bytes for a listener that is not there, and answers kept back would
                // reach the program as stale answers once it opens the port again.
                for (const Chunk& dropped : ep.output) log_.write(ep.name, '!', dropped.bytes);
                ep.output.clear();
                ep.output_bytes = 0;
                return;
            }
            if (errno == EAGAIN) {
                ep.write_blocked = true;
                return;
            }
            close_endpoint(ep);
            return;
        }
        const auto sent = static_cast<std::size_t>(written);
        if (ep.paced) ep.tx_free = start + kByteTime * static_cast<long>(sent);
        ep.output_bytes -= sent;
        chunk.bytes.erase(0, sent);
        if (chunk.bytes.empty()) ep.output.pop_front();
    }
}

std::optional<Clock::time_point> Simulator::next_deadline(const Endpoint& ep) const {
    std::optional<Clock::time_point> deadline;
    auto consider = [&](Clock::time_point t) {
        if (!deadline || t < *deadline) deadline = t;
    };
    if (!ep.wire_input.empty()) consider(ep.wire_input.front().first);
    if (!ep.output.empty() && !ep.write_blocked) {
        const Clock::time_point due = ep.output.front().due;
        consider(ep.paced ? std::max(ep.tx_free, due) + kByteTime : due);
    }
    return deadline;
}

void Simulator::close_endpoint(Endpoint& ep) {
    if (ep.fd < 0) return;
    close(ep.fd);
    ep.fd = -1;
    if (options_.mode == Mode::connect) {
        const std::string line = "disconnected " + std::to_string(ep.number);
        if (connected_said_) {
            say(line);
        } else {
            held_lines_.push_back(line);
        }
    }
}

int Simulator::run() {
    if (pipe2(g_signal_pipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::perror("tqv7310nx-sim: pipe");
        return 1;
    }
    struct sigaction stop {};
    stop.sa_handler = on_stop_signal;
    sigemptyset(&stop.sa_mask);
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);
    sigaction(SIGHUP, &stop, nullptr);
    // Peers that vanish show up as write errors, not as a signal that ends the device.
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);

    if (!options_.log_path.empty() && !log_.open(options_.log_path)) {
        std::fprintf(stderr, "tqv7310nx-sim: cannot write %s: %s\n", options_.log_path.c_str(),
                     std::strerror(errno));
        return 1;
    }
    watch_stdin();
    const bool started = options_.mode == Mode::serial   ? start_serial()
                         : options_.mode == Mode::listen ? start_listen()
                                                         : start_connect();
    if (!started) return 1;

    std::vector<pollfd> fds;
    std::vector<Endpoint*> polled;
    while (!stop_) {
        const Clock::time_point now = Clock::now();
        std::optional<Clock::time_point> deadline;
        for (auto& ep : endpoints_) {
            service(*ep, now);
            if (const auto t = next_deadline(*ep); t && (!deadline || *t < *deadline)) deadline = t;
        }
        std::erase_if(endpoints_, [](const auto& ep) { return ep->fd < 0; });
        if (options_.mode == Mode::connect && endpoints_.empty()) break;
        if (stop_) break;

        fds.clear();
        polled.clear();
        fds.push_back({g_signal_pipe[0], POLLIN, 0});
        if (watch_stdin_) fds.push_back({STDIN_FILENO, POLLIN, 0});
        if (listen_fd_ >= 0) fds.push_back({listen_fd_, POLLIN, 0});
        const std::size_t first_endpoint = fds.size();
        for (auto& ep : endpoints_) {
            short events = ep->connecting ? POLLOUT : POLLIN;
            if (ep->write_blocked) events |= POLLOUT;
            fds.push_back({ep->fd, events, 0});
            polled.push_back(ep.get());
        }
        int timeout = -1;
        if (deadline) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*deadline - now);
            timeout = static_cast<int>(std::max<long>(0, wait.count()));
        }
        if (poll(fds.data(), fds.size(), timeout) < 0) {
            if (errno == EINTR) continue;
            std::perror("tqv7310nx-sim: poll");
            return 1;
        }

        std::size_t i = 0;
        if (fds[i++].revents != 0) break;  // SIGTERM, SIGINT or SIGHUP
        if (watch_stdin_) {
            if (fds[i].revents != 0) {
                char buffer[256];
                const ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
                if (n == 0) break;  // end of input
                if (n < 0 && errno != EINTR && errno != EAGAIN) watch_stdin_ = false;
            }
            ++i;
        }
        if (listen_fd_ >= 0 && fds[i++].revents != 0) accept_clients();
        const Clock::time_point ready = Clock::now();
        for (std::size_t k = 0; k < polled.size(); ++k) {
            Endpoint& ep = *polled[k];
            const short revents = fds[first_endpoint + k].revents;
            if (revents == 0 || ep.fd < 0) continue;
            if (ep.connecting) {
                connect_finished(ep);
                continue;
            }
            if (revents & POLLOUT) ep.write_blocked = false;
            if (revents & (POLLIN | POLLHUP | POLLERR)) read_from(ep, ready);
        }
    }
    return exit_code_;
}

void Simulator::shut_down() {
    for (auto& ep : endpoints_) {
        if (ep->fd >= 0) close(ep->fd);
        ep->fd = -1;
    }
    endpoints_.clear();
    if (listen_fd_ >= 0) close(listen_fd_);
    listen_fd_ = -1;
    if (slave_keep_fd_ >= 0) close(slave_keep_fd_);
    slave_keep_fd_ = -1;
    if (link_made_) {
        // Only our own link: someone may have pointed the path elsewhere meanwhile.
        char target[256];
        const ssize_t n = readlink(options_.link_path.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string_view(target, static_cast<std::size_t>(n)) == slave_path_)
            unlink(options_.link_path.c_str());
        link_made_ = false;
    }
}

}  // namespace

int main(int argc, char** argv) {
    Simulator simulator(parse_options(argc, argv));
    return simulator.run();
}
