#include "ui/FitGeometry.h"

#include <gtest/gtest.h>

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

}  // namespace
