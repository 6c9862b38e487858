#include "atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace tqv {

namespace {

// Closes a descriptor on every way out of a function.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    // Closes now and reports whether the close succeeded (a delayed write error shows here).
    bool close() {
        int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

bool write_all(int fd, std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string directory_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a save really replaces: a symbolic link is followed, so that saving through a
// link updates the file it points to instead of replacing the link.
std::string replace_target(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (resolved != nullptr) {
            std::string target(resolved);
            std::free(resolved);
            return target;
        }
    }
    return path;
}

std::string base_name(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "NAME.tmp-PID-N" of a save of NAME by process PID; 0 for any other name.
pid_t temporary_owner(const std::string& entry, const std::string& prefix) {
    if (entry.compare(0, prefix.size(), prefix) != 0) return 0;
    auto digits = [](const char* p) { return *p >= '0' && *p <= '9'; };  // no sign, no blank
    const char* p = entry.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    long pid = digits(p) ? std::strtol(p, &end, 10) : 0;
    if (errno != 0 || pid <= 0 || pid > INT_MAX || *end != '-' || !digits(end + 1)) return 0;
    std::strtoul(end + 1, &end, 10);
    if (*end != '\0') return 0;
    return static_cast<pid_t>(pid);
}

// A save that was killed leaves its temporary file behind; the next save of the same
// target removes those whose process has gone.
void remove_stale_temporaries(const std::string& target) {
    DIR* dir = ::opendir(directory_of(target).c_str());
    if (dir == nullptr) return;
    const std::string prefix = base_name(target) + ".tmp-";
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(dir)) {
        pid_t owner = temporary_owner(e->d_name, prefix);
        if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) stale.emplace_back(e->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : stale) ::unlink((directory_of(target) + "/" + name).c_str());
}

}  // namespace

std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes) {
    // Without O_NONBLOCK, opening a FIFO waits for a writer; O_NOCTTY keeps a terminal from
    // becoming ours. Either is refused right after by the regular-file test.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    if (st.st_size < 0 || static_cast<std::uintmax_t>(st.st_size) > max_bytes) return std::nullopt;
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (n == 0) break;
        bytes.append(buffer, static_cast<std::size_t>(n));
        // A file that grows while it is read is held to the same bound.
        if (bytes.size() > max_bytes) return std::nullopt;
    }
    return bytes;
}

bool write_file_atomically(const std::string& path, std::string_view bytes) {
    if (path.empty()) return false;
    const std::string target = replace_target(path);

    // A directory (or anything else that is not a regular file) is never replaced.
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && !S_ISREG(old.st_mode)) return false;

    remove_stale_temporaries(target);

    // The temporary file lies beside the target so that the rename stays on one file
    // system. A new file gets 0666 less the umask, as any new file; a replacement is created
    // with the old file's permission bits (the umask can only narrow them), so a private
    // file is never readable by others while it is written.
    const mode_t create_mode = exists ? (old.st_mode & 0777) : 0666;
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = target + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, create_mode);
        if (raw < 0 && errno != EEXIST) return false;
    }
    if (raw < 0) return false;
    Fd fd(raw);

    bool ok = write_all(fd.get(), bytes);
    // Run as root (sudo), a save would otherwise give the user's file to root. Only a
    // privileged process may change the owner; for anyone else this changes nothing or
    // fails harmlessly, and the file stays theirs. Before the mode: a change of owner
    // clears the set-id bits.
    if (ok && exists && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        [[maybe_unused]] const int kept = ::fchown(fd.get(), old.st_uid, old.st_gid);
    // An existing file keeps its permission bits, also those the umask took away.
    if (ok && exists) ok = ::fchmod(fd.get(), old.st_mode & 07777) == 0;
    if (ok) ok = ::fsync(fd.get()) == 0;
    if (!fd.close()) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }

    // Make the rename itself durable; the new file is in place even if this fails.
    Fd dir(::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
    return true;
}

std::vector<std::string_view> split_lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t lf = bytes.find('\n', start);
        std::size_t end = lf == std::string_view::npos ? bytes.size() : lf;
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.push_back(line);
        if (lf == std::string_view::npos) break;
        start = lf + 1;
    }
    return lines;
}

}  // namespace tqv
