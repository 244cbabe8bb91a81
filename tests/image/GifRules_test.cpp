#include "image/GifRules.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// GIF delay (hundredths) -> stored milliseconds -> wait when armed.
struct DelayCase {
    uint16_t hundredths;
    uint32_t stored;
    uint32_t wait;
};

const DelayCase kDelayCases[] = {
    {0, 100, 100},  // 0 means "no delay given": 100 ms, not the floor
    {1, 10, 30},   {2, 20, 30},   {3, 30, 30},  // at or under the floor
    {4, 40, 40},   {10, 100, 100}, {20, 200, 200}, {50, 500, 500},
    {65535, 655350, 655350},  // the largest delay a file can hold
};

TEST(GifRules, DelayStoredAndArmed) {
    for (const DelayCase& c : kDelayCases) {
        SCOPED_TRACE(testing::Message() << "delay " << c.hundredths);
        const uint32_t stored = StoredGifDelay(c.hundredths);
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(GifWaitForFrame(&stored, 1, 0), c.wait);
    }
}

TEST(GifRules, WaitWithoutAStoredValueIsTheFloor) {
    const std::vector<uint32_t> delays = {500, 200};
    const struct {
        const uint32_t* delays;
        size_t count;
        uint32_t index;
        uint32_t wait;
    } cases[] = {
        {nullptr, 0, 0, 30},        // no Graphic Control Extension anywhere
        {delays.data(), 0, 0, 30},  // empty list
        {delays.data(), 2, 1, 200},
        {delays.data(), 2, 2, 30},  // index past the end
        {delays.data(), 2, 0xFFFFFFFFu, 30},
        {delays.data(), 2, 0, 500},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " index " << c.index);
        EXPECT_EQ(GifWaitForFrame(c.delays, c.count, c.index), c.wait);
    }
}

TEST(GifRules, StepWrapsAndWaitsForTheNewFrame) {
    const std::vector<uint32_t> delays = {100, 200, 500};
    const struct {
        uint32_t index, frameCount;
        uint32_t next, wait;
    } cases[] = {
        {0, 3, 1, 200},  // the wait is the new frame's, not the painted one's
        {1, 3, 2, 500},
        {2, 3, 0, 100},  // wraps
        {0, 1, 0, 100},  // a single frame repaints itself
        {0, 0, 0, 100},  // no frames: the index stays 0
        {7, 3, 0, 100},  // an index past the end can only wrap
        {0xFFFFFFFFu, 3, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "index " << c.index << " of " << c.frameCount);
        const GifStep step = NextGifStep(c.index, c.frameCount, delays.data(), delays.size());
        EXPECT_EQ(step.index, c.next);
        EXPECT_EQ(step.waitMs, c.wait);
    }
}

// The tick chain from the mode start, paint time left aside: the first tick at
// 30 ms repaints frame 0, every later tick paints the frame the tick before it
// stepped to, then arms with the wait of the frame it steps to.
std::vector<std::pair<uint32_t, uint32_t>> PaintSchedule(const std::vector<uint32_t>& delays,
                                                         uint32_t frameCount, int ticks) {
    std::vector<std::pair<uint32_t, uint32_t>> paints;  // (time ms, frame painted)
    uint32_t now = kGifMinWaitMs;
    uint32_t index = 0;
    for (int i = 0; i < ticks; ++i) {
        paints.emplace_back(now, index);
        const GifStep step = NextGifStep(index, frameCount, delays.data(), delays.size());
        index = step.index;
        now += step.waitMs;
    }
    return paints;
}

TEST(GifRules, ThreeFrameSchedule) {
    const std::vector<uint32_t> delays = {StoredGifDelay(10), StoredGifDelay(20), StoredGifDelay(50)};
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {30, 0}, {230, 1}, {730, 2}, {830, 0}, {1030, 1}, {1530, 2}, {1630, 0}};
    EXPECT_EQ(PaintSchedule(delays, 3, 7), expected);
}

}  // namespace
