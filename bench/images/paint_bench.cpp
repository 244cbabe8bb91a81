// What one paint of a folder picture costs on the panel, as the viewer paints
// it now (a screen-size picture copied 1:1 to the window DC where drawing goes
// through it) against a Direct2D paint through the panel's render target of
// the same screen-size picture, and of the full-size picture scaled at paint
// (how pictures were drawn before they were kept at screen size). Direct2D
// paints are split into BindDC, BeginDraw..DrawBitmap and EndDraw. Medians of
// `paints` paints; ratios against the full-size Direct2D paint.
//   image_paint_bench.exe <image> [paints]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/ComPtr.h"
#include "app/DrawingResources.h"
#include "bench/images/BenchViewer.h"
#include "image/StillImage.h"

namespace {

double Now() {
    LARGE_INTEGER t, f;
    QueryPerformanceCounter(&t);
    QueryPerformanceFrequency(&f);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

struct Split {
    double bind = 0, draw = 0, end = 0, total = 0;
};

// One Direct2D paint of `bitmap` into `dest` on the panel's own target.
Split PaintWithDirect2D(VideoPanel& panel, ID2D1Bitmap* bitmap, const D2D1_RECT_F& dest) {
    Split s;
    ID2D1RenderTarget* target = DrawingTarget(panel.target);
    const double t0 = Now();
    HDC dc = nullptr;
    if (panel.target.dcTarget) {
        dc = GetDC(panel.hwnd);
        RECT client{};
        GetClientRect(panel.hwnd, &client);
        panel.target.dcTarget->BindDC(dc, &client);
    }
    const double t1 = Now();
    target->BeginDraw();
    target->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    target->DrawBitmap(bitmap, dest, 1.0f, D2D1_BITMAP_INTERPOLATION_MODE_LINEAR);
    const double t2 = Now();
    target->EndDraw();
    if (dc) ReleaseDC(panel.hwnd, dc);
    const double t3 = Now();
    s.bind = t1 - t0;
    s.draw = t2 - t1;
    s.end = t3 - t2;
    s.total = t3 - t0;
    return s;
}

void Report(const char* what, const std::vector<Split>& runs, double baseline) {
    std::vector<double> bind, draw, end, total;
    for (const Split& s : runs) {
        bind.push_back(s.bind);
        draw.push_back(s.draw);
        end.push_back(s.end);
        total.push_back(s.total);
    }
    std::printf("%-44s %8.1f ms (BindDC %.1f, BeginDraw..DrawBitmap %.1f, EndDraw %.1f), ratio %.3f\n",
                what, Median(total), Median(bind), Median(draw), Median(end), Median(total) / baseline);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 2) {
        std::fprintf(stderr, "usage: image_paint_bench <image> [paints]\n");
        return 2;
    }
    const int paints = argc > 2 ? _wtoi(argv[2]) : 9;
    PlayerState* state = StartViewer(argv[1]);
    if (state->viewMode != ViewMode::ImageFolder || !WaitShown(*state, 60000)) {
        std::fprintf(stderr, "the picture was not shown\n");
        return 1;
    }
    VideoPanel& panel = *state->videoPanel;
    PumpFor(1500);
    UINT w = 0, h = 0;
    panel.shownSource->GetSize(&w, &h);
    std::printf("%s on a %dx%d panel; kept picture %ux%u, original %ux%u\n",
                panel.target.dcTarget ? "drawing through the window DC" : "HWND render target",
                panel.width, panel.height, w, h, panel.shownOriginal.width, panel.shownOriginal.height);

    // As the viewer paints now: the whole WM_PAINT.
    std::vector<Split> now;
    for (int i = 0; i < paints; ++i) {
        panel.paintedIndex = -1;
        const double t0 = Now();
        SendMessageW(panel.hwnd, WM_PAINT, 0, 0);
        now.push_back(Split{0, 0, 0, Now() - t0});
    }

    ID2D1RenderTarget* target = DrawingTarget(panel.target);
    const ScreenRect& r = panel.shownFit.rect;
    const D2D1_RECT_F exact = D2D1::RectF(static_cast<float>(r.left), static_cast<float>(r.top),
                                          static_cast<float>(r.left + r.width),
                                          static_cast<float>(r.top + r.height));
    ComPtr<ID2D1Bitmap> screenSize;
    target->CreateBitmapFromWicBitmap(panel.shownSource, nullptr, screenSize.Put());
    std::vector<Split> direct2dScreen;
    for (int i = 0; screenSize && i < paints; ++i)
        direct2dScreen.push_back(PaintWithDirect2D(panel, screenSize.Get(), exact));

    // The full-size picture, uploaded once, scaled at every paint.
    IWICBitmap* full = nullptr;
    std::vector<Split> direct2dFull;
    if (DecodeStillImage(state->imagePaths[state->currentIndex.load()]->text, 0, 0, &full)) {
        ComPtr<ID2D1Bitmap> fullSize;
        target->CreateBitmapFromWicBitmap(full, nullptr, fullSize.Put());
        for (int i = 0; fullSize && i < paints; ++i)
            direct2dFull.push_back(PaintWithDirect2D(panel, fullSize.Get(), exact));
        full->Release();
    }
    const double baseline = direct2dFull.empty() ? 1.0 : Median([&] {
        std::vector<double> t;
        for (const Split& s : direct2dFull) t.push_back(s.total);
        return t;
    }());
    std::printf("median of %d paints each:\n", paints);
    Report("viewer's paint (WM_PAINT, screen-size)", now, baseline);
    Report("Direct2D, screen-size picture", direct2dScreen, baseline);
    Report("Direct2D, full-size picture scaled (before)", direct2dFull, baseline);
    CloseViewer(*state);
    return 0;
}
