// One device's link state as a command sees it: the record its answers update, the send
// path its commands go through (line buffer, command in flight, queue, time-out), and
// whether bytes written to it are still on their way. The single device of the program is
// one channel (DeviceLink); in the server role every device can have its own (PeerChannel).
#pragma once

#include "core/model.h"
#include "core/send_path.h"

namespace tqv {

class Channel {
  public:
    virtual ~Channel() = default;
    virtual Model& model() = 0;
    virtual SendPath& send_path() = 0;
    // Bytes written but not yet handed to the system (a serial write buffer).
    virtual bool bytes_pending() const = 0;
};

}  // namespace tqv
