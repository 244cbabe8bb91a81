#pragma once
// WIC's flip-rotator as Microsoft documents it, written out step by step for
// the tests: "the flip is done before the rotation", rotations clockwise. Pure.
#include <cstdint>

struct TurnedPoint {
    int64_t x, y;
};

// Where pixel (x, y) of a w x h picture lands under `transform` (the
// WICBitmapTransformOptions bits: 1..3 quarter turns clockwise, 8 flip
// horizontal, 16 flip vertical).
inline TurnedPoint DocumentedTurn(uint32_t transform, int64_t x, int64_t y, int64_t w, int64_t h) {
    if (transform & 8) x = w - 1 - x;
    if (transform & 16) y = h - 1 - y;
    for (uint32_t quarter = 0; quarter < (transform & 3); ++quarter) {
        const int64_t turnedX = h - 1 - y;  // a quarter turn clockwise: the left column becomes the top row
        y = x;
        x = turnedX;
        const int64_t width = w;
        w = h;
        h = width;
    }
    return {x, y};
}
