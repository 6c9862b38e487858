#include "dialogs/app_context.h"

#include <cstdint>

namespace tqv {

bool CornerClicks::click(int screen_x, int screen_y) {
    // The position travels as two 16-bit halves, so a click on a screen left of or above
    // the primary one (negative coordinates) counts as a corner click too.
    const auto x = static_cast<std::int16_t>(screen_x);
    const auto y = static_cast<std::int16_t>(screen_y);
    if (x >= kCorner || y >= kCorner) {
        count_ = 0;
        return false;
    }
    if (++count_ < kClicks) return false;
    count_ = 0;
    return true;
}

}  // namespace tqv
