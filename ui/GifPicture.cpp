#include "ui/GifPicture.h"

#include <algorithm>
#include <cmath>

#include "ui/FitGeometry.h"

namespace {

// For each of `pictureSize` picture pixels, the canvas pixel under its centre;
// and for each canvas pixel the first picture pixel showing it (the picture
// size after the last), so a canvas span maps to a picture span by two lookups.
void MapAxis(int32_t canvasSize, int32_t pictureSize, std::vector<int32_t>& source,
             std::vector<int32_t>& first) {
    source.resize(static_cast<size_t>(pictureSize));
    first.assign(static_cast<size_t>(canvasSize) + 1, pictureSize);
    for (int32_t p = 0; p < pictureSize; ++p) {
        const int64_t s = (static_cast<int64_t>(2 * p + 1) * canvasSize) / (2 * int64_t{pictureSize});
        source[static_cast<size_t>(p)] = static_cast<int32_t>(std::min<int64_t>(s, canvasSize - 1));
    }
    // Walk backwards so each canvas pixel keeps its smallest picture pixel;
    // canvas pixels no picture pixel shows (a picture smaller than the canvas)
    // take the next shown one's, so their span is empty.
    for (int32_t p = pictureSize - 1; p >= 0; --p) first[static_cast<size_t>(source[static_cast<size_t>(p)])] = p;
    for (int32_t s = canvasSize - 1; s >= 0; --s)
        first[static_cast<size_t>(s)] = std::min(first[static_cast<size_t>(s)], first[static_cast<size_t>(s) + 1]);
}

int32_t RoundToPixel(float v) { return static_cast<int32_t>(std::lround(v)); }

}  // namespace

GifFit FitGifCanvas(int32_t canvasWidth, int32_t canvasHeight, int32_t screenWidth, int32_t screenHeight) {
    GifFit fit;
    if (canvasWidth <= 0 || canvasHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) return fit;
    fit.canvasWidth = canvasWidth;
    fit.canvasHeight = canvasHeight;
    const float gw = static_cast<float>(canvasWidth), gh = static_cast<float>(canvasHeight);
    const RectF placed = PlaceGifFrame(RectF{0, 0, gw, gh}, gw, gh, static_cast<float>(screenWidth),
                                       static_cast<float>(screenHeight), 1.0f);
    GifRect dest{RoundToPixel(placed.left), RoundToPixel(placed.top), RoundToPixel(placed.right),
                   RoundToPixel(placed.bottom)};
    // A canvas far longer than wide still shows as at least one pixel across.
    dest.right = std::max(dest.right, dest.left + 1);
    dest.bottom = std::max(dest.bottom, dest.top + 1);
    fit.dest = ClipRect(dest, screenWidth, screenHeight);
    if (fit.dest.Empty()) return fit;
    MapAxis(canvasWidth, fit.dest.right - fit.dest.left, fit.sourceX, fit.firstX);
    MapAxis(canvasHeight, fit.dest.bottom - fit.dest.top, fit.sourceY, fit.firstY);
    return fit;
}

GifRect PictureRectOf(const GifFit& fit, const GifRect& canvasRect) {
    const GifRect r = ClipRect(canvasRect, fit.canvasWidth, fit.canvasHeight);
    if (r.Empty() || fit.firstX.empty() || fit.firstY.empty()) return GifRect{};
    const GifRect picture{fit.firstX[static_cast<size_t>(r.left)], fit.firstY[static_cast<size_t>(r.top)],
                            fit.firstX[static_cast<size_t>(r.right)], fit.firstY[static_cast<size_t>(r.bottom)]};
    return picture.Empty() ? GifRect{} : picture;
}

void ScaleIntoPicture(const GifFit& fit, const uint32_t* canvas, uint32_t* picture,
                      const GifRect& pictureRect) {
    const int32_t pictureWidth = fit.dest.right - fit.dest.left;
    const int32_t pictureHeight = fit.dest.bottom - fit.dest.top;
    const GifRect r = ClipRect(pictureRect, pictureWidth, pictureHeight);
    if (!canvas || !picture || r.Empty()) return;
    const size_t canvasStride = static_cast<size_t>(fit.canvasWidth);
    const int32_t* sourceX = fit.sourceX.data();
    for (int32_t y = r.top; y < r.bottom; ++y) {
        const uint32_t* from = canvas + static_cast<size_t>(fit.sourceY[static_cast<size_t>(y)]) * canvasStride;
        uint32_t* to = picture + static_cast<size_t>(y) * static_cast<size_t>(pictureWidth);
        // Rows showing the same canvas row are equal: copy the one above.
        if (y > r.top && fit.sourceY[static_cast<size_t>(y)] == fit.sourceY[static_cast<size_t>(y) - 1]) {
            const uint32_t* above = to - pictureWidth;
            std::copy(above + r.left, above + r.right, to + r.left);
            continue;
        }
        for (int32_t x = r.left; x < r.right; ++x) to[x] = from[sourceX[x]];
    }
}
