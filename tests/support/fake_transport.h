// A transport that records frames, for tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/transport.h"

namespace tqv {

class FakeTransport : public Transport {
public:
    bool write(std::string_view frame) override {
        frames.emplace_back(frame);
        if (on_write) on_write(frame);
        return write_ok;
    }
    bool link_up() const override { return up; }

    std::vector<std::string> frames;
    bool write_ok = true;
    bool up = true;
    // A device that answers at once (serial tests only: the send path expects the answer
    // after the frame is written).
    std::function<void(std::string_view frame)> on_write;
};

}  // namespace tqv
