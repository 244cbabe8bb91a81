#include "image/ScreenFit.h"

#include <cmath>

namespace {

int32_t RoundEdge(float edge) { return static_cast<int32_t>(std::lround(edge)); }

}  // namespace

ScreenFit FitOnScreen(uint32_t width, uint32_t height, int32_t panelWidth, int32_t panelHeight) {
    ScreenFit fit;
    if (width == 0 || height == 0 || panelWidth <= 0 || panelHeight <= 0) return fit;
    // The same float arithmetic as the panel's fit at k = 1, so the rounded
    // edges are those of the rectangle the panel would draw.
    const float bw = static_cast<float>(width);
    const float bh = static_cast<float>(height);
    const float w = static_cast<float>(panelWidth);
    const float h = static_cast<float>(panelHeight);
    float left, top, right, bottom;
    if (bh / bw > h / w) {
        const float dw = h / (bh / bw);
        left = (w - dw) * 0.5f;
        top = 0.0f;
        right = left + dw;
        bottom = h;
    } else {
        const float dh = w / (bw / bh);
        left = 0.0f;
        top = (h - dh) * 0.5f;
        right = w;
        bottom = top + dh;
    }
    ScreenRect& r = fit.rect;
    r.left = RoundEdge(left);
    r.top = RoundEdge(top);
    r.width = RoundEdge(right) - r.left;
    r.height = RoundEdge(bottom) - r.top;
    // A sliver thinner than half a pixel still shows as one row or column.
    if (r.width < 1) r.width = 1;
    if (r.height < 1) r.height = 1;
    if (r.left + r.width > panelWidth) r.left = panelWidth - r.width;
    if (r.top + r.height > panelHeight) r.top = panelHeight - r.height;

    if (static_cast<uint32_t>(r.width) <= width && static_cast<uint32_t>(r.height) <= height) {
        fit.keptWidth = static_cast<uint32_t>(r.width);
        fit.keptHeight = static_cast<uint32_t>(r.height);
    } else {
        fit.keptWidth = width;
        fit.keptHeight = height;
    }
    fit.exact = fit.keptWidth == static_cast<uint32_t>(r.width) &&
                fit.keptHeight == static_cast<uint32_t>(r.height);
    return fit;
}
