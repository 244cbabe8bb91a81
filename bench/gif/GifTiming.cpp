// How far the GIF frame changes land from their schedule.
//
//   gif_timing.exe <file.gif> [seconds]
//
// Plays the file through the real mode start on a screen-sized drawing panel
// and records, on the UI thread, when each tick's paint starts and ends and
// which frame it draws. A tick is due its frame's wait after the end of the
// previous tick's paint (the wait is measured from the end of the repaint), so
//   error = paint start - (previous paint end + wait of the frame painted).
// The baseline is a bare one-shot timeSetEvent chain with the same waits and
// no painting, run just before: the platform's own timer error. The report
// gives mean and worst of both, their ratio, and the paint times.
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
    // Only paints with something to update draw (the panel skips the echo of one that ran).
    if (message != WM_PAINT || !GetUpdateRect(hwnd, nullptr, FALSE))
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

// ---- baseline: the same chain of waits, nothing painted ----
struct Baseline {
    std::vector<uint32_t> delays;
    uint32_t frameCount = 0;
    std::atomic<uint32_t> index{0};
    std::atomic<bool> stop{false};
    std::vector<double> fired;     // timer thread only until stop
    std::vector<uint32_t> waits;   // the wait armed after each firing
};
Baseline* g_baseline = nullptr;

void CALLBACK BaselineTick(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    Baseline& b = *g_baseline;
    if (b.stop.load()) return;
    b.fired.push_back(NowMs());
    const GifStep step = NextGifStep(b.index.load(), b.frameCount, b.delays.data(), b.delays.size());
    b.index.store(step.index);
    b.waits.push_back(step.waitMs);
    timeSetEvent(step.waitMs, 1, BaselineTick, 0, TIME_ONESHOT);
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
        std::vector<ID2D1Bitmap*> frames;
        std::vector<D2D1_RECT_F> rects;
        float w = 0, h = 0;
        if (!DecodeGif(state->filePath, nullptr, &frames, &baseline.delays, &rects,
                       &baseline.frameCount, &w, &h)) {
            std::fwprintf(stderr, L"cannot decode %ls\n", argv[1]);
            return 1;
        }
    }
    g_baseline = &baseline;
    const double baseStart = NowMs();
    timeSetEvent(kFirstGifTickMs, 1, BaselineTick, 0, TIME_ONESHOT);
    PumpFor(seconds * 1000.0);
    baseline.stop.store(true);
    PumpFor(100);
    std::vector<double> baseErrors;
    double previous = baseStart;
    uint32_t wait = kFirstGifTickMs;
    for (size_t i = 0; i < baseline.fired.size(); ++i) {
        baseErrors.push_back(baseline.fired[i] - (previous + wait));
        previous = baseline.fired[i];
        wait = baseline.waits[i];
    }

    // The real thing.
    g_panelProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        state->videoPanel->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordingPanelProc)));
    if (!StartViewMode(*state)) {
        std::fwprintf(stderr, L"mode start failed\n");
        return 1;
    }
    // The first tick is armed as the mode start's last step.
    const double modeStart = NowMs();
    PumpFor(seconds * 1000.0);
    state->quitRequested.store(true);
    timeKillEvent(state->mmTimerId.load());
    Sleep(50);
    PumpFor(50);

    // The first tick comes kFirstGifTickMs after the mode start; any paint
    // before it (the window's own) is not a tick.
    std::vector<double> errors, paintTimes;
    double previousEnd = modeStart;
    double ideal = modeStart;  // the schedule without paint times
    wait = kFirstGifTickMs;
    double drift = 0;
    for (const Paint& p : g_paints) {
        errors.push_back(p.start - (previousEnd + wait));
        if (getenv("GIF_TIMING_VERBOSE"))
            std::printf("  frame %u: start %.1f end %.1f wait %u error %.2f\n", p.index, p.start - modeStart,
                        p.end - modeStart, wait, errors.back());
        paintTimes.push_back(p.end - p.start);
        ideal += wait;
        drift = p.start - ideal;
        previousEnd = p.end;
        wait = GifWaitForFrame(state->gifFrameDelays.data(), state->gifFrameDelays.size(),
                               NextGifStep(p.index, state->gifFrameCount, nullptr, 0).index);
    }
    const Stats base = Summarise(baseErrors), real = Summarise(errors), paint = Summarise(paintTimes);
    std::printf("screen %dx%d, %u frames, %.1f s\n", state->screenWidth, state->screenHeight,
                state->gifFrameCount, seconds);
    std::printf("baseline timer chain: %zu ticks, error mean %.2f ms, worst %.2f ms\n", base.count,
                base.mean, base.worst);
    std::printf("GIF ticks:            %zu ticks, error mean %.2f ms, worst %.2f ms\n", real.count,
                real.mean, real.worst);
    std::printf("paint time:           mean %.2f ms, worst %.2f ms\n", paint.mean, paint.worst);
    std::printf("ratio of mean errors (GIF / baseline): %.2f\n",
                base.mean != 0 ? real.mean / base.mean : 0.0);
    std::printf("drift from the paint-free schedule after %zu ticks: %.1f ms\n", real.count, drift);
    return 0;
}
