#pragma once
// The GIF canvas as a picture of its on-screen size: which canvas pixel each
// screen pixel shows, and re-scaling a changed part of the canvas into it.
// Pure: no Windows types.
#include <cstdint>
#include <vector>

#include "image/GifCompose.h"

// The canvas fitted into a screen of screenWidth x screenHeight pixels, by the
// same rule and rounding as the placement of a whole GIF canvas: `dest` is the
// picture's rectangle on the screen; every screen pixel of it shows the canvas
// pixel under its centre (nearest neighbour, so flat GIF colours stay exact).
struct GifFit {
    int32_t canvasWidth = 0, canvasHeight = 0;
    GifRect dest;
    std::vector<int32_t> sourceX;  // canvas column of each picture column
    std::vector<int32_t> sourceY;  // canvas row of each picture row
    std::vector<int32_t> firstX;   // first picture column of each canvas column, and the width at the end
    std::vector<int32_t> firstY;
};
GifFit FitGifCanvas(int32_t canvasWidth, int32_t canvasHeight, int32_t screenWidth, int32_t screenHeight);

// The picture rectangle (relative to fit.dest) whose pixels show canvas pixels of `canvasRect`.
GifRect PictureRectOf(const GifFit& fit, const GifRect& canvasRect);

// Re-scales the `pictureRect` part (relative to fit.dest) of the fitted picture
// from the canvas. `picture` has fit.dest's size; the canvas has fit's canvas size.
void ScaleIntoPicture(const GifFit& fit, const uint32_t* canvas, uint32_t* picture,
                      const GifRect& pictureRect);
