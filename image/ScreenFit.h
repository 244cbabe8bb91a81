#pragma once
// The size a folder picture is kept at in the image ring, and where it lands
// on the panel, in whole device pixels. Pure: standard library only.
//
// The one place the target size comes from: a display or DPI change only has
// to call FitOnScreen again with the new panel size.
#include <cstdint>

struct ScreenRect {
    int32_t left = 0, top = 0, width = 0, height = 0;
};

struct ScreenFit {
    ScreenRect rect;        // where the picture lands on the panel, in device pixels
    uint32_t keptWidth = 0;   // the size the ring keeps the picture at
    uint32_t keptHeight = 0;
    // True when the kept picture has exactly the size of `rect`: the paint is
    // then a copy of its pixels, with no resampling.
    bool exact = false;
};

// A width x height picture (upright, its original size) on a panel of
// panelWidth x panelHeight device pixels. `rect` is the panel's fitted
// destination (the taller-than-the-panel rule of the drawing, computed in
// single-precision float at one pixel per unit) with each edge rounded to the
// nearest pixel, and at least one pixel wide and high. The picture is kept at
// the size of `rect` when that is no larger than the picture on either axis;
// otherwise (the picture is enlarged on screen) at its own size. Zero sizes
// give an empty fit (everything 0, not exact).
ScreenFit FitOnScreen(uint32_t width, uint32_t height, int32_t panelWidth, int32_t panelHeight);
