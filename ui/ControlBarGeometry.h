#pragma once
// Control bar arithmetic: the time and index texts, where the buttons, the
// seek track, the knob and the text boxes lie at any DPI, and which seek a
// press on the track asks for. Pure: no Windows types. Pixel values are bar
// pixels; drawing boxes are device-independent units (pixels times k = 96/dpi).
#include <cstdint>
#include <string>

#include "ui/FitGeometry.h"

// A rectangle in whole bar pixels.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Where the bar's parts lie, in bar pixels, for a bar of width x height.
// With the standard 700 x 80: close button 640,20 40x40; play/pause button
// 20,13 53x53; seek track 113,47 507x10.
struct ControlBarLayout {
    PixelRect closeButton;
    PixelRect playButton;
    int seekLeft = 0, seekTop = 0, seekWidth = 0, seekHeight = 0;
};
ControlBarLayout ComputeControlBarLayout(int width, int height);

// Splits a media time (100-ns units) into whole hours, minutes and seconds,
// each truncated: 59.99 s is 00:00:59. A negative time prints as 0.
struct ClockParts {
    int hours = 0, minutes = 0, seconds = 0;
};
ClockParts SplitMediaTime(int64_t time);

// "[hh:mm:ss / hh:mm:ss]" for position and duration; 100 hours or more print
// with three or more hour digits.
std::wstring FormatTimeText(int64_t position, int64_t duration);

// "[%03d / %03d]" with the 1-based index and the count.
std::wstring FormatIndexText(int32_t currentIndex, int32_t imageCount);

// The knob's offset from the track's left edge, in pixels: position/duration
// of the track width, truncated; 0 when duration is not positive. Not clamped
// to the track (a position past the end puts the knob past it), but kept to a
// range that converts safely whatever the two values are.
int KnobOffset(int64_t position, int64_t duration, int seekWidth);

// Everything PaintControlWindow draws, in device-independent units at scale k.
struct ControlBarPaintLayout {
    RectF background;    // whole bar
    float frameStroke = 0;
    RectF track;
    float trackRadius = 0;
    RectF knob;
    float knobRadius = 0;
    RectF videoNameBox;  // Video: file name
    RectF timeBox;       // Video: time text
    RectF imageNameBox;  // ImageFolder: image name
    RectF indexBox;      // ImageFolder: index text
    RectF gifNameBox;    // AnimatedGif: file name
    RectF errorBox;      // None: the error line
    PixelRect closeFace;  // trunc(x*k) etc. of the buttons' own rectangles
    PixelRect playFace;
};
ControlBarPaintLayout ComputePaintLayout(const ControlBarLayout& bar, int width, int height, float k,
                                         int64_t position, int64_t duration);
// A button's rectangle scaled by k, each value truncated toward zero.
PixelRect ScaleButtonRect(const PixelRect& button, float k);

// The seek track enlarged by kSeekHitMargin pixels on every side, edges
// included. x and y are the unsigned 16-bit mouse coordinates of the message,
// so a captured pointer left of or above the bar gives large values that
// fall outside.
constexpr int kSeekHitMargin = 15;
bool InSeekHitZone(const ControlBarLayout& bar, uint16_t x, uint16_t y);

// trunc((x - seekLeft) / seekWidth * duration) in double precision: negative
// left of the track, above duration right of it (the seek clamps). Kept within
// the 64-bit range; 0 for a track without width.
int64_t SeekTargetFromX(const ControlBarLayout& bar, uint16_t x, int64_t duration);

// At most one seek from the track per kSeekThrottleMs: a seek exactly that
// long after the last one is still refused.
constexpr uint64_t kSeekThrottleMs = 200;
bool SeekThrottleAllows(uint64_t nowTick, uint64_t lastSeekTick);
