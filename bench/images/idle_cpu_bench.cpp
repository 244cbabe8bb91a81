// CPU time of the whole viewer process while one big picture stays on screen
// (the panel's 100 ms tick repaints only when the picture changed; the
// prefetch thread checks its window every 300 ms). Measured as the viewer
// runs, and then, as the baseline, with a repaint and a fresh upload at every
// tick (what the panel did before it kept its copy and skipped unchanged ticks); also without any panel paint, which is
// what the viewer costs besides drawing. Goal: under 2% of one core. (Under
// Wine every Direct2D paint of the panel is rendered in software and read
// back through the window DC, a cost of its own whatever is drawn.)
//   image_idle_cpu_bench.exe <image> [seconds]
#include <windows.h>

#include <cstdio>

#include "bench/images/BenchViewer.h"

namespace {

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

template <typename Hook>
double CpuShare(DWORD ms, Hook hook) {
    const double cpu0 = CpuSeconds();
    const ULONGLONG t0 = GetTickCount64();
    PumpFor(ms, hook);
    const double wall = (GetTickCount64() - t0) / 1000.0;
    return (CpuSeconds() - cpu0) / wall;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);  // figures appear as they are measured
    if (argc < 2) {
        std::fprintf(stderr, "usage: image_idle_cpu_bench <image> [seconds]\n");
        return 2;
    }
    const DWORD ms = (argc > 2 ? _wtoi(argv[2]) : 10) * 1000;
    PlayerState* state = StartViewer(argv[1]);
    if (state->viewMode != ViewMode::ImageFolder || !WaitShown(*state, 60000)) {
        std::fprintf(stderr, "the picture was not shown\n");
        return 1;
    }
    VideoPanel& panel = *state->videoPanel;
    UINT w = 0, h = 0;
    if (panel.shownSource) panel.shownSource->GetSize(&w, &h);
    std::printf("picture %ux%u (%.1f MP) on a %dx%d panel\n", w, h, w * static_cast<double>(h) / 1e6,
                panel.width, panel.height);
    PumpFor(1500);  // the prefetch thread's first passes are over

    int ticks = 0;
    const double kept = CpuShare(ms, [&](MSG& m) {
        if (m.message == WM_TIMER && m.hwnd == panel.hwnd) ++ticks;
    });
    const int keptTicks = ticks;
    ticks = 0;
    const double uploaded = CpuShare(ms, [&](MSG& m) {
        if (m.message == WM_TIMER && m.hwnd == panel.hwnd) {
            ++ticks;
            panel.shownIndex = -1;  // forces the copy to be made again at this paint
            panel.paintedIndex = -1;  // and the paint itself, which an unchanged picture skips
        }
    });
    // The process without any panel paint, for scale: what the viewer costs
    // besides drawing (the prefetch thread's idle passes, the message loop).
    const double unpainted = CpuShare(ms / 2, [&](MSG& m) {
        if (m.message == WM_TIMER && m.hwnd == panel.hwnd) m.message = WM_NULL;
    });
    std::printf("without panel paints: %.2f%% of one core\n", unpainted * 100.0);
    const double seconds = ms / 1000.0;
    std::printf("as the viewer runs: %.2f%% of one core over %.0f s (%d ticks, %.0f ms CPU per tick)\n",
                kept * 100.0, seconds, keptTicks, kept * seconds * 1000.0 / (keptTicks ? keptTicks : 1));
    std::printf("upload at every paint (baseline): %.2f%% of one core (%d ticks, %.0f ms CPU per tick)\n",
                uploaded * 100.0, ticks, uploaded * seconds * 1000.0 / (ticks ? ticks : 1));
    // The baseline's UI thread cannot keep up with the ticks, so its share is
    // capped; per tick is the fairer comparison.
    const double perTickKept = kept / (keptTicks ? keptTicks : 1);
    const double perTickUploaded = uploaded / (ticks ? ticks : 1);
    std::printf("ratio kept / baseline: %.3f of the CPU share, %.3f of the CPU per tick\n",
                kept / uploaded, perTickKept / perTickUploaded);
    std::printf("under 2%% of one core: %s\n", kept < 0.02 ? "yes" : "no");
    CloseViewer(*state);
    return 0;
}
