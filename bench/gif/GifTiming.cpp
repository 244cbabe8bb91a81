// How well the GIF ticks keep their schedule, and what a paint costs.
//
//   gif_timing.exe <file.gif> [seconds]
//
// Plays the file through the real mode start on a screen-sized drawing panel
// and records, on the UI thread, when each tick's paint starts and ends and
// which frame it draws. Tick n is due at the end of the first tick's paint
// plus the waits of the frames before it, so
//   error = paint start - due time,
// and a cycle is the time from one paint of frame 0 to the next. The baseline
// is a bare one-shot timeSetEvent chain with the same waits, each armed from
// its own due time, and no painting, run just before: the platform's own timer
// error. The report gives the cycle against the file's own, the paint times,
// whether a frame was skipped, and the errors of both with their ratio.
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <vector>

#include "app/Startup.h"
#include "image/AnimatedGif.h"
#include "image/GifRules.h"
#include "ui/VideoPanel.h"

namespace {

double g_ticksPerMs = 0;

double NowMs() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / g_ticksPerMs;
}

struct Paint {
    double start, end;
    uint32_t index;
};
std::vector<Paint> g_paints;
WNDPROC g_panelProc = nullptr;

LRESULT CALLBACK RecordingPanelProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    // A tick sends its paint with no update region; the system's paints are not ticks.
    if (message != WM_PAINT || GetUpdateRect(hwnd, nullptr, FALSE))
        return CallWindowProcW(g_panelProc, hwnd, message, wParam, lParam);
    Paint p{NowMs(), 0, CurrentState()->gifFrameIndex.load()};
    const LRESULT result = CallWindowProcW(g_panelProc, hwnd, message, wParam, lParam);
    p.end = NowMs();
    g_paints.push_back(p);
    return result;
}

void PumpFor(double ms) {
    const double end = NowMs() + ms;
    for (;;) {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        const double now = NowMs();
        if (now >= end) return;
        MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(end - now) + 1, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    }
}

struct Stats {
    double mean = 0, worst = 0;
    size_t count = 0;
};

Stats Summarise(const std::vector<double>& errors) {
    Stats s;
    s.count = errors.size();
    for (double e : errors) {
        s.mean += e;
        s.worst = std::max(s.worst, std::abs(e));
    }
    if (s.count) s.mean /= static_cast<double>(s.count);
    return s;
}

// ---- baseline: the same chain of waits on the same schedule, nothing painted ----
struct Baseline {
    std::vector<uint32_t> delays;
    uint32_t frameCount = 0;
    std::atomic<uint32_t> index{0};
    std::atomic<bool> stop{false};
    double dueMs = 0;              // timer thread only
    std::vector<double> fired;     // timer thread only until stop
    std::vector<double> due;
};
Baseline* g_baseline = nullptr;

void CALLBACK BaselineTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    Baseline& b = *g_baseline;
    if (b.stop.load()) return;
    const double now = NowMs();
    if (b.fired.empty()) b.dueMs = now;
    b.fired.push_back(now);
    b.due.push_back(b.dueMs);
    const GifStep step = NextGifStep(b.index.load(), b.frameCount, b.delays.data(), b.delays.size());
    b.index.store(step.index);
    const GifTickPlan plan =
        PlanNextGifTick(static_cast<int64_t>(b.dueMs * 1000.0), static_cast<int64_t>(NowMs() * 1000.0),
                        step.waitMs, GifCycleMs(b.delays.data(), b.delays.size(), b.frameCount));
    b.dueMs = static_cast<double>(plan.nextDueUs) / 1000.0;
    timeSetEvent(plan.armMs, 1, BaselineTick, 0, TIME_ONESHOT);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::fwprintf(stderr, L"usage: gif_timing <file.gif> [seconds]\n");
        return 2;
    }
    const double seconds = argc > 2 ? _wtof(argv[2]) : 5.0;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    g_ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    PlayerState* state = CreatePlayerState();
    CreateFactories();

    // The screen-sized window and panel, as the program makes them.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = L"KestrelonGifTiming";
    RegisterClassExW(&wc);
    state->mainWindow = CreateWindowExW(0, wc.lpszClassName, L"gif timing", WS_POPUP | WS_CLIPCHILDREN, 0,
                                        0, state->screenWidth, state->screenHeight, nullptr, nullptr,
                                        nullptr, nullptr);
    state->videoPanel = new VideoPanel();
    CreateVideoPanel(*state->videoPanel, state->mainWindow, state->screenWidth, state->screenHeight);
    ShowWindow(state->mainWindow, SW_SHOW);
    PumpFor(200);

    wcsncpy_s(state->filePath, argv[1], _TRUNCATE);
    state->viewMode = ViewMode::AnimatedGif;

    // Baseline first, with the file's own waits (decoded by the mode start
    // below; read here the same way through a throwaway decode).
    Baseline baseline;
    {
        std::vector<GifFrame> frames;
        std::vector<D2D1_RECT_F> rects;
        float w = 0, h = 0;
        if (!DecodeGif(state->filePath, &frames, &baseline.delays, &rects, &baseline.frameCount, &w, &h)) {
            std::fwprintf(stderr, L"cannot decode %ls\n", argv[1]);
            return 1;
        }
    }
    g_baseline = &baseline;
    timeSetEvent(kFirstGifTickMs, 1, BaselineTick, 0, TIME_ONESHOT);
    PumpFor(seconds * 1000.0);
    baseline.stop.store(true);
    PumpFor(100);
    std::vector<double> baseErrors;
    for (size_t i = 0; i < baseline.fired.size(); ++i) baseErrors.push_back(baseline.fired[i] - baseline.due[i]);

    // The real thing.
    g_panelProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        state->videoPanel->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingPanelProc)));
    if (!StartViewMode(*state)) {
        std::fwprintf(stderr, L"mode start failed\n");
        return 1;
    }
    PumpFor(seconds * 1000.0);
    state->quitRequested.store(true);
    timeKillEvent(state->mmTimerId.load());
    Sleep(50);
    PumpFor(50);

    const uint32_t frameCount = state->gifFrameCount;
    const uint64_t fileCycle = GifCycleMs(state->gifFrameDelays.data(), state->gifFrameDelays.size(), frameCount);
    std::vector<double> errors, paintTimes, cycles;
    size_t skipped = 0;
    // The schedule starts once the first frame is on screen, at the end of its paint.
    double due = g_paints.empty() ? 0 : g_paints[0].end;
    double lastFrame0 = -1;
    for (size_t i = 0; i < g_paints.size(); ++i) {
        const Paint& p = g_paints[i];
        if (i > 0) {
            const Paint& before = g_paints[i - 1];
            const uint32_t expected = NextGifStep(before.index, frameCount, nullptr, 0).index;
            if (p.index != expected) ++skipped;
            due += GifWaitForFrame(state->gifFrameDelays.data(), state->gifFrameDelays.size(), expected);
        }
        errors.push_back(i == 0 ? 0.0 : p.start - due);
        paintTimes.push_back(p.end - p.start);
        if (p.index == 0) {
            if (lastFrame0 >= 0) cycles.push_back(p.start - lastFrame0);
            lastFrame0 = p.start;
        }
        if (getenv("GIF_TIMING_VERBOSE"))
            std::printf("  frame %u: start %.1f paint %.2f error %.2f\n", p.index, p.start - g_paints[0].start,
                        p.end - p.start, errors.back());
    }
    const Stats base = Summarise(baseErrors), real = Summarise(errors), paint = Summarise(paintTimes);
    double cycleMean = 0, cycleWorst = 0;
    for (double c : cycles) {
        cycleMean += c;
        cycleWorst = std::max(cycleWorst, std::abs(c - static_cast<double>(fileCycle)));
    }
    if (!cycles.empty()) cycleMean /= static_cast<double>(cycles.size());
    std::printf("screen %dx%d, %u frames, %.1f s\n", state->screenWidth, state->screenHeight, frameCount,
                seconds);
    std::printf("cycle: file %llu ms, measured mean %.1f ms over %zu cycles (%.2f%% off), worst off by %.1f ms\n",
                static_cast<unsigned long long>(fileCycle), cycleMean, cycles.size(),
                fileCycle ? 100.0 * (cycleMean - static_cast<double>(fileCycle)) / static_cast<double>(fileCycle) : 0.0,
                cycleWorst);
    std::vector<double> sorted = paintTimes;
    std::sort(sorted.begin(), sorted.end());
    const double p95 = sorted.empty() ? 0.0 : sorted[(sorted.size() - 1) * 95 / 100];
    std::printf("paint time: mean %.2f ms, 95th percentile %.2f ms, worst %.2f ms over %zu paints\n",
                paint.mean, p95, paint.worst, paint.count);
    std::printf("frames skipped: %zu\n", skipped);
    std::printf("baseline timer chain: %zu ticks, error mean %.2f ms, worst %.2f ms\n", base.count, base.mean,
                base.worst);
    std::printf("GIF ticks:            %zu ticks, error mean %.2f ms, worst %.2f ms\n", real.count, real.mean,
                real.worst);
    std::printf("ratio of mean errors (GIF / baseline): %.2f\n", base.mean != 0 ? real.mean / base.mean : 0.0);
    return 0;
}
