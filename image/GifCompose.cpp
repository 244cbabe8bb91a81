#include "image/GifCompose.h"

#include <algorithm>
#include <cstring>

GifRect UnionRect(const GifRect& a, const GifRect& b) {
    if (a.Empty()) return b.Empty() ? GifRect{} : b;
    if (b.Empty()) return a;
    return GifRect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                     std::max(a.bottom, b.bottom)};
}

GifRect ClipRect(const GifRect& r, int32_t width, int32_t height) {
    const GifRect clipped{std::max(r.left, 0), std::max(r.top, 0), std::min(r.right, width),
                            std::min(r.bottom, height)};
    return clipped.Empty() ? GifRect{} : clipped;
}

namespace {

// The frame's rectangle on the canvas, computed in 64 bits: left + width of a
// file's 16-bit values cannot overflow, and neither can anything else here.
GifRect ClippedFrameRect(const GifComposition& c, const GifFrame& f) {
    const int64_t right = static_cast<int64_t>(f.left) + std::max(f.width, 0);
    const int64_t bottom = static_cast<int64_t>(f.top) + std::max(f.height, 0);
    const GifRect r{f.left, f.top, static_cast<int32_t>(std::min<int64_t>(right, INT32_MAX)),
                      static_cast<int32_t>(std::min<int64_t>(bottom, INT32_MAX))};
    return ClipRect(r, c.width, c.height);
}

void CopyRows(const uint32_t* from, size_t fromStride, uint32_t* to, size_t toStride, int32_t width,
              int32_t rows) {
    for (int32_t y = 0; y < rows; ++y)
        std::memcpy(to + static_cast<size_t>(y) * toStride, from + static_cast<size_t>(y) * fromStride,
                    static_cast<size_t>(width) * sizeof(uint32_t));
}

uint32_t* CanvasAt(GifComposition& c, int32_t x, int32_t y) {
    return c.canvas.data() + static_cast<size_t>(y) * static_cast<size_t>(c.width) + x;
}

void ClearCanvas(GifComposition& c) {
    std::fill(c.canvas.begin(), c.canvas.end(), 0u);
    c.saved.clear();
    c.savedRect = GifRect{};
}

// Draws frame `f` over the canvas (its opaque pixels only), first keeping what
// its rectangle held when the frame is to be disposed of by restoring.
GifRect DrawFrame(GifComposition& c, const GifFrame& f) {
    const GifRect r = ClippedFrameRect(c, f);
    c.saved.clear();
    c.savedRect = GifRect{};
    if (r.Empty()) return r;
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    if (f.disposal == kGifDisposePrevious) {
        c.savedRect = r;
        c.saved.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
        CopyRows(CanvasAt(c, r.left, r.top), static_cast<size_t>(c.width), c.saved.data(),
                 static_cast<size_t>(w), w, h);
    }
    const size_t frameStride = static_cast<size_t>(f.width);
    if (f.pixels.size() < frameStride * static_cast<size_t>(std::max(f.height, 0))) return r;
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const uint32_t* from = f.pixels.data() + static_cast<size_t>(y - f.top) * frameStride +
                               static_cast<size_t>(r.left - f.left);
        uint32_t* to = CanvasAt(c, r.left, y);
        for (int32_t x = 0; x < w; ++x)
            if (from[x] >> 24) to[x] = from[x];
    }
    return r;
}

// Undoes frame `f` as its disposal says, once it has been shown.
GifRect DisposeFrame(GifComposition& c, const GifFrame& f) {
    const GifRect r = ClippedFrameRect(c, f);
    if (r.Empty()) return r;
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    if (f.disposal == kGifDisposeBackground) {
        for (int32_t y = r.top; y < r.bottom; ++y) std::fill_n(CanvasAt(c, r.left, y), w, 0u);
        return r;
    }
    if (f.disposal == kGifDisposePrevious && c.savedRect == r &&
        c.saved.size() == static_cast<size_t>(w) * static_cast<size_t>(h)) {
        CopyRows(c.saved.data(), static_cast<size_t>(w), CanvasAt(c, r.left, r.top),
                 static_cast<size_t>(c.width), w, h);
        return r;
    }
    return GifRect{};
}

}  // namespace

GifRect ComposeGifFrame(GifComposition& c, int32_t width, int32_t height, const GifFrame* frames,
                          size_t frameCount, uint32_t index) {
    if (!frames || index >= frameCount || width <= 0 || height <= 0) return GifRect{};
    const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    GifRect changed;
    if (c.width != width || c.height != height || c.canvas.size() != pixels) {
        c.width = width;
        c.height = height;
        c.canvas.assign(pixels, 0u);
        c.shownIndex = -1;
    }
    if (c.shownIndex == static_cast<int64_t>(index)) return GifRect{};

    int64_t next = c.shownIndex + 1;
    if (c.shownIndex < 0 || static_cast<int64_t>(index) < c.shownIndex) {
        // A new start: the whole canvas goes back to transparent.
        ClearCanvas(c);
        changed = GifRect{0, 0, width, height};
        next = 0;
    } else {
        changed = UnionRect(changed, DisposeFrame(c, frames[c.shownIndex]));
    }
    for (int64_t i = next; i <= static_cast<int64_t>(index); ++i) {
        if (i > next) changed = UnionRect(changed, DisposeFrame(c, frames[i - 1]));
        changed = UnionRect(changed, DrawFrame(c, frames[i]));
    }
    c.shownIndex = index;
    return changed;
}
