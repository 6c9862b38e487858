// Everything the core asks of the operating system, for POSIX systems and for Windows: the
// file functions of atomic_file.h and those of platform.h. No other file of the core
// includes a system header, so the rest of it builds unchanged for either.
#include "platform.h"

#include "atomic_file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <iconv.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace tqv {

namespace {

#ifdef _WIN32
constexpr std::string_view kSeparators = "/\\";
#else
constexpr std::string_view kSeparators = "/";
#endif

std::string directory_of(const std::string& path) {
    auto slash = path.find_last_of(kSeparators);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

std::string base_name(const std::string& path) {
    auto slash = path.find_last_of(kSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "NAME.tmp-PID-N" of a save of NAME by process PID; 0 for any other name.
long temporary_owner(const std::string& entry, const std::string& prefix) {
    if (entry.compare(0, prefix.size(), prefix) != 0) return 0;
    auto digits = [](const char* p) { return *p >= '0' && *p <= '9'; };  // no sign, no blank
    const char* p = entry.c_str() + prefix.size();
    char* end = nullptr;
    errno = 0;
    long pid = digits(p) ? std::strtol(p, &end, 10) : 0;
    if (errno != 0 || pid <= 0 || pid > INT_MAX || *end != '-' || !digits(end + 1)) return 0;
    std::strtoul(end + 1, &end, 10);
    if (*end != '\0') return 0;
    return pid;
}

std::string temporary_name(const std::string& target, long pid) {
    static std::atomic<unsigned> counter{0};
    return target + ".tmp-" + std::to_string(pid) + "-" + std::to_string(counter++);
}

bool process_gone(long pid);  // each system's own

// A save that was killed leaves its temporary file behind; the next save of the same
// target removes those whose process has gone.
void remove_stale_temporaries(const std::string& target) {
    const std::string directory = directory_of(target), prefix = base_name(target) + ".tmp-";
    std::error_code ec;
    std::vector<std::filesystem::path> stale;
    for (std::filesystem::directory_iterator it(std::u8string(directory.begin(), directory.end()), ec), end;
         !ec && it != end; it.increment(ec)) {
        const std::u8string name = it->path().filename().u8string();
        const long owner = temporary_owner(std::string(name.begin(), name.end()), prefix);
        if (owner > 0 && process_gone(owner)) stale.push_back(it->path());
    }
    for (const std::filesystem::path& path : stale) std::filesystem::remove(path, ec);
}

}  // namespace

#ifdef _WIN32

namespace {

// Closes a handle on every way out of a function.
class Handle {
public:
    explicit Handle(HANDLE h) : h_(h) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    bool close() {
        HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return h == INVALID_HANDLE_VALUE || h == nullptr || CloseHandle(h);
    }

private:
    HANDLE h_;
};

// Text in a code page (CP_UTF8 or 932) to UTF-16; false for bytes the code page lacks.
bool to_wide(UINT code_page, std::string_view in, std::wstring& w) {
    w.clear();
    if (in.empty()) return true;
    if (in.size() > INT_MAX) return false;
    const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
    if (n <= 0) return false;
    w.resize(std::size_t(n));
    MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), w.data(), n);
    return true;
}

// A UTF-8 path as every wide function takes it; empty for text that is no UTF-8 or that
// holds a NUL, which then names nothing and fails the call it is given to.
std::wstring wide(std::string_view utf8) {
    std::wstring w;
    if (utf8.find('\0') != std::string_view::npos || !to_wide(CP_UTF8, utf8, w)) return {};
    return w;
}

bool append_from_wide(std::wstring_view w, UINT code_page, DWORD flags, std::string& out) {
    if (w.empty()) return true;
    BOOL defaulted = FALSE;
    // The default-character report is refused for UTF-8 and given for code page 932.
    BOOL* used = code_page == CP_UTF8 ? nullptr : &defaulted;
    const int n = WideCharToMultiByte(code_page, flags, w.data(), int(w.size()), nullptr, 0, nullptr, used);
    if (n <= 0 || defaulted) return false;
    const std::size_t mark = out.size();
    out.resize(mark + std::size_t(n));
    WideCharToMultiByte(code_page, flags, w.data(), int(w.size()), out.data() + mark, n, nullptr, used);
    return true;
}

std::string narrow(std::wstring_view w) {
    std::string out;
    return append_from_wide(w, CP_UTF8, 0, out) ? out : std::string();
}

// The file a save really replaces: a symbolic link is followed, so that saving through a
// link updates the file it points to instead of replacing the link.
std::string replace_target(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return path;
    Handle h(CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h.valid()) return path;
    wchar_t buffer[32768];
    const DWORD n = GetFinalPathNameByHandleW(h.get(), buffer, DWORD(std::size(buffer)), FILE_NAME_NORMALIZED);
    if (n == 0 || n >= std::size(buffer)) return path;
    const std::string target = narrow(std::wstring_view(buffer, n));
    return target.empty() ? path : target;
}

bool process_gone(long pid) {
    HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (h == nullptr) return GetLastError() == ERROR_INVALID_PARAMETER;
    DWORD code = 0;
    const bool gone = GetExitCodeProcess(h, &code) && code != STILL_ACTIVE;
    CloseHandle(h);
    return gone;
}

bool write_all(HANDLE h, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = DWORD(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

std::optional<std::string> read_whole_file(const std::string& path, std::size_t max_bytes) {
    // Others may go on reading, writing, renaming or deleting the file while it is read.
    Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return std::nullopt;
    // A device ("COM1", "NUL", "CON") or a pipe is refused before anything is read.
    if (GetFileType(h.get()) != FILE_TYPE_DISK) return std::nullopt;
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.get(), &size) || size.QuadPart < 0 || std::uintmax_t(size.QuadPart) > max_bytes)
        return std::nullopt;
    std::string bytes;
    bytes.reserve(std::size_t(size.QuadPart));
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(h.get(), buffer, sizeof buffer, &n, nullptr)) return std::nullopt;
        if (n == 0) break;
        bytes.append(buffer, n);
        // A file that grows while it is read is held to the same bound.
        if (bytes.size() > max_bytes) return std::nullopt;
    }
    return bytes;
}

bool write_file_atomically(const std::string& path, std::string_view bytes) {
    if (wide(path).empty()) return false;
    const std::string target = replace_target(path);

    WIN32_FILE_ATTRIBUTE_DATA old{};
    const bool exists = GetFileAttributesExW(wide(target).c_str(), GetFileExInfoStandard, &old);
    if (exists && (old.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DEVICE)))
        return false;

    remove_stale_temporaries(target);

    // Written through the cache, so that what the rename puts in place is on the disk.
    std::string temp;
    HANDLE raw = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && raw == INVALID_HANDLE_VALUE; ++attempt) {
        temp = temporary_name(target, long(GetCurrentProcessId()));
        raw = CreateFileW(wide(temp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
        if (raw == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
    }
    if (raw == INVALID_HANDLE_VALUE) return false;
    Handle file(raw);
    bool ok = write_all(file.get(), bytes) && FlushFileBuffers(file.get());
    if (!file.close()) ok = false;

    const std::wstring from = wide(temp), to = wide(target);
    if (ok && exists) {
        // ReplaceFileW keeps what the old file carried besides its bytes: its access rules,
        // attributes and creation time, as the owner is kept on POSIX systems.
        if (!ReplaceFileW(to.c_str(), from.c_str(), nullptr,
                          REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr, nullptr)) {
            // The old file is gone and the new one still has its temporary name: the only
            // copy of what was saved, which is put in place or, failing that, kept.
            if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT)
                return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
            ok = false;
        }
    } else if (ok) {
        ok = MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    }
    if (!ok) DeleteFileW(from.c_str());
    return ok;
}

bool path_exists(const std::string& path) {
    return GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace platform {

bool cp932_to_utf8(std::string_view in, std::string& out) {
    std::wstring w;
    return to_wide(932, in, w) && append_from_wide(w, CP_UTF8, 0, out);
}

bool utf8_to_cp932(std::string_view in, std::string& out) {
    std::wstring w;
    // Without best fit, a character code page 932 lacks is refused, not replaced by a look-alike.
    return to_wide(CP_UTF8, in, w) && append_from_wide(w, 932, WC_NO_BEST_FIT_CHARS, out);
}

std::tm local_time(std::time_t seconds) {
    std::tm local{};
    localtime_s(&local, &seconds);
    return local;
}

}  // namespace platform

#else  // POSIX

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

bool process_gone(long pid) { return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH; }

// One iconv descriptor per thread and direction, opened on first use.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    bool convert(std::string_view in, std::string& out) {
        if (!ok()) return false;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // initial shift state
        const std::size_t mark = out.size();
        char* src = const_cast<char*>(in.data());
        std::size_t src_left = in.size();
        char buffer[256];
        while (src_left > 0) {
            char* dst = buffer;
            std::size_t dst_left = sizeof buffer;
            std::size_t r = iconv(cd_, &src, &src_left, &dst, &dst_left);
            out.append(buffer, static_cast<std::size_t>(dst - buffer));
            if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
                out.resize(mark);
                return false;
            }
        }
        char* dst = buffer;
        std::size_t dst_left = sizeof buffer;
        iconv(cd_, nullptr, nullptr, &dst, &dst_left);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        return true;
    }

private:
    iconv_t cd_;
};

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

    // A directory (or anything else that is not a regular file) is never replaced, nor a
    // file that nobody may write: it was made read-only to keep it as it is.
    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists && (!S_ISREG(old.st_mode) || (old.st_mode & 0222) == 0)) return false;

    remove_stale_temporaries(target);

    // The temporary file lies beside the target so that the rename stays on one file
    // system. A new file gets 0666 less the umask, as any new file; a replacement is created
    // with the old file's permission bits (the umask can only narrow them), so a private
    // file is never readable by others while it is written.
    const mode_t create_mode = exists ? (old.st_mode & 0777) : 0666;
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = temporary_name(target, long(::getpid()));
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

bool path_exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

namespace platform {

bool cp932_to_utf8(std::string_view in, std::string& out) {
    thread_local Converter decoder("UTF-8", "CP932");
    return decoder.convert(in, out);
}

bool utf8_to_cp932(std::string_view in, std::string& out) {
    thread_local Converter encoder("CP932", "UTF-8");
    return encoder.convert(in, out);
}

std::tm local_time(std::time_t seconds) {
    std::tm local{};
    ::localtime_r(&seconds, &local);
    return local;
}

}  // namespace platform

#endif

}  // namespace tqv
