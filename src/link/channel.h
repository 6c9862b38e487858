// One device's link state as a command sees it: the record its answers update, the send
// path its commands go through (line buffer, command in flight, queue, time-out), and
// whether bytes written to it are still on their way. The single device of the program is
// one channel (DeviceLink); in the server role every device can have its own (PeerChannel).
#pragma once

#include "core/model.h"
#include "core/observers.h"
#include "core/send_path.h"

namespace tqv {

// What a run driven on a channel did: begun with `total` steps, step `step` out, ended.
struct RunNews {
    enum class Kind { started, stepped, ended };
    Kind kind = Kind::started;
    int step = 0;
    int total = 0;
    RunEnd end = RunEnd::none;
};

class Channel {
  public:
    virtual ~Channel() = default;
    virtual Model& model() = 0;
    virtual SendPath& send_path() = 0;
    // Bytes written but not yet handed to the system (a serial write buffer).
    virtual bool bytes_pending() const = 0;
    // Whether a command sent now reaches the device: the port open, the connection made
    // (not lost, not being made again). The send path's link_ready() is the model's flag,
    // which stays set while a lost connection is tried again.
    virtual bool reachable() const { return true; }

    // Every run on this channel, whoever drives it, as its driver announces it (so a panel
    // sees a dialog's run as well as its own).
    Observers<const RunNews&> run_news;
};

}  // namespace tqv
