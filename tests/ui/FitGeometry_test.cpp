#include "ui/FitGeometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include "image/ScreenFit.h"

namespace {

void ExpectRect(const RectF& r, float l, float t, float rr, float b) {
    EXPECT_NEAR(r.left, l, 0.01f);
    EXPECT_NEAR(r.top, t, 0.01f);
    EXPECT_NEAR(r.right, rr, 0.01f);
    EXPECT_NEAR(r.bottom, b, 0.01f);
}

TEST(FitIntoWindow, Table) {
    struct Case {
        float bw, bh, w, h, k;
        RectF expected;
    };
    const Case cases[] = {
        // Wider than the screen's ratio: fills the width.
        {100, 50, 1920, 1080, 1.0f, {0, 60, 1920, 1020}},
        // Taller: fills the height, centred.
        {1000, 2000, 1920, 1080, 1.0f, {690, 0, 1230, 1080}},
        // Equal ratios take the width branch: top offset 0.
        {1920, 1080, 1920, 1080, 1.0f, {0, 0, 1920, 1080}},
        {16, 9, 1280, 720, 1.0f, {0, 0, 1280, 720}},
        // Small pictures are enlarged like large ones.
        {10, 10, 1280, 720, 1.0f, {280, 0, 1000, 720}},
        // 144 DPI: device-independent units that land on the same pixels (x1.5).
        {100, 50, 1920, 1080, 2.0f / 3.0f, {0, 40, 1280, 680}},
        {1000, 2000, 1920, 1080, 2.0f / 3.0f, {460, 0, 820, 720}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bw << "x" << c.bh << " in " << c.w << "x" << c.h);
        const RectF r = FitIntoWindow(c.bw, c.bh, c.w, c.h, c.k);
        ExpectRect(r, c.expected.left, c.expected.top, c.expected.right, c.expected.bottom);
    }
}

TEST(FitIntoWindow, NeverLeavesTheWindow) {
    // Any picture: inside the window and touching two opposite edges.
    for (float bw : {1.f, 3.f, 640.f, 4000.f, 100000.f}) {
        for (float bh : {1.f, 7.f, 480.f, 3000.f, 100000.f}) {
            const RectF r = FitIntoWindow(bw, bh, 1280, 720, 1.0f);
            EXPECT_GE(r.left, -0.01f);
            EXPECT_GE(r.top, -0.01f);
            EXPECT_LE(r.right, 1280.01f);
            EXPECT_LE(r.bottom, 720.01f);
            const bool fillsWidth = r.left < 0.01f && r.right > 1279.99f;
            const bool fillsHeight = r.top < 0.01f && r.bottom > 719.99f;
            EXPECT_TRUE(fillsWidth || fillsHeight) << bw << "x" << bh;
        }
    }
}

TEST(FitOnScreen, Table) {
    // The kept size and the pixel rectangle of a picture of its original size.
    struct Case {
        uint32_t bw, bh;
        int32_t w, h;
        ScreenRect rect;
        uint32_t keptWidth, keptHeight;
        bool exact;
    };
    const Case cases[] = {
        // A 24 MP photograph fills the height: 1620 x 1080 from x 150.
        {6000, 4000, 1920, 1080, {150, 0, 1620, 1080}, 1620, 1080, true},
        // Turned upright (4000 x 6000): 720 wide from x 600.
        {4000, 6000, 1920, 1080, {600, 0, 720, 1080}, 720, 1080, true},
        // Fractional edges round to the nearest pixel: 1000 x 2000 -> 539.99..
        {3000, 4001, 1920, 1080, {555, 0, 810, 1080}, 810, 1080, true},
        {5000, 2000, 1920, 1080, {0, 156, 1920, 768}, 1920, 768, true},
        // Exactly the screen's size, or larger by one pixel: a copy.
        {1920, 1080, 1920, 1080, {0, 0, 1920, 1080}, 1920, 1080, true},
        {1921, 1080, 1920, 1080, {0, 0, 1920, 1080}, 1920, 1080, true},
        // Smaller than the screen: kept as it is, enlarged at paint.
        {64, 48, 1280, 720, {160, 0, 960, 720}, 64, 48, false},
        {1900, 1000, 1920, 1080, {0, 35, 1920, 1010}, 1900, 1000, false},
        // A sliver: at least one pixel across, never more than the picture.
        {10000, 1, 1920, 1080, {0, 540, 1920, 1}, 1920, 1, true},
        {1, 10000, 1920, 1080, {960, 0, 1, 1080}, 1, 1080, true},
        // Nothing to fit.
        {0, 100, 1920, 1080, {0, 0, 0, 0}, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bw << "x" << c.bh << " on " << c.w << "x" << c.h);
        const ScreenFit fit = FitOnScreen(c.bw, c.bh, c.w, c.h);
        EXPECT_EQ(fit.rect.left, c.rect.left);
        EXPECT_EQ(fit.rect.top, c.rect.top);
        EXPECT_EQ(fit.rect.width, c.rect.width);
        EXPECT_EQ(fit.rect.height, c.rect.height);
        EXPECT_EQ(fit.keptWidth, c.keptWidth);
        EXPECT_EQ(fit.keptHeight, c.keptHeight);
        EXPECT_EQ(fit.exact, c.exact);
    }
}

TEST(FitOnScreen, EdgesAreTheDrawnFitRounded) {
    // The pixel rectangle is the panel's own fitted rectangle, edge by edge,
    // at every DPI (the fit in device-independent units times dpi / 96).
    // (Slivers under a pixel are widened to one: the table above has them.)
    for (uint32_t bw : {5u, 641u, 4000u, 5999u, 6000u}) {
        for (uint32_t bh : {7u, 480u, 3000u, 4000u, 4001u}) {
            for (float k : {1.0f, 2.0f / 3.0f, 0.8f}) {
                const RectF drawn = FitIntoWindow(static_cast<float>(bw), static_cast<float>(bh),
                                                  1920, 1080, k);
                const ScreenFit fit = FitOnScreen(bw, bh, 1920, 1080);
                SCOPED_TRACE(testing::Message() << bw << "x" << bh << " k " << k);
                EXPECT_EQ(fit.rect.left, std::lround(drawn.left / k));
                EXPECT_EQ(fit.rect.top, std::lround(drawn.top / k));
                EXPECT_EQ(fit.rect.left + fit.rect.width, std::lround(drawn.right / k));
                EXPECT_EQ(fit.rect.top + fit.rect.height, std::lround(drawn.bottom / k));
            }
        }
    }
}

TEST(IdleLayout, WorkedExampleAt1920x1080) {
    const IdleLayout layout = ComputeIdleLayout(1920, 1080, 1.0f);
    ExpectRect(layout.icon, 480, 160, 560, 240);
    ExpectRect(layout.caption, 580, 180, 1540, 216);
    const float tops[12] = {296, 342, 378, 444, 530, 576, 612, 648, 684, 720, 756, 792};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i + 1);
        ExpectRect(layout.helpLines[i], 480, tops[i], 1440, tops[i] + 36);
    }
}

TEST(IdleLayout, ScaleAppliesToPitchAndWidthOnly) {
    // At 144 DPI the origin stays in raw pixels while pitch and box width scale by k.
    const float k = 2.0f / 3.0f;
    const IdleLayout layout = ComputeIdleLayout(1920, 1080, k);
    ExpectRect(layout.icon, 480, 160, 560, 240);
    ExpectRect(layout.caption, 580, 180, 580 + 640, 180 + 24);
    EXPECT_NEAR(layout.helpLines[0].top, 180 + 24 + 80 * k, 0.01f);
    EXPECT_NEAR(layout.helpLines[1].top, layout.helpLines[0].top + 24 + 10 * k, 0.01f);
}

}  // namespace
