#pragma once
// The order in which the prefetch thread visits the image ring, and the window
// of slots it keeps decoded. Pure: standard library only.
#include <cstdint>

constexpr int32_t kLookAhead = 10;   // images decoded ahead of the current one
constexpr int32_t kLookBehind = 10;  // images decoded behind it
// One pass: offsets 0..10 forward, then 0..10 backward (the current image twice).
constexpr int32_t kVisitsPerPass = (kLookAhead + 1) + (kLookBehind + 1);

// The slot of the visit'th step (0 <= visit < kVisitsPerPass) of a pass around
// `current` in a ring of `count` slots (count >= 1, 0 <= current < count):
// steps 0..10 give current, current+1, ..., current+10 and steps 11..21 give
// current, current-1, ..., current-10, all counted around the ring.
int32_t PrefetchVisitIndex(int32_t current, int32_t count, int32_t visit);

// True when `index` lies within kLookAhead after or kLookBehind before
// `current` around the ring: the 21-slot window a pass keeps filled (every
// slot, when the ring has 21 or fewer).
bool InPrefetchWindow(int32_t index, int32_t current, int32_t count);

// The slots outside that window, as one run around the ring: OutsideWindowCount
// slots starting at FirstOutsideWindow (current + 11) and counting up, wrapping
// from count - 1 to 0. The count is 0 when the ring has 21 slots or fewer.
int32_t FirstOutsideWindow(int32_t current, int32_t count);
int32_t OutsideWindowCount(int32_t count);
