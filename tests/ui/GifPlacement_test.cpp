#include "ui/FitGeometry.h"
#include "ui/GifPicture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// A frame rectangle of a gw x gh canvas, placed on a W x H screen at scale k.
struct PlacementCase {
    const char* what;
    RectF frame;
    float gw, gh, screenW, screenH, k;
    RectF expected;
};

const PlacementCase kCases[] = {
    // Equal ratios take the fill-the-width branch: no offset either way.
    {"equal ratio, 10/20/30/40 frame", {10, 20, 40, 60}, 160, 90, 1280, 720, 1.0f, {80, 160, 320, 480}},
    {"equal ratio, whole canvas", {0, 0, 160, 90}, 160, 90, 1920, 1080, 1.0f, {0, 0, 1920, 1080}},
    // Wider than the screen: fills the width, centred vertically.
    {"small wide", {0, 0, 100, 40}, 100, 40, 1920, 1080, 1.0f, {0, 156, 1920, 924}},
    {"large wide", {0, 0, 3000, 1000}, 3000, 1000, 1920, 1080, 1.0f, {0, 220, 1920, 860}},
    {"large wide, 1280", {0, 0, 2400, 900}, 2400, 900, 1280, 720, 1.0f, {0, 120, 1280, 600}},
    {"wide, partial frame", {20, 30, 70, 70}, 200, 100, 1280, 720, 1.0f, {128, 232, 448, 488}},
    // Taller than the screen: fills the height, centred horizontally.
    {"small tall", {0, 0, 60, 80}, 60, 80, 1280, 720, 1.0f, {370, 0, 910, 720}},
    {"small tall, partial frame", {8, 4, 24, 20}, 64, 48, 1280, 720, 1.0f, {280, 60, 520, 300}},
    {"large tall", {0, 0, 900, 2000}, 900, 2000, 1920, 1080, 1.0f, {717, 0, 1203, 1080}},
    {"large tall, 1280", {0, 0, 300, 1200}, 300, 1200, 1280, 720, 1.0f, {550, 0, 730, 720}},
    // A frame reaching past the canvas is scaled like any other.
    {"frame past the canvas", {150, 80, 250, 120}, 200, 100, 1280, 720, 1.0f, {960, 552, 1600, 808}},
    // At 144 DPI (k = 2/3) the result is in device-independent units; x1.5
    // gives the 96-DPI pixels back: (0, 60, 1920, 1020) and (690, 0, 1230, 1080).
    {"144 dpi, wide", {0, 0, 100, 50}, 100, 50, 1920, 1080, 2.0f / 3.0f, {0, 40, 1280, 680}},
    {"144 dpi, tall", {0, 0, 1000, 2000}, 1000, 2000, 1920, 1080, 2.0f / 3.0f, {460, 0, 820, 720}},
};

TEST(GifPlacement, PlacesFramesByTheCanvasFit) {
    for (const PlacementCase& c : kCases) {
        SCOPED_TRACE(c.what);
        const RectF r = PlaceGifFrame(c.frame, c.gw, c.gh, c.screenW, c.screenH, c.k);
        EXPECT_NEAR(r.left, c.expected.left, 1e-3f);
        EXPECT_NEAR(r.top, c.expected.top, 1e-3f);
        EXPECT_NEAR(r.right, c.expected.right, 1e-3f);
        EXPECT_NEAR(r.bottom, c.expected.bottom, 1e-3f);
    }
}

TEST(GifPlacement, WholeCanvasLandsWhereAStillPictureWould) {
    // The canvas is fitted exactly like a still picture of its size.
    const float sizes[][2] = {{100, 50}, {1000, 2000}, {160, 90}, {1, 1}, {4000, 10}, {10, 4000}};
    for (const auto& size : sizes) {
        SCOPED_TRACE(testing::Message() << size[0] << "x" << size[1]);
        const RectF canvas = PlaceGifFrame(RectF{0, 0, size[0], size[1]}, size[0], size[1], 1920, 1080, 1);
        const RectF still = FitIntoWindow(size[0], size[1], 1920, 1080, 1);
        EXPECT_NEAR(canvas.left, still.left, 1e-2f);
        EXPECT_NEAR(canvas.top, still.top, 1e-2f);
        EXPECT_NEAR(canvas.right, still.right, 1e-2f);
        EXPECT_NEAR(canvas.bottom, still.bottom, 1e-2f);
    }
}

// The canvas as a picture of its size on screen: where it lands (rounded to
// pixels), and which canvas pixel each screen pixel shows.
TEST(GifPlacement, CanvasPictureOnScreen) {
    const struct {
        int32_t gw, gh, screenW, screenH;
        GifRect dest;
    } cases[] = {
        {160, 90, 1920, 1080, {0, 0, 1920, 1080}},  // 12 screen pixels a canvas pixel
        {32, 18, 1280, 720, {0, 0, 1280, 720}},
        {60, 80, 1280, 720, {370, 0, 910, 720}},     // enlarged, tall
        {100, 40, 1920, 1080, {0, 156, 1920, 924}},  // enlarged, wide
        {3000, 1000, 1920, 1080, {0, 220, 1920, 860}},  // reduced
        {7, 3, 1280, 720, {0, 86, 1280, 634}},     // a scale of no whole number, rounded
        {1, 4000, 1920, 1080, {960, 0, 961, 1080}},  // thinner than a pixel: still one
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.gw << "x" << c.gh << " on " << c.screenW << "x" << c.screenH);
        const GifFit fit = FitGifCanvas(c.gw, c.gh, c.screenW, c.screenH);
        EXPECT_TRUE(fit.dest == c.dest) << fit.dest.left << "," << fit.dest.top << "," << fit.dest.right
                                        << "," << fit.dest.bottom;
        const int32_t pw = fit.dest.right - fit.dest.left, ph = fit.dest.bottom - fit.dest.top;
        ASSERT_EQ(fit.sourceX.size(), static_cast<size_t>(pw));
        ASSERT_EQ(fit.sourceY.size(), static_cast<size_t>(ph));
        // Each screen pixel shows the canvas pixel under its centre.
        for (int32_t x = 0; x < pw; ++x)
            ASSERT_EQ(fit.sourceX[x], static_cast<int32_t>((x + 0.5) * c.gw / pw)) << "column " << x;
        for (int32_t y = 0; y < ph; ++y)
            ASSERT_EQ(fit.sourceY[y], static_cast<int32_t>((y + 0.5) * c.gh / ph)) << "row " << y;
        // A changed canvas part maps to exactly the screen pixels that show it.
        const GifRect parts[] = {{0, 0, c.gw, c.gh}, {0, 0, 1, 1}, {c.gw - 1, c.gh - 1, c.gw, c.gh},
                                 {c.gw / 3, c.gh / 4, c.gw / 2 + 1, c.gh / 2 + 1}};
        for (const GifRect& part : parts) {
            GifRect expected;
            for (int32_t y = 0; y < ph; ++y)
                for (int32_t x = 0; x < pw; ++x)
                    if (fit.sourceX[x] >= part.left && fit.sourceX[x] < part.right &&
                        fit.sourceY[y] >= part.top && fit.sourceY[y] < part.bottom)
                        expected = UnionRect(expected, GifRect{x, y, x + 1, y + 1});
            const GifRect got = PictureRectOf(fit, part);
            EXPECT_TRUE(got == expected) << "part " << part.left << "," << part.top << "," << part.right
                                         << "," << part.bottom << " gave " << got.left << "," << got.top
                                         << "," << got.right << "," << got.bottom;
        }
    }
}

TEST(GifPlacement, RescalingTouchesOnlyTheChangedPart) {
    const GifFit fit = FitGifCanvas(7, 5, 64, 48);  // 7 x 5 onto 64 x 46 at (0, 1): no whole scale
    std::vector<uint32_t> canvas(35);
    for (size_t i = 0; i < canvas.size(); ++i) canvas[i] = 0xFF000000u | static_cast<uint32_t>(i);
    const int32_t pw = fit.dest.right - fit.dest.left, ph = fit.dest.bottom - fit.dest.top;
    // Every pixel outside the part keeps a value of its own.
    std::vector<uint32_t> picture(static_cast<size_t>(pw * ph));
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = 0x00DE0000u | static_cast<uint32_t>(i);
    const GifRect part = PictureRectOf(fit, GifRect{2, 1, 4, 3});
    ScaleIntoPicture(fit, canvas.data(), picture.data(), part);
    for (int32_t y = 0; y < ph; ++y)
        for (int32_t x = 0; x < pw; ++x) {
            const bool inside = x >= part.left && x < part.right && y >= part.top && y < part.bottom;
            const uint32_t expected = inside ? canvas[fit.sourceY[y] * 7 + fit.sourceX[x]] : (0x00DE0000u | static_cast<uint32_t>(y * pw + x));
            ASSERT_EQ(picture[y * pw + x], expected) << x << "," << y;
        }
}

}  // namespace
