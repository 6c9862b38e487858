// Collects received bytes into answer lines. Every complete line (ending in LF) is handed
// out on its own, also when two answers arrive in one read; a partial line waits for the
// rest. A line that grows beyond the 600-byte buffer (or the capacity given) is dropped
// whole, never overflowing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tqv {

class LineAssembler {
public:
    static constexpr std::size_t kCapacity = 600;  // the device protocol's line buffer
    // Lines of up to capacity - 1 bytes, line end included, are handed out.
    LineAssembler() = default;
    explicit LineAssembler(std::size_t capacity) : capacity_(capacity) {}

    // Appends bytes; returns the lines completed by them, each with its CR LF.
    std::vector<std::string> feed(std::string_view bytes);
    void clear();
    bool incomplete() const { return !buffer_.empty() || overflowed_; }
    std::size_t pending_bytes() const { return buffer_.size(); }
    // Lines dropped for their length so far.
    std::size_t dropped() const { return dropped_; }

private:
    std::size_t capacity_ = kCapacity;
    std::size_t dropped_ = 0;
    std::string buffer_;
    bool overflowed_ = false;  // dropping until the next LF
};

}  // namespace tqv
