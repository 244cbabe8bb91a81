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

uint64_t SettleWaitMs(uint64_t now, uint64_t movedAt) {
    if (movedAt == 0) return 0;
    if (now < movedAt) return kSettleMs;
    return now - movedAt >= kSettleMs ? 0 : kSettleMs - (now - movedAt);
}

uint64_t LastMoveMs(SeenIndex& seen, int32_t current, uint64_t now, uint64_t movedAt) {
    if (seen.index >= 0 && seen.index != current) seen.changedAt = now;
    seen.index = current;
    return seen.changedAt > movedAt ? seen.changedAt : movedAt;
}

bool FollowCurrentIndex(PrefetchPass& pass, int32_t current) {
    if (pass.centre == current) return false;
    pass.centre = current;
    pass.visit = 0;
    return true;
}

namespace {

// Orders two decodes by how much they matter to the picture on screen: the
// nearer first, at equal distances the one ahead (RIGHT reaches it first),
// then the lower index. Smaller matters more.
struct Urgency {
    int32_t distance;
    bool behind;
    int32_t index;
    bool operator<(const Urgency& o) const {
        if (distance != o.distance) return distance < o.distance;
        if (behind != o.behind) return !behind;
        return index < o.index;
    }
};

Urgency UrgencyOf(int32_t index, int32_t current, int32_t count) {
    const int32_t ahead = Wrap(int64_t{index} - current, count);
    const int32_t back = count - ahead;
    return ahead <= back ? Urgency{ahead, false, index} : Urgency{back, true, index};
}

}  // namespace

bool DecodeStillWanted(int32_t decoding, int32_t other, int32_t current, int32_t count,
                       bool landingWaits, bool landingDecoder) {
    if (count <= 0) return false;
    if (decoding == current) return true;
    if (!InPrefetchWindow(decoding, current, count)) return false;
    if (!landingWaits) return true;
    if (landingDecoder) return false;
    if (other < 0 || other == current) return true;
    return UrgencyOf(decoding, current, count) < UrgencyOf(other, current, count);
}
