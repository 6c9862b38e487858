// Records the line settings handed to the tty driver. A pseudo-terminal keeps most of them,
// but it forces 8 data bits without parity, so the parity that a real UART would get is
// only visible here.
#pragma once

#include <termios.h>

#include <optional>

namespace tqv::test {

// The termios last passed to tcsetattr() for `fd`, if any.
std::optional<termios> last_settings(int fd);

}  // namespace tqv::test
