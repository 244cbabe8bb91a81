#include "ui/ControlBarGeometry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace {

constexpr int64_t kSecond = 10'000'000;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

struct TimeCase {
    int64_t position;
    int64_t duration;
    const char* text;
};

const TimeCase kTimeCases[] = {
    {0, 0, "[00:00:00 / 00:00:00]"},
    {599'900'000, 50'257'000'000, "[00:00:59 / 01:23:45]"},     // 59.99 s; 5025.7 s
    {60 * kSecond, 3600 * kSecond, "[00:01:00 / 01:00:00]"},  // not 00:59:59 from rounding
    {36'000'000'000 - 1, 7200 * kSecond, "[00:59:59 / 02:00:00]"},
    {3599 * kSecond, 86399 * kSecond, "[00:59:59 / 23:59:59]"},
    {9'999'999, 10'000'000, "[00:00:00 / 00:00:01]"},           // 0.9999999 s truncates
    {100LL * 3600 * kSecond, 123LL * 3600 * kSecond + 4 * 60 * kSecond + 5 * kSecond,
     "[100:00:00 / 123:04:05]"},
    {-5 * kSecond, 5 * kSecond, "[00:00:00 / 00:00:05]"},       // never a negative field
};

TEST(ControlBarText, TimeText) {
    for (const TimeCase& c : kTimeCases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Narrow(FormatTimeText(c.position, c.duration)), c.text);
    }
}

TEST(ControlBarText, TimeTextStaysWellFormedForExtremeValues) {
    // The fields must stay in range and the text one line even where seconds
    // are no longer exact in double precision.
    for (int64_t t : {std::numeric_limits<int64_t>::max(), int64_t{360000} * 3600 * kSecond + 1}) {
        const ClockParts parts = SplitMediaTime(t);
        EXPECT_GE(parts.hours, 0);
        EXPECT_GE(parts.minutes, 0);
        EXPECT_LT(parts.minutes, 60);
        EXPECT_GE(parts.seconds, 0);
        EXPECT_LT(parts.seconds, 60);
        const std::wstring text = FormatTimeText(t, t);
        EXPECT_EQ(text.front(), L'[');
        EXPECT_EQ(text.back(), L']');
    }
}

TEST(ControlBarText, TimeAtEveryHourEdgeHasFieldsInRange) {
    // Rounding of the float steps near an hour boundary must not produce
    // negative minutes or seconds.
    for (int64_t hour = 1; hour < 200; ++hour) {
        for (int64_t delta : {int64_t{-1}, int64_t{0}, int64_t{1}, -kSecond / 100}) {
            const ClockParts p = SplitMediaTime(hour * 3600 * kSecond + delta);
            EXPECT_GE(p.minutes, 0);
            EXPECT_LT(p.minutes, 60);
            EXPECT_GE(p.seconds, 0);
            EXPECT_LT(p.seconds, 60);
        }
    }
}

TEST(ControlBarText, IndexText) {
    const struct {
        int32_t index, count;
        const char* text;
    } cases[] = {
        {2, 12, "[003 / 012]"},
        {0, 1, "[001 / 001]"},
        {1233, 1234, "[1234 / 1234]"},
        {std::numeric_limits<int32_t>::max(), 5, "[2147483648 / 005]"},  // no overflow in +1
    };
    for (const auto& c : cases) EXPECT_EQ(Narrow(FormatIndexText(c.index, c.count)), c.text);
}

TEST(ControlBarLayout, StandardBar) {
    const ControlBarLayout bar = ComputeControlBarLayout(700, 80);
    EXPECT_EQ(bar.closeButton.x, 640);
    EXPECT_EQ(bar.closeButton.y, 20);
    EXPECT_EQ(bar.closeButton.width, 40);
    EXPECT_EQ(bar.closeButton.height, 40);
    EXPECT_EQ(bar.playButton.x, 20);
    EXPECT_EQ(bar.playButton.y, 13);
    EXPECT_EQ(bar.playButton.width, 53);
    EXPECT_EQ(bar.playButton.height, 53);
    EXPECT_EQ(bar.seekLeft, 113);
    EXPECT_EQ(bar.seekTop, 47);
    EXPECT_EQ(bar.seekWidth, 507);
    EXPECT_EQ(bar.seekHeight, 10);
}

void ExpectRect(const RectF& r, float l, float t, float rr, float b) {
    EXPECT_NEAR(r.left, l, 0.01f);
    EXPECT_NEAR(r.top, t, 0.01f);
    EXPECT_NEAR(r.right, rr, 0.01f);
    EXPECT_NEAR(r.bottom, b, 0.01f);
}

TEST(ControlBarLayout, PaintBoxesAt96Dpi) {
    const ControlBarLayout bar = ComputeControlBarLayout(700, 80);
    const ControlBarPaintLayout p = ComputePaintLayout(bar, 700, 80, 1.0f, 0, 100 * kSecond);
    ExpectRect(p.background, 0, 0, 700, 80);
    EXPECT_FLOAT_EQ(p.frameStroke, 6.0f);
    ExpectRect(p.track, 113, 47, 620, 57);
    ExpectRect(p.knob, 105, 41, 125, 61);
    ExpectRect(p.videoNameBox, 113, 11.43f, 451, 91.43f);
    ExpectRect(p.timeBox, 451, 11.43f, 813, 91.43f);
    ExpectRect(p.imageNameBox, 50, 20, 466.67f, 100);
    ExpectRect(p.indexBox, 466.67f, 20, 700, 100);
    ExpectRect(p.gifNameBox, 50, 20, 583.33f, 100);
    ExpectRect(p.errorBox, 50, 20, 466.67f, 100);
    EXPECT_EQ(p.closeFace.x, 640);
    EXPECT_EQ(p.closeFace.width, 40);
    EXPECT_EQ(p.playFace.y, 13);
    EXPECT_EQ(p.playFace.height, 53);
}

TEST(ControlBarLayout, PaintBoxesAt144DpiKeepPixelPositions) {
    // At 144 DPI one device-independent unit is 1.5 pixels: every box times
    // 1.5 must land on the 96-DPI pixel positions.
    const float k = 96.0f / 144.0f;
    const ControlBarLayout bar = ComputeControlBarLayout(700, 80);
    const ControlBarPaintLayout p = ComputePaintLayout(bar, 700, 80, k, 100 * kSecond, 100 * kSecond);
    auto px = [](float dip) { return dip * 1.5f; };
    EXPECT_NEAR(px(p.background.right), 700, 0.01);
    EXPECT_NEAR(px(p.frameStroke), 6, 0.01);
    EXPECT_NEAR(px(p.track.left), 113, 0.01);
    EXPECT_NEAR(px(p.track.bottom), 57, 0.01);
    EXPECT_NEAR(px(p.trackRadius), 3, 0.01);
    EXPECT_NEAR(px(p.knob.left), 612, 0.01);  // knob at the end of the track
    EXPECT_NEAR(px(p.knob.right), 632, 0.01);
    EXPECT_NEAR(px(p.knobRadius), 6, 0.01);
    EXPECT_NEAR(px(p.timeBox.left), 451, 0.01);
    EXPECT_NEAR(px(p.indexBox.left), 466.67, 0.01);
    EXPECT_NEAR(px(p.gifNameBox.right), 583.33, 0.01);
    // Button faces are truncated device-independent integers.
    EXPECT_EQ(p.closeFace.x, 426);   // 640 * 2/3
    EXPECT_EQ(p.closeFace.y, 13);    // 13.33
    EXPECT_EQ(p.closeFace.width, 26);
    EXPECT_EQ(p.playFace.x, 13);
    EXPECT_EQ(p.playFace.y, 8);      // 8.67
    EXPECT_EQ(p.playFace.width, 35); // 35.33
}

TEST(ControlBarLayout, KnobOffsets) {
    const struct {
        int64_t position, duration;
        int offset;
    } cases[] = {
        {0, 100, 0},
        {100, 100, 507},
        {50, 100, 253},                 // 253.5 truncates
        {150, 100, 760},                // past the end: not clamped
        {5 * kSecond, 0, 0},            // no duration: left end
        {5, -1, 0},
        {std::numeric_limits<int64_t>::max(), 1, 1'000'000'000},  // stays convertible
    };
    for (const auto& c : cases)
        EXPECT_EQ(KnobOffset(c.position, c.duration, 507), c.offset) << c.position << "/" << c.duration;
}

TEST(ControlBarSeek, HitZoneEdges) {
    const ControlBarLayout bar = ComputeControlBarLayout(700, 80);
    // Track 113..620 x 47..57; the zone reaches 15 pixels further, edges included.
    const struct {
        uint16_t x, y;
        bool inside;
    } cases[] = {
        {98, 52, true},   {97, 52, false},  {635, 52, true},  {636, 52, false},
        {300, 32, true},  {300, 31, false}, {300, 72, true},  {300, 73, false},
        {98, 32, true},   {635, 72, true},
        {300, 36, true},                     // 11 above: inside
        {65535, 52, false}, {300, 65535, false},  // captured pointer left of / above the bar
        {0, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(InSeekHitZone(bar, c.x, c.y), c.inside) << c.x << "," << c.y;
}

TEST(ControlBarSeek, TargetFromX) {
    const ControlBarLayout bar = ComputeControlBarLayout(700, 80);
    const int64_t d = 507 * kSecond;
    const struct {
        uint16_t x;
        int64_t duration, target;
    } cases[] = {
        {113, d, 0},
        {620, d, d},
        {366, d, 253 * kSecond},
        {103, d, -10 * kSecond},   // 10 left of the start: negative, clamped by the seek
        {630, d, d + 10 * kSecond},
        {300, 0, 0},
        {65535, std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::max()},
    };
    // Fractions of 507 are not exact in binary: one 100-ns unit either way is fine.
    for (const auto& c : cases) {
        const int64_t got = SeekTargetFromX(bar, c.x, c.duration);
        EXPECT_TRUE(got - c.target <= 1 && c.target - got <= 1) << c.x << ": " << got;
    }

    ControlBarLayout empty = bar;
    empty.seekWidth = 0;
    EXPECT_EQ(SeekTargetFromX(empty, 200, d), 0);
}

TEST(ControlBarSeek, ThrottleRefusesWithin200Ms) {
    const struct {
        uint64_t now, last;
        bool allowed;
    } cases[] = {
        {1000, 0, true},   {1000, 800, false}, {1000, 799, true},
        {1150, 1000, false}, {1201, 1000, true}, {1000, 1000, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SeekThrottleAllows(c.now, c.last), c.allowed) << c.now << " after " << c.last;
}

}  // namespace
