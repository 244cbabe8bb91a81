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

// ---- The picture on screen first ----

// Steps can come faster than pictures decode (an arrow key held down repeats
// about every 33 ms; quick taps are not much slower): no pass starts a decode
// until the index has stayed put this long, so that the neighbours' decodes do
// not take the machine from the picture the user lands on. (The decoder kept
// for the picture on screen starts at once: it lets go of a picture as soon as
// the user steps on.)
constexpr uint64_t kSettleMs = 90;

// Milliseconds a decoder still waits at `now` before it starts a decode, the
// index having last moved at `movedAt` (both in milliseconds of one clock;
// movedAt 0: it never moved). A movedAt after `now` (read in the other
// order) counts as just moved.
uint64_t SettleWaitMs(uint64_t now, uint64_t movedAt);

// What one decoder has seen of the index while it waited for work: the index
// (-1: nothing yet, or not since its last decode) and when it saw it change.
struct SeenIndex {
    int32_t index = -1;
    uint64_t changedAt = 0;
};

// When the index last moved, as the settle counts it: the later of the UI's
// own record (movedAt) and the moment this decoder saw the index change.
// The UI stores a new index before it records the move (it records it when
// the picture is painted, after the control bar), so a decoder whose wait
// ends in between would see a picture passed on the way with the previous
// step's time and start on it; a decode, once begun, cannot always be stopped.
// Only a change seen while watching counts (not the first index seen, nor the
// first after a decode). Updates `seen`.
uint64_t LastMoveMs(SeenIndex& seen, int32_t current, uint64_t now, uint64_t movedAt);

// One decoder's way through a pass: the index the pass is around (-1 before
// the first) and its next visit.
struct PrefetchPass {
    int32_t centre = -1;
    int32_t visit = 0;
};

// Starts `pass` again around `current` when the index has moved since it
// began: the visits left for the old neighbourhood are dropped, and the next
// one is the picture on screen, then forward, then back, as in any pass.
// Returns whether it started again.
bool FollowCurrentIndex(PrefetchPass& pass, int32_t current);

// Whether a decode running for `decoding` is still worth finishing when
// `current` is on screen (both in a ring of `count`): never once its picture
// has left the window. And when `landingWaits` (the picture on screen has no
// bitmap and no decoder has taken it up since it became current) while the
// other decoder is busy too (`other`, -1 when idle), the decode of the two
// that lies further from `current` gives way to it; at equal distances the
// one behind, then the higher index. The picture on screen itself is always
// finished. The decoder kept for the picture on screen (`landingDecoder`)
// gives way whenever that picture waits, whatever the other does: it is free
// again for the picture the user stepped to.
bool DecodeStillWanted(int32_t decoding, int32_t other, int32_t current, int32_t count,
                       bool landingWaits, bool landingDecoder = false);
