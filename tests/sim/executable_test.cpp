// The real tqv7310nx-sim executable, driven as the program and its tests drive it: through a
// pseudo-terminal or TCP, waiting for its ready line instead of sleeping.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kTimeout = 10s;

int remaining_ms(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return static_cast<int>(std::max<long>(0, left.count()));
}

// The simulator as a child process with its standard input and output on pipes.
class SimProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<std::string> argv_text = {TQV_SIM_EXECUTABLE};
        argv_text.insert(argv_text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& arg : argv_text) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, TQV_SIM_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        stdin_fd_ = in[1];
        stdout_fd_ = out[0];
    }

    ~SimProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close_stdin();
        if (stdout_fd_ >= 0) close(stdout_fd_);
    }

    bool started() const { return pid_ > 0; }

    // One line of standard output without its LF, or nullopt at end of output or time-out.
    std::optional<std::string> read_line(std::chrono::milliseconds timeout = kTimeout) {
        const auto deadline = Clock::now() + timeout;
        for (;;) {
            if (const auto lf = buffered_.find('\n'); lf != std::string::npos) {
                std::string line = buffered_.substr(0, lf);
                buffered_.erase(0, lf + 1);
                return line;
            }
            if (!read_some(deadline)) return std::nullopt;
        }
    }

    void close_stdin() {
        if (stdin_fd_ >= 0) close(stdin_fd_);
        stdin_fd_ = -1;
    }

    void terminate() { kill(pid_, SIGTERM); }

    // The exit code once the process has closed its output and ended; nullopt on time-out,
    // -1 when it did not exit normally.
    std::optional<int> wait_exit() {
        const auto deadline = Clock::now() + kTimeout;
        while (read_some(deadline)) {
        }
        if (Clock::now() >= deadline) return std::nullopt;
        int status = 0;
        if (waitpid(pid_, &status, 0) != pid_) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    bool read_some(Clock::time_point deadline) {
        pollfd p{stdout_fd_, POLLIN, 0};
        if (poll(&p, 1, remaining_ms(deadline)) <= 0) return false;
        char buffer[256];
        const ssize_t n = read(stdout_fd_, buffer, sizeof buffer);
        if (n <= 0) return false;
        buffered_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }

    pid_t pid_ = -1;
    int stdin_fd_ = -1;
    int stdout_fd_ = -1;
    std::string buffered_;
};

// Value after "<word> " in a ready line such as "listening 40123".
std::string after(const std::optional<std::string>& line, const std::string& word) {
    if (!line || line->rfind(word + " ", 0) != 0) return {};
    return line->substr(word.size() + 1);
}

int connect_local(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool send_text(int fd, const std::string& text) {
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Everything that arrives until a piece ends in LF (an answer line), or the time-out.
std::string read_answer(int fd) {
    const auto deadline = Clock::now() + kTimeout;
    std::string answer;
    while (answer.empty() || answer.back() != '\n') {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, remaining_ms(deadline)) <= 0) break;
        char buffer[1024];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
}

std::string round_trip(int fd, const std::string& command) {
    if (!send_text(fd, command)) return "(send failed)";
    return read_answer(fd);
}

std::string temp_dir() {
    std::string pattern = testing::TempDir() + "tqv-sim-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    return made != nullptr ? std::string(made) : std::string();
}

TEST(SimExecutable, ListensOnTcpAnswersBroadcastAndLogsEveryLine) {
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string log_path = dir + "/sim.log";
    SimProcess sim({"--listen", "0", "--address", "05", "--log", log_path});
    ASSERT_TRUE(sim.started());
    const std::string port = after(sim.read_line(), "listening");
    ASSERT_FALSE(port.empty());

    const int client = connect_local(std::stoi(port));
    ASSERT_GE(client, 0);
    EXPECT_EQ(round_trip(client, "05RCEL\r\n"), "05CEL1\r\n");
    EXPECT_EQ(round_trip(client, "FFCWL2\r\n"), "05GO\r\n");
    // A line far beyond any command is cut, refused, and the next line is served normally.
    EXPECT_EQ(round_trip(client, "05" + std::string(2000, 'A') + "\r\n"), "05E3\r\n");
    // Every connection talks to the same device.
    const int second = connect_local(std::stoi(port));
    ASSERT_GE(second, 0);
    EXPECT_EQ(round_trip(second, "05RCWL\r\n"), "05CWL2\r\n");
    close(second);
    EXPECT_EQ(round_trip(client, "RVN\r\n"), "VN0.00\r\n");
    close(client);

    sim.close_stdin();  // end of input stops it
    EXPECT_EQ(sim.wait_exit(), 0);
    std::ifstream log(log_path);
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find(" client 1 < 05RCEL\\r\\n\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" client 1 > 05CEL1\\r\\n\n"), std::string::npos) << text.str();
    EXPECT_NE(text.str().find(" client 2 > 05CWL2\\r\\n\n"), std::string::npos) << text.str();
    unlink(log_path.c_str());
    rmdir(dir.c_str());
}

TEST(SimExecutable, SerialPseudoTerminalKeepsServingAfterTheFarSideCloses) {
    const std::string dir = temp_dir();
    ASSERT_FALSE(dir.empty());
    const std::string link = dir + "/tty";
    SimProcess sim({"--serial", "--link", link});
    ASSERT_TRUE(sim.started());
    const std::string path = after(sim.read_line(), "serial");
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    char target[256] = {};
    ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), path);

    int tty = open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    // The broadcast is carried out without an answer: the next answer already shows it.
    EXPECT_EQ(round_trip(tty, "FFCEL2\r\n00RCEL\r\n"), "00CEL2\r\n");
    EXPECT_EQ(round_trip(tty, "SA09\r\n"), "GO\r\n");
    close(tty);

    tty = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    EXPECT_EQ(round_trip(tty, "09RCEL\r\n"), "09CEL2\r\n");
    close(tty);

    sim.terminate();
    EXPECT_EQ(sim.wait_exit(), 0);
    struct stat st {};
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "the link outlived the simulator";
    rmdir(dir.c_str());
}

TEST(SimExecutable, WireModeTakesTheTimeOfA9600BaudLine) {
    SimProcess sim({"--serial", "--wire"});
    ASSERT_TRUE(sim.started());
    const std::string path = after(sim.read_line(), "serial");
    ASSERT_FALSE(path.empty());
    const int tty = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(tty, 0);
    const auto start = Clock::now();
    EXPECT_EQ(round_trip(tty, "00RCEL\r\n"), "00CEL1\r\n");
    // 8 bytes in and 8 bytes out at 11 bits each: at least 16 x 1.146 ms.
    EXPECT_GE(Clock::now() - start, 18ms);
    close(tty);
}

TEST(SimExecutable, DevicesConnectToTheServerRoleAndLeave) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 8), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string target = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    SimProcess sim({"--connect", target, "--count", "3", "--address", "02"});
    ASSERT_TRUE(sim.started());
    std::vector<int> devices;
    const auto deadline = Clock::now() + kTimeout;
    while (devices.size() < 3) {
        pollfd p{listener, POLLIN, 0};
        ASSERT_GT(poll(&p, 1, remaining_ms(deadline)), 0) << "only " << devices.size();
        devices.push_back(accept4(listener, nullptr, nullptr, SOCK_CLOEXEC));
        ASSERT_GE(devices.back(), 0);
    }
    EXPECT_EQ(sim.read_line(), "connected 3");

    // Each connection is a device of its own.
    EXPECT_EQ(round_trip(devices[0], "02CEL3\r\n"), "02GO\r\n");
    EXPECT_EQ(round_trip(devices[1], "02RCEL\r\n"), "02CEL1\r\n");
    EXPECT_EQ(round_trip(devices[2], "02RP01T\r\n"), "02P01T01\r\n");
    EXPECT_EQ(round_trip(devices[0], "02RCEL\r\n"), "02CEL3\r\n");

    close(devices[1]);
    EXPECT_EQ(after(sim.read_line(), "disconnected").size(), 1u);
    close(devices[0]);
    close(devices[2]);
    EXPECT_EQ(sim.wait_exit(), 0);  // the last device gone, nothing is left to simulate
    close(listener);
}

TEST(SimExecutable, FaultSwitchesDelaySplitAndForceTheAnswer) {
    SimProcess sim({"--listen", "0", "--error", "E2", "--split", "--delay", "150"});
    ASSERT_TRUE(sim.started());
    const std::string port = after(sim.read_line(), "listening");
    ASSERT_FALSE(port.empty());
    const int client = connect_local(std::stoi(port));
    ASSERT_GE(client, 0);
    const auto start = Clock::now();
    ASSERT_TRUE(send_text(client, "00CWL3\r\n"));
    // The first piece comes after the delay, the line is complete one gap later.
    std::string first;
    char buffer[64];
    pollfd p{client, POLLIN, 0};
    ASSERT_GT(poll(&p, 1, remaining_ms(start + kTimeout)), 0);
    const ssize_t n = read(client, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    first.assign(buffer, static_cast<std::size_t>(n));
    EXPECT_GE(Clock::now() - start, 150ms);
    std::string answer = first;
    if (answer.back() != '\n') answer += read_answer(client);
    EXPECT_EQ(answer, "00E2\r\n");
    EXPECT_GE(Clock::now() - start, 200ms);
    close(client);
}

TEST(SimExecutable, RefusesContradictoryArguments) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--listen", "0", "--serial"},
             {"--listen", "0", "--count", "3"},
             {"--serial", "--address", "32"},
             {"--listen", "0", "--error", "E4"},
             {"--connect", "localhost"},
         }) {
        SimProcess sim(args);
        ASSERT_TRUE(sim.started());
        EXPECT_EQ(sim.wait_exit(), 2) << testing::PrintToString(args);
    }
}

}  // namespace
