#include "termios_probe.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

namespace {

std::mutex probe_mutex;
std::map<int, termios>& settings() {
    static std::map<int, termios> by_fd;
    return by_fd;
}

}  // namespace

namespace tqv::test {

std::optional<termios> last_settings(int fd) {
    std::lock_guard lock(probe_mutex);
    auto it = settings().find(fd);
    if (it == settings().end()) return std::nullopt;
    return it->second;
}

}  // namespace tqv::test

// Overrides the C library's tcsetattr() for this executable and the Qt libraries it
// loads, then passes the call on.
extern "C" int tcsetattr(int fd, int action, const termios* tio) {
    using Real = int (*)(int, int, const termios*);
    static const Real real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "tcsetattr"));
    if (tio != nullptr) {
        std::lock_guard lock(probe_mutex);
        settings()[fd] = *tio;
    }
    return real(fd, action, tio);
}
