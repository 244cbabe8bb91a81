#pragma once
// The decoded frames of an animated GIF as the state keeps them. Pure: no
// Windows types.
#include <cstdint>
#include <vector>

// A half-open rectangle [left, right) x [top, bottom) in pixels.
struct GifRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    bool Empty() const { return right <= left || bottom <= top; }
    bool operator==(const GifRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// One decoded frame: its rectangle on the logical screen as the file gives it
// (it may reach past the screen) and its own pixels. `pixels` is empty when
// the frame could not be decoded; it then draws nothing but is still disposed of.
struct GifFrame {
    int32_t left = 0, top = 0, width = 0, height = 0;
    uint8_t disposal = 0;
    std::vector<uint32_t> pixels;  // width x height, or empty
};
