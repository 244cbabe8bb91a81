#include "ui/FitGeometry.h"

RectF FitIntoWindow(float bw, float bh, float windowWidth, float windowHeight, float k) {
    const float wd = windowWidth * k;
    const float hd = windowHeight * k;
    RectF r;
    if (bh / bw > windowHeight / windowWidth) {
        const float dw = hd / (bh / bw);
        r.left = (wd - dw) * 0.5f;
        r.top = 0.0f;
        r.right = r.left + dw;
        r.bottom = hd;
    } else {
        const float dh = wd / (bw / bh);
        r.left = 0.0f;
        r.top = (hd - dh) * 0.5f;
        r.right = wd;
        r.bottom = r.top + dh;
    }
    return r;
}

RectF PlaceGifFrame(const RectF& frame, float gw, float gh, float windowWidth, float windowHeight,
                    float k) {
    float s, ox, oy;
    if (gh / gw > windowHeight / windowWidth) {
        s = windowHeight * k / gh;
        ox = (windowWidth * k - gw * s) * 0.5f;
        oy = 0.0f;
    } else {
        s = windowWidth * k / gw;
        ox = 0.0f;
        oy = (windowHeight * k - gh * s) * 0.5f;
    }
    const float l = frame.left, t = frame.top;
    const float r = l + (frame.right - l), b = t + (frame.bottom - t);
    return RectF{l * s + ox, t * s + oy, r * s + ox, b * s + oy};
}

IdleLayout ComputeIdleLayout(float windowWidth, float windowHeight, float k) {
    // Extra gap before each help line, in units of k.
    static const float kGapBefore[12] = {80, 10, 0, 30, 50, 10, 0, 0, 0, 0, 0, 0};
    IdleLayout layout;
    const float x0 = windowWidth * 0.25f;  // taken from pixels, not scaled
    const float y0 = windowHeight / 6.0f;
    const float m = windowHeight / 30.0f * k;  // line pitch: the title font size
    const float boxWidth = windowWidth * 0.5f * k;

    layout.icon = RectF{x0, y0 - 20.0f, x0 + 80.0f, y0 + 60.0f};
    layout.caption = RectF{x0 + 100.0f, y0, x0 + 100.0f + boxWidth, y0 + m};
    float top = y0;
    for (int i = 0; i < 12; ++i) {
        top += m + kGapBefore[i] * k;
        layout.helpLines[i] = RectF{x0, top, x0 + boxWidth, top + m};
    }
    return layout;
}
