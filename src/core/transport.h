// What the core needs of a link: write a frame, and whether the link is up. The serial
// port, the TCP sockets, test doubles and the command-line tool all plug in here; a
// transport knows nothing of command letters.
#pragma once

#include <string_view>

namespace tqv {

class Transport {
public:
    virtual ~Transport() = default;
    // Writes one framed command. False when the write failed at once.
    virtual bool write(std::string_view frame) = 0;
    // True when there is somewhere to write to (TCP: a connection to the chosen device).
    virtual bool link_up() const = 0;
};

}  // namespace tqv
