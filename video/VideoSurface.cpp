#include "video/VideoSurface.h"

#include "app/DrawingResources.h"
#include "ui/VideoPanel.h"

HWND PrepareVideoWindow(PlayerState& state) {
    const HWND panel = state.videoPanel ? state.videoPanel->hwnd : nullptr;
    if (panel && PresentThroughWindowDc()) ShowWindow(panel, SW_HIDE);
    return VideoPresentationWindow(panel);
}

void RestorePanelAfterVideo(PlayerState& state) {
    const HWND panel = state.videoPanel ? state.videoPanel->hwnd : nullptr;
    if (panel && PresentThroughWindowDc() && !state.quitRequested.load()) ShowWindow(panel, SW_SHOW);
}

HWND VideoPresentationWindow(HWND panel) {
    if (!panel || !PresentThroughWindowDc()) return panel;
    const HWND root = GetAncestor(panel, GA_ROOT);
    return root ? root : panel;
}

bool VideoPresentsIntoMainWindow(const PlayerState& state) {
    return state.viewMode == ViewMode::Video && state.videoPanel && state.mainWindow &&
           VideoPresentationWindow(state.videoPanel->hwnd) == state.mainWindow;
}

void RepaintPausedVideo(const PlayerState& state) {
    if (state.viewMode == ViewMode::Video && state.videoPaused.load() && state.videoDisplayControl)
        state.videoDisplayControl->RepaintVideo();
}

int PopupShowCommand() { return PresentThroughWindowDc() ? SW_SHOWNA : SW_SHOW; }
