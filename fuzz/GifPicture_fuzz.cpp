// The GIF picture's scaling with canvas and screen sizes and a changed canvas
// rectangle from the file: the picture lies on the screen, each of its pixels
// shows the canvas pixel under its centre, the picture part of a changed
// canvas rectangle covers every picture pixel showing it, re-scaling writes
// inside that part only (ASan for the buffers), and a flat canvas stays flat.
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "ui/GifPicture.h"

namespace {
// The canvas pixel under the centre of picture pixel p, in exact integers.
int32_t UnderCentre(int32_t p, int32_t canvasSize, int32_t pictureSize) {
    const int64_t s = (2 * int64_t{p} + 1) * canvasSize / (2 * int64_t{pictureSize});
    return static_cast<int32_t>(s < canvasSize ? s : canvasSize - 1);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const int32_t canvasWidth = in.Take<uint16_t>() % 300 + 1, canvasHeight = in.Take<uint16_t>() % 300 + 1;
    const int32_t screenWidth = in.Take<uint16_t>() % 320 + 1, screenHeight = in.Take<uint16_t>() % 240 + 1;
    const bool flat = in.Take<uint8_t>() & 1;
    const GifFit fit = FitGifCanvas(canvasWidth, canvasHeight, screenWidth, screenHeight);
    const GifRect d = fit.dest;
    if (d.Empty() || d.left < 0 || d.top < 0 || d.right > screenWidth || d.bottom > screenHeight) std::abort();
    const int32_t w = d.right - d.left, h = d.bottom - d.top;
    // Fitted: one side fills the screen (within rounding).
    if (w < screenWidth - 1 && h < screenHeight - 1) std::abort();
    if (fit.sourceX.size() != static_cast<size_t>(w) || fit.sourceY.size() != static_cast<size_t>(h)) std::abort();
    for (int32_t x = 0; x < w; ++x)
        if (fit.sourceX[x] != UnderCentre(x, canvasWidth, w)) std::abort();
    for (int32_t y = 0; y < h; ++y)
        if (fit.sourceY[y] != UnderCentre(y, canvasHeight, h)) std::abort();

    GifRect changed;
    changed.left = in.Take<int16_t>() % 320;
    changed.top = in.Take<int16_t>() % 320;
    changed.right = changed.left + in.Take<uint16_t>() % 320;
    changed.bottom = changed.top + in.Take<uint16_t>() % 320;
    const GifRect part = PictureRectOf(fit, changed);
    if (!part.Empty() && (part.left < 0 || part.top < 0 || part.right > w || part.bottom > h)) std::abort();
    std::vector<uint32_t> canvas(static_cast<size_t>(canvasWidth) * canvasHeight);
    for (size_t i = 0; i < canvas.size(); ++i) canvas[i] = flat ? 0xFF20A040u : static_cast<uint32_t>(i * 2654435761u);
    std::vector<uint32_t> picture(static_cast<size_t>(w) * h, 0xDEADBEEFu);
    ScaleIntoPicture(fit, canvas.data(), picture.data(), part);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int32_t sx = fit.sourceX[x], sy = fit.sourceY[y];
            const bool shows = sx >= changed.left && sx < changed.right && sy >= changed.top && sy < changed.bottom;
            const bool inPart = !part.Empty() && x >= part.left && x < part.right && y >= part.top && y < part.bottom;
            if (shows && !inPart) std::abort();
            const uint32_t got = picture[static_cast<size_t>(y) * w + x];
            const uint32_t want = inPart ? canvas[static_cast<size_t>(sy) * canvasWidth + sx] : 0xDEADBEEFu;
            if (got != want) std::abort();
        }
    return 0;
}
