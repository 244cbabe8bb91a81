#pragma once
// Drawing arithmetic of the panel and the pop-up: fitting a picture into the
// window, placing a GIF frame, and the idle screen's layout. All in
// single-precision float, as drawn. Pure: no Windows types.

struct RectF {
    float left = 0, top = 0, right = 0, bottom = 0;
};

// Fits a bw x bh picture (device-independent units) into a window of W x H
// pixels drawn at scale k = 96/dpi, centred: a picture relatively taller than
// the window (bh/bw > H/W) fills the height, any other (equal ratios included)
// fills the width. Pictures smaller than the window are enlarged.
RectF FitIntoWindow(float bw, float bh, float windowWidth, float windowHeight, float k);

// Places the frame rectangle (l, t, r, b) of a gw x gh GIF canvas into a
// W x H window at scale k, by the same taller-or-not rule as FitIntoWindow.
RectF PlaceGifFrame(const RectF& frame, float gw, float gh, float windowWidth, float windowHeight,
                    float k);

// The idle screen for a W x H window at scale k.
struct IdleLayout {
    RectF icon;           // 80 x 80 square
    RectF caption;        // version caption box
    RectF helpLines[12];  // one box per help line, one pitch high
};
IdleLayout ComputeIdleLayout(float windowWidth, float windowHeight, float k);
