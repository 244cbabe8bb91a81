#include "image/PrefetchOrder.h"

namespace {

// a modulo n in [0, n), in 64 bits so that current + offset cannot overflow.
int32_t Wrap(int64_t a, int32_t n) {
    const int64_t r = a % n;
    return static_cast<int32_t>(r < 0 ? r + n : r);
}

}  // namespace

int32_t PrefetchVisitIndex(int32_t current, int32_t count, int32_t visit) {
    if (count <= 0) return 0;
    if (visit <= kLookAhead) return Wrap(int64_t{current} + visit, count);
    const int32_t back = visit - (kLookAhead + 1);
    return Wrap(int64_t{current} - back, count);
}

bool InPrefetchWindow(int32_t index, int32_t current, int32_t count) {
    if (count <= 0) return false;
    const int32_t ahead = Wrap(int64_t{index} - current, count);  // steps RIGHT from current
    return ahead <= kLookAhead || count - ahead <= kLookBehind;
}

int32_t FirstOutsideWindow(int32_t current, int32_t count) {
    if (count <= 0) return 0;
    return Wrap(int64_t{current} + kLookAhead + 1, count);
}

int32_t OutsideWindowCount(int32_t count) {
    constexpr int32_t kWindowSlots = kLookAhead + 1 + kLookBehind;
    return count > kWindowSlots ? count - kWindowSlots : 0;
}
