#pragma once
// The timing rules of an animated GIF. Pure: no Windows types.
//
// A frame's delay is read from the file in hundredths of a second and stored
// in milliseconds; when a tick arms the next one it turns the stored value of
// the frame now current into a wait with a 30 ms floor. A tick repaints the
// current frame first and steps afterwards, so each frame stays on screen for
// the wait of the frame that follows it.
#include <cstddef>
#include <cstdint>

// The shortest wait between two ticks, and the wait of the first tick after
// the mode starts.
constexpr uint32_t kGifMinWaitMs = 30;
// Stored for a GIF delay of 0, which many files use to mean "as fast as the
// viewer likes"; playing those at the floor would race through them.
constexpr uint32_t kGifZeroDelayMs = 100;
// Stored for a frame whose delay cannot be read. Storing a value (rather than
// skipping the frame) keeps every later frame's delay on its own index; it is
// the same wait that a missing entry gives.
constexpr uint32_t kGifUnreadableDelayMs = kGifMinWaitMs;

// The stored value for a delay of `hundredths` read from the file:
// hundredths x 10, and 100 for 0. Never overflows (at most 655350).
uint32_t StoredGifDelay(uint16_t hundredths);

// The wait before the tick after the frame at `index` became current: the
// stored value, raised to 30 ms; 30 ms when `index` has no stored value
// (`count` is the number of stored values, `delays` may be null when it is 0).
uint32_t GifWaitForFrame(const uint32_t* delays, size_t count, uint32_t index);

// What one tick does after its repaint: the next frame index (wrapping to 0,
// and 0 when there are no frames) and the wait for that frame.
struct GifStep {
    uint32_t index = 0;
    uint32_t waitMs = kGifMinWaitMs;
};
GifStep NextGifStep(uint32_t index, uint32_t frameCount, const uint32_t* delays, size_t delayCount);

// The length of one whole cycle of the animation: the waits of all frames.
// With no frames the ticks still run at the floor, so a cycle is one floor.
uint64_t GifCycleMs(const uint32_t* delays, size_t delayCount, uint32_t frameCount);

// The schedule of the ticks. Each tick is due at the time it was planned for,
// not when its timer fired or its repaint ended, and plans the next one from
// that: next due = due + the new frame's wait, so paint and timer lateness do
// not add up over the frames. Times are microseconds on one steady clock.
//   - On time: the next tick is armed for the time left until it is due
//     (rounded to the nearest millisecond).
//   - Late (less than a millisecond left, or past due): the next tick comes at
//     once (the shortest timer delay, 1 ms); no frame is skipped, and the
//     schedule catches up over the following frames.
//   - More than one whole cycle behind the next due time: the schedule starts
//     again from `now` (next due = now + wait) instead of rushing through
//     the frames it missed.
struct GifTickPlan {
    int64_t nextDueUs = 0;
    uint32_t armMs = 1;
};
constexpr uint32_t kGifAtOnceMs = 1;
GifTickPlan PlanNextGifTick(int64_t dueUs, int64_t nowUs, uint32_t waitMs, uint64_t cycleMs);
