// The viewer's private bytes after stepping through 300 images against after
// 30, in a folder of large pictures: with the images outside the prefetch
// window released, memory must not grow with the number of images seen (goal:
// at most 1.1). Also the highest private bytes seen at any step, and the
// process's own peaks (peak commit charge, peak working set), against the
// goal of 600 MiB for a folder of 24 MP photographs on a 1920 x 1080 screen
// (each picture is kept at its on-screen size).
//   image_memory_bench.exe <first image> [first count] [second count]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>

#include "bench/images/BenchViewer.h"

namespace {

// PrivateUsage; Wine reports 0 there and the same figure (the commit
// charge, equal to PrivateUsage on Windows) as PagefileUsage.
double PrivateMegabytes() {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    const SIZE_T bytes = counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
    return static_cast<double>(bytes) / (1024.0 * 1024.0);
}

struct Peaks {
    double commit = 0, workingSet = 0;
};

Peaks ProcessPeaks() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
    return Peaks{static_cast<double>(counters.PeakPagefileUsage) / (1024.0 * 1024.0),
                 static_cast<double>(counters.PeakWorkingSetSize) / (1024.0 * 1024.0)};
}

int FilledSlots(const PlayerState& state) {
    int n = 0;
    for (int i = 0; i < state.imageCount; ++i) n += state.imageBitmaps[i].load() ? 1 : 0;
    return n;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    setvbuf(stdout, nullptr, _IONBF, 0);  // figures appear as they are measured
    if (argc < 2) {
        std::fprintf(stderr, "usage: image_memory_bench <first image> [30] [300]\n");
        return 2;
    }
    const int first = argc > 2 ? _wtoi(argv[2]) : 30;
    const int second = argc > 3 ? _wtoi(argv[3]) : 300;
    PlayerState* state = StartViewer(argv[1]);
    if (state->viewMode != ViewMode::ImageFolder) {
        std::fprintf(stderr, "the viewer did not start on a folder\n");
        return 1;
    }
    std::printf("folder of %d images\n", state->imageCount);
    const double start = PrivateMegabytes();
    if (!WaitShown(*state, 30000)) std::printf("first image not shown\n");
    double atFirst = 0, atSecond = 0, highest = 0;
    const ULONGLONG began = GetTickCount64();
    for (int step = 1; step <= second; ++step) {
        SendMessageW(state->mainWindow, WM_KEYDOWN, VK_RIGHT, 0);
        if (!WaitShown(*state, 30000)) std::printf("step %d: image not shown in 30 s\n", step);
        highest = std::max(highest, PrivateMegabytes());
        if (step == first || step == second) {
            // Measured with the whole window decoded around the new index.
            const int window = state->imageCount < 21 ? state->imageCount : 21;
            for (int waited = 0; FilledSlots(*state) < window && waited < 600; ++waited) PumpFor(100);
            PumpFor(1000);
            const double mb = PrivateMegabytes();
            highest = std::max(highest, mb);
            std::printf("after %3d steps: private %.0f MB, %d decoded slots, %.2f s per step\n", step,
                        mb, FilledSlots(*state), (GetTickCount64() - began) / 1000.0 / step);
            (step == first ? atFirst : atSecond) = mb;
        }
    }
    const Peaks peaks = ProcessPeaks();
    std::printf("private at start %.0f MB; highest seen at a step %.0f MB; process peaks: commit %.0f MB, "
                "working set %.0f MB (goal <= 600 MiB)\n",
                start, highest, peaks.commit, peaks.workingSet);
    std::printf("ratio private bytes %d / %d steps: %.3f (goal <= 1.10)\n", second, first,
                atSecond / atFirst);
    CloseViewer(*state);
    return 0;
}
