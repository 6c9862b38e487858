#include "cli/console.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace tqv::cli {

namespace {
constexpr int kBarWidth = 40;
}

bool Console::stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

void Console::erase_bar() {
    if (!bar_shown_) return;
    std::fputs("\r\033[K", stderr);
    bar_shown_ = false;
}

void Console::message(std::string_view text) {
    erase_bar();
    // One write a line: stderr is unbuffered, and serve says a line for every request.
    std::string line(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void Console::report(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void Console::progress(double fraction, std::string_view label) {
    if (!progress_enabled_) return;
    const int filled = std::clamp(static_cast<int>(fraction * kBarWidth + 0.5), 0, kBarWidth);
    std::string line = "\r[";
    line.append(static_cast<std::size_t>(filled), '#');
    line.append(static_cast<std::size_t>(kBarWidth - filled), '.');
    line += "] ";
    line += label;
    line += "\033[K";
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    bar_shown_ = true;
}

void Console::end_progress() {
    erase_bar();
    std::fflush(stderr);
}

}  // namespace tqv::cli
