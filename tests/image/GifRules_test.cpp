#include "image/GifRules.h"
#include "image/GifCompose.h"

#include <gtest/gtest.h>

#include <string>
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

namespace {

TEST(GifRules, CycleIsTheSumOfTheWaits) {
    const std::vector<uint32_t> fast = {30, 40, 100, 30};
    const std::vector<uint32_t> floored = {10, 20, 100};
    const struct {
        const std::vector<uint32_t>* delays;
        uint32_t frameCount;
        uint64_t cycle;
    } cases[] = {
        {&fast, 4, 200},
        {&floored, 3, 160},  // each wait raised to the floor first
        {&fast, 6, 260},     // frames without a stored delay wait the floor
        {&fast, 0, 30},      // no frames: the ticks still run at the floor
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frameCount << " frames");
        EXPECT_EQ(GifCycleMs(c.delays->data(), c.delays->size(), c.frameCount), c.cycle);
    }
}

TEST(GifRules, NextTickIsPlannedFromItsDueTime) {
    // One tick due at 1 s; the new frame waits 30 ms; a cycle lasts 200 ms.
    constexpr int64_t due = 1000000;
    const struct {
        const char* what;
        int64_t now;  // after the paint
        int64_t nextDue;
        uint32_t arm;
    } cases[] = {
        {"on time: the paint's 5 ms come off the wait", due + 5000, due + 30000, 25},
        {"on time, rounded up", due + 5400, due + 30000, 25},
        {"on time, rounded down", due + 5600, due + 30000, 24},
        {"under a millisecond left: at once", due + 29500, due + 30000, 1},
        {"exactly due: at once", due + 30000, due + 30000, 1},
        {"late: at once, the schedule kept", due + 90000, due + 30000, 1},
        {"a whole cycle behind: still catching up", due + 230000, due + 30000, 1},
        {"more than a cycle behind: restarts from now", due + 230001, due + 260001, 30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const GifTickPlan plan = PlanNextGifTick(due, c.now, 30, 200);
        EXPECT_EQ(plan.nextDueUs, c.nextDue);
        EXPECT_EQ(plan.armMs, c.arm);
    }
}

// Ticks of a 30/40/100/30 ms GIF on a simulated clock: each tick fires when
// armed, paints for the time the table gives its n-th tick (10 ms otherwise),
// steps and plans the next. Returns the time each paint started (ms).
std::vector<int64_t> SimulateTicks(const std::vector<std::pair<size_t, int64_t>>& slowPaints, size_t ticks,
                                   std::vector<uint32_t>* painted) {
    const std::vector<uint32_t> delays = {30, 40, 100, 30};
    const uint64_t cycle = GifCycleMs(delays.data(), delays.size(), 4);
    std::vector<int64_t> starts;
    int64_t now = 30000, due = 0;  // the first tick comes 30 ms after the mode start
    uint32_t index = 0;
    for (size_t n = 0; n < ticks; ++n) {
        if (due == 0) due = now;
        starts.push_back(now / 1000);
        painted->push_back(index);
        int64_t paint = 10000;
        for (const auto& slow : slowPaints)
            if (slow.first == n) paint = slow.second * 1000;
        now += paint;
        const GifStep step = NextGifStep(index, 4, delays.data(), delays.size());
        index = step.index;
        const GifTickPlan plan = PlanNextGifTick(due, now, step.waitMs, cycle);
        due = plan.nextDueUs;
        now += static_cast<int64_t>(plan.armMs) * 1000;
    }
    return starts;
}

TEST(GifRules, ScheduleHoldsThroughPaintsWrapsAndDelays) {
    const uint32_t order[] = {0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};
    const struct {
        const char* what;
        std::vector<std::pair<size_t, int64_t>> slowPaints;  // (tick, paint ms)
        std::vector<int64_t> starts;
    } cases[] = {
        // Paint time does not add up: every cycle takes 200 ms, across the wraps.
        {"10 ms paints", {}, {30, 70, 170, 200, 230, 270, 370, 400, 430, 470, 570, 600}},
        // A 95 ms paint of frame 2 makes frame 3 (due at 200) late: it comes
        // at once, and so do the frames after it, across the wrap, until the
        // schedule is caught up at frame 2 (370).
        {"one slow paint", {{2, 95}}, {30, 70, 170, 266, 277, 288, 370, 400, 430, 470, 570, 600}},
        // A paint of 450 ms leaves the next frame more than a cycle behind: the
        // schedule starts again from the end of that paint, no frame skipped.
        {"a paint past a whole cycle", {{2, 450}}, {30, 70, 170, 650, 680, 720, 820, 850, 880, 920, 1020, 1050}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> painted;
        EXPECT_EQ(SimulateTicks(c.slowPaints, 12, &painted), c.starts);
        EXPECT_EQ(painted, std::vector<uint32_t>(std::begin(order), std::end(order)));
    }
}

}  // namespace

namespace {

// Pixels as letters: '.' transparent, R, G, B, W opaque colours.
uint32_t Pixel(char c) {
    switch (c) {
        case 'R': return 0xFFFF0000u;
        case 'G': return 0xFF00FF00u;
        case 'B': return 0xFF0000FFu;
        case 'W': return 0xFFFFFFFFu;
        default: return 0u;
    }
}

std::string Letters(const GifComposition& c) {
    std::string out;
    for (int32_t y = 0; y < c.height; ++y) {
        if (y) out += '/';
        for (int32_t x = 0; x < c.width; ++x) {
            const uint32_t p = c.canvas[static_cast<size_t>(y) * c.width + x];
            const char* letters = ".RGBW";
            const uint32_t values[] = {0u, Pixel('R'), Pixel('G'), Pixel('B'), Pixel('W')};
            char letter = '?';
            for (int i = 0; i < 5; ++i)
                if (p == values[i]) letter = letters[i];
            out += letter;
        }
    }
    return out;
}

// A frame at (left, top) from rows of letters joined by '/'; "" for a frame
// whose pixels could not be decoded (its size is then given).
GifFrame Frame(int32_t left, int32_t top, uint8_t disposal, const std::string& rows, int32_t width = 0,
               int32_t height = 0) {
    GifFrame f;
    f.left = left;
    f.top = top;
    f.disposal = disposal;
    f.width = width;
    f.height = height;
    if (rows.empty()) return f;
    f.width = static_cast<int32_t>(rows.find('/') == std::string::npos ? rows.size() : rows.find('/'));
    f.height = 0;
    for (size_t at = 0; at <= rows.size(); at += static_cast<size_t>(f.width) + 1, ++f.height)
        for (int32_t x = 0; x < f.width; ++x) f.pixels.push_back(Pixel(rows[at + x]));
    return f;
}

struct ComposeCase {
    const char* what;
    int32_t width, height;
    std::vector<GifFrame> frames;
    std::vector<std::string> shown;  // the canvas showing each frame in turn
    std::vector<GifRect> changed;  // what each step changed
};

// A 4 x 2 canvas; frame 0 is partly transparent in most cases.
const GifFrame kHoles = Frame(0, 0, 0, "RR../.RR.");

TEST(GifCompose, DisposalTransparencyAndClipping) {
    const ComposeCase cases[] = {
        {"none: frames pile up, transparent pixels keep the canvas", 4, 2,
         {kHoles, Frame(1, 0, 1, "GG/G."), Frame(0, 1, 0, "B")},
         {"RR../.RR.", "RGG./.GR.", "RGG./BGR."},
         {{0, 0, 4, 2}, {1, 0, 3, 2}, {0, 1, 1, 2}}},
        {"background: the shown frame's rectangle is cleared to transparent", 4, 2,
         {kHoles, Frame(1, 0, 2, "GG/G."), Frame(3, 0, 0, "B")},
         {"RR../.RR.", "RGG./.GR.", "R..B/...."},
         {{0, 0, 4, 2}, {1, 0, 3, 2}, {1, 0, 4, 2}}},
        {"previous: the rectangle gets back what it held", 4, 2,
         {kHoles, Frame(1, 0, 3, "GG/G."), Frame(3, 1, 0, "B")},
         {"RR../.RR.", "RGG./.GR.", "RR../.RRB"},
         {{0, 0, 4, 2}, {1, 0, 3, 2}, {1, 0, 4, 2}}},
        {"previous twice: the second saves what the first put back", 4, 2,
         {kHoles, Frame(0, 0, 3, "GGGG"), Frame(0, 0, 3, "B.B."), Frame(3, 1, 0, "W")},
         {"RR../.RR.", "GGGG/.RR.", "BRB./.RR.", "RR../.RRW"},
         {{0, 0, 4, 2}, {0, 0, 4, 1}, {0, 0, 4, 1}, {0, 0, 4, 2}}},
        {"a first frame of disposal previous leaves a clear canvas", 4, 2,
         {Frame(0, 0, 3, "RR"), Frame(2, 1, 0, "GG")},
         {"RR../....", "..../..GG"},
         {{0, 0, 4, 2}, {0, 0, 4, 2}}},
        {"frames partly and wholly outside are clipped", 4, 2,
         {Frame(0, 0, 0, "..../...."), Frame(3, 1, 2, "GB/BG"), Frame(9, 9, 2, "W"), Frame(0, 0, 0, "R")},
         {"..../....", "..../...G", "..../....", "R.../...."},
         {{0, 0, 4, 2}, {3, 1, 4, 2}, {3, 1, 4, 2}, {0, 0, 1, 1}}},
        {"a frame that failed to decode draws nothing but is disposed of", 4, 2,
         {kHoles, Frame(0, 0, 2, "", 2, 2), Frame(3, 0, 0, "W")},
         {"RR../.RR.", "RR../.RR.", "...W/..R."},
         {{0, 0, 4, 2}, {0, 0, 2, 2}, {0, 0, 4, 2}}},
    };
    for (const ComposeCase& c : cases) {
        SCOPED_TRACE(c.what);
        GifComposition composition;
        for (uint32_t i = 0; i < c.frames.size(); ++i) {
            SCOPED_TRACE(testing::Message() << "frame " << i);
            const GifRect changed = ComposeGifFrame(composition, c.width, c.height, c.frames.data(),
                                                      c.frames.size(), i);
            EXPECT_EQ(Letters(composition), c.shown[i]);
            EXPECT_TRUE(changed == c.changed[i]) << changed.left << "," << changed.top << ","
                                                  << changed.right << "," << changed.bottom;
        }
        // The wrap starts again from a clear canvas: frame 0 as at the start.
        const GifRect wrapped = ComposeGifFrame(composition, c.width, c.height, c.frames.data(),
                                                  c.frames.size(), 0);
        EXPECT_EQ(Letters(composition), c.shown[0]) << "after the wrap";
        EXPECT_TRUE(wrapped == (GifRect{0, 0, c.width, c.height}));
        // Painting the same frame again changes nothing.
        EXPECT_TRUE(ComposeGifFrame(composition, c.width, c.height, c.frames.data(), c.frames.size(), 0).Empty());
        // Coming to the last frame in one go composes every frame on the way.
        GifComposition direct;
        const uint32_t last = static_cast<uint32_t>(c.frames.size() - 1);
        ComposeGifFrame(direct, c.width, c.height, c.frames.data(), c.frames.size(), last);
        EXPECT_EQ(Letters(direct), c.shown[last]) << "straight to the last frame";
    }
}

}  // namespace
