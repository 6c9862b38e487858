// A transport that records frames, for tests.
#pragma once

#include <string>
#include <vector>

#include "core/transport.h"

namespace tqv {

class FakeTransport : public Transport {
public:
    bool write(std::string_view frame) override {
        frames.emplace_back(frame);
        return write_ok;
    }
    bool link_up() const override { return up; }

    std::vector<std::string> frames;
    bool write_ok = true;
    bool up = true;
};

}  // namespace tqv
