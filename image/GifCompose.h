#pragma once
// Composing an animated GIF's frames on its logical screen. Pure: no Windows types.
//
// Pixels are 32-bit premultiplied BGRA (0xAARRGGBB as a uint32_t), rows top to
// bottom, tightly packed. A GIF pixel is either opaque or transparent, so a
// frame pixel of alpha 0 is transparent and leaves the canvas as it is. The
// canvas starts transparent (0), which the panel shows as black.
//
// Between two frames the one shown is disposed of by its disposal method:
//   0 (none) and 1 (keep): the canvas keeps the frame;
//   2 (background): its rectangle is cleared to transparent (the logical
//     screen's background colour is not used);
//   3 (previous): its rectangle gets back what it held before the frame was drawn;
//   4 to 7 (undefined) act as 1.
// Frame 0 is always drawn on a clear canvas, so every wrap starts afresh.
// Frames are clipped to the logical screen.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/GifFrame.h"

// The smallest rectangle holding both; an empty one adds nothing.
GifRect UnionRect(const GifRect& a, const GifRect& b);
// `r` cut to [0, width) x [0, height); empty when nothing is left.
GifRect ClipRect(const GifRect& r, int32_t width, int32_t height);

constexpr uint8_t kGifDisposeBackground = 2;
constexpr uint8_t kGifDisposePrevious = 3;

// The canvas and what it needs to dispose of the frame it shows.
struct GifComposition {
    int32_t width = 0, height = 0;     // the logical screen
    std::vector<uint32_t> canvas;      // width x height, made by the first compose
    int64_t shownIndex = -1;           // the frame the canvas shows; -1 before the first
    // For a shown frame of disposal 3: its clipped rectangle and what the
    // canvas held there before it was drawn (rows as wide as the rectangle).
    GifRect savedRect;
    std::vector<uint32_t> saved;
};

// Brings the canvas of `c` (of the given logical screen size) to frame `index`
// of `frames`: disposes of the frame shown, then draws each frame after it up
// to `index` (disposing of each before the next), none skipped. Going to 0,
// back to an earlier frame, or starting from nothing begins on a clear
// canvas. An index past the end or an unchanged index changes nothing.
// Returns the rectangle of the canvas that changed (empty when none did).
GifRect ComposeGifFrame(GifComposition& c, int32_t width, int32_t height, const GifFrame* frames,
                          size_t frameCount, uint32_t index);
