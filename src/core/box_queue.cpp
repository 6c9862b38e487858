#include "box_queue.h"

#include <algorithm>

namespace tqv {

void BoxQueue::box(Box kind, std::string_view text, std::string_view caption) {
    if (held_ > 0 || showing_) {
        waiting_.push_back({kind, std::string(text), std::string(caption)});
        return;
    }
    inner_.box(kind, text, caption);
}

void BoxQueue::withdraw(std::string_view text) {
    std::erase_if(waiting_, [&](const Waiting& w) { return w.text == text; });
    inner_.withdraw(text);
}

void BoxQueue::answers_end() {
    if (held_ > 0) --held_;
    // A dispatch inside a box being shown leaves its boxes to the loop below.
    if (held_ > 0 || showing_) return;
    showing_ = true;
    while (!waiting_.empty()) {
        const Waiting w = std::move(waiting_.front());
        waiting_.pop_front();
        inner_.box(w.kind, w.text, w.caption);
    }
    showing_ = false;
}

}  // namespace tqv
