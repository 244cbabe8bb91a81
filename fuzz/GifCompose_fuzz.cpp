// GIF composition with frame rectangles, sizes, disposals and a walk of
// indices from the file: the canvas keeps the screen's size, nothing is
// written outside it (ASan), the changed rectangle holds every changed pixel,
// a frame reached by any walk shows as it does when composed afresh, and
// frames of one opaque colour leave a flat canvas.
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "image/GifCompose.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const int32_t width = in.Take<uint8_t>() % 48 + 1, height = in.Take<uint8_t>() % 48 + 1;
    const uint8_t shape = in.Take<uint8_t>();
    const bool flat = shape & 1;  // every pixel of every frame one opaque colour
    std::vector<GifFrame> frames(shape / 2 % 6 + 1);
    for (GifFrame& f : frames) {
        // Mostly near the screen, now and then anywhere in the 32-bit range.
        const int32_t left = in.Take<int16_t>(), top = in.Take<int16_t>();
        f.left = (left & 0x100) ? left * 65536 : left % 64;
        f.top = (top & 0x100) ? top * 65536 : top % 64;
        f.width = in.Take<uint8_t>() % 64;
        f.height = in.Take<uint8_t>() % 64;
        f.disposal = in.Take<uint8_t>() % 8;
        if (in.Take<uint8_t>() % 8 == 0) continue;  // a frame that did not decode
        f.pixels.resize(static_cast<size_t>(f.width) * f.height);
        for (uint32_t& p : f.pixels) {
            const uint8_t b = in.Take<uint8_t>();
            p = flat ? 0xFF3366CCu : ((b & 1) ? 0xFF000000u | b * 0x010101u : 0);
        }
    }
    GifComposition walked;
    std::vector<uint32_t> before;
    bool composed = false;  // the canvas is made by the first frame composed
    for (int step = 0; step < 12 && in.size > 0; ++step) {
        const uint32_t index = in.Take<uint8_t>() % (frames.size() + 1);  // one past the end too
        before = walked.canvas;
        const GifRect changed = ComposeGifFrame(walked, width, height, frames.data(), frames.size(), index);
        composed = composed || index < frames.size();
        if (walked.canvas.size() != (composed ? static_cast<size_t>(width) * height : 0)) std::abort();
        if (!changed.Empty() && (changed.left < 0 || changed.top < 0 || changed.right > width ||
                                 changed.bottom > height))
            std::abort();
        for (int32_t y = 0; composed && y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y) * width + x;
                const bool inside = x >= changed.left && x < changed.right && y >= changed.top && y < changed.bottom;
                const uint32_t was = before.empty() ? 0 : before[i];
                if (!inside && walked.canvas[i] != was) std::abort();
                if (flat && walked.canvas[i] != 0 && walked.canvas[i] != 0xFF3366CCu) std::abort();
            }
        if (index >= frames.size()) continue;
        GifComposition fresh;
        ComposeGifFrame(fresh, width, height, frames.data(), frames.size(), index);
        if (fresh.canvas != walked.canvas) std::abort();
    }
    return 0;
}
