#include "app/WineQuirks.h"

#include <atomic>

namespace {

std::atomic<bool> g_windowsAnswers{false};

// Decided once, at the first question (thread-safe static initialisation).
bool RunningUnderWine() {
    static const bool underWine = [] {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return underWine && !g_windowsAnswers.load(std::memory_order_relaxed);
}

}  // namespace

bool DrawThroughWindowDc() { return RunningUnderWine(); }

bool CopySizedPicturesByGdi() { return DrawThroughWindowDc(); }

bool RenderVideoIntoMainWindow() { return RunningUnderWine(); }

HWND VideoPresentationWindow(HWND panel) {
    if (!panel || !RenderVideoIntoMainWindow()) return panel;
    const HWND root = GetAncestor(panel, GA_ROOT);
    return root ? root : panel;
}

bool RendererTakesCallsWhilePlaying() { return !RunningUnderWine(); }

bool RepaintVideoOnlyWhilePaused() { return RunningUnderWine(); }

void ForceWindowsAnswers(bool windows) { g_windowsAnswers.store(windows, std::memory_order_relaxed); }

namespace {
std::atomic<int> g_forcedRebuildToMove{-1};
}  // namespace

bool RebuildSessionToMove() {
    const int forced = g_forcedRebuildToMove.load();
    return forced < 0 ? RunningUnderWine() : forced != 0;
}

void ForceRebuildSessionToMove(int answer) { g_forcedRebuildToMove.store(answer); }
