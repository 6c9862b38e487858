#include "line_assembler.h"

namespace tqv {

std::vector<std::string> LineAssembler::feed(std::string_view bytes) {
    std::vector<std::string> lines;
    for (char c : bytes) {
        if (overflowed_) {
            if (c == '\n') overflowed_ = false;
            continue;
        }
        // One byte of the buffer stays for the NUL the line had on the device's side.
        if (buffer_.size() + 1 >= capacity_) {
            buffer_.clear();
            ++dropped_;
            overflowed_ = (c != '\n');
            continue;
        }
        buffer_.push_back(c);
        if (c == '\n') {
            lines.push_back(std::move(buffer_));
            buffer_.clear();
        }
    }
    return lines;
}

void LineAssembler::clear() {
    buffer_.clear();
    overflowed_ = false;
}

}  // namespace tqv
