#include "ui/VideoSurface.h"

#include <algorithm>
#include <vector>

#include "app/DrawingResources.h"
#include "app/WineQuirks.h"
#include "video/OpenVideo.h"

namespace {

// Before the topology is built: the renderer's window, with the panel hidden
// where the renderer presents into the main window.
HWND PrepareVideoWindow(PlayerState& state) {
    const HWND panel = state.panelWindow.load();
    if (panel && RenderVideoIntoMainWindow()) ShowWindow(panel, SW_HIDE);
    return VideoPresentationWindow(panel);
}

// After an opening that failed: the panel shows the idle screen again (not
// while the program closes).
void RestorePanelAfterVideo(PlayerState& state) {
    const HWND panel = state.panelWindow.load();
    if (panel && RenderVideoIntoMainWindow() && !state.quitRequested.load()) ShowWindow(panel, SW_SHOW);
}

}  // namespace

bool OpenVideoOnPanel(PlayerState& state) {
    // The panel is hidden as late as can be: right before the renderer is
    // made. Under Wine, hiding it while the poster frame is still being read
    // (that reading handles sent messages) now and then ended the program at
    // start with an X error (BadWindow on an unmap) or left the main window
    // unmapped.
    if (!OpenVideoSource(state)) return false;
    if (StartVideoSession(state, PrepareVideoWindow(state))) return true;
    RestorePanelAfterVideo(state);
    return false;
}

bool VideoPresentsIntoMainWindow(const PlayerState& state) {
    const HWND panel = state.panelWindow.load();
    return state.viewMode == ViewMode::Video && panel && state.mainWindow &&
           VideoPresentationWindow(panel) == state.mainWindow;
}

namespace {

// The renderer's picture of the current pause, for a renderer that cannot
// present again by itself (Wine's answers RepaintVideo with E_NOTIMPL) but
// hands out the picture it shows - once per frame (Wine's). UI thread only;
// valid while the session stays paused at `position`.
struct PausedPicture {
    BITMAPINFO info{};
    std::vector<BYTE> pixels;
    int64_t position = -1;
};
PausedPicture g_pausedPicture;

// The destination PlaceVideo could not hand over yet (UI thread).
struct PendingDestination {
    RECT rect{};
    bool waiting = false;
};
PendingDestination g_pendingDestination;

// Hands the kept destination to the renderer, which takes it as the whole
// video window. One it refuses leaves it presenting as before; it is not
// offered again.
void HandOverDestination(const PlayerState& state) {
    if (!g_pendingDestination.waiting || !state.videoDisplayControl || state.quitRequested.load()) return;
    g_pendingDestination.waiting = false;
    (void)state.videoDisplayControl->SetVideoPosition(nullptr, &g_pendingDestination.rect);
}

bool TakeCurrentImage(IMFVideoDisplayControl* control, int64_t position, PausedPicture& picture) {
    if (picture.position == position && !picture.pixels.empty()) return true;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    BYTE* dib = nullptr;  // CoTaskMemAlloc'ed by the renderer, ours to free
    DWORD dibBytes = 0;
    LONGLONG timeStamp = 0;
    if (FAILED(control->GetCurrentImage(&info.bmiHeader, &dib, &dibBytes, &timeStamp)) || !dib) return false;
    picture.info = info;
    picture.pixels.assign(dib, dib + dibBytes);
    picture.position = position;
    CoTaskMemFree(dib);
    return info.bmiHeader.biWidth > 0 && info.bmiHeader.biHeight != 0;
}

// Draws `picture` into `window` by GDI, fitted and centred on black.
void PaintPicture(const PausedPicture& picture, HWND window) {
    const LONG width = picture.info.bmiHeader.biWidth;
    const LONG height = picture.info.bmiHeader.biHeight < 0 ? -picture.info.bmiHeader.biHeight
                                                             : picture.info.bmiHeader.biHeight;
    RECT client{};
    if (width <= 0 || height <= 0 || !GetClientRect(window, &client) || client.right <= 0 || client.bottom <= 0)
        return;
    HDC dc = GetDC(window);
    if (!dc) return;
    const double scale =
        std::min(static_cast<double>(client.right) / width, static_cast<double>(client.bottom) / height);
    const int w = static_cast<int>(width * scale + 0.5);
    const int h = static_cast<int>(height * scale + 0.5);
    const int x = (client.right - w) / 2;
    const int y = (client.bottom - h) / 2;
    FillBlack(dc, RECT{0, 0, client.right, y});
    FillBlack(dc, RECT{0, y + h, client.right, client.bottom});
    FillBlack(dc, RECT{0, y, x, y + h});
    FillBlack(dc, RECT{x + w, y, client.right, y + h});
    SetStretchBltMode(dc, HALFTONE);
    StretchDIBits(dc, x, y, w, h, 0, 0, width, height, picture.pixels.data(), &picture.info, DIB_RGB_COLORS,
                  SRCCOPY);
    ReleaseDC(window, dc);
}

}  // namespace

void PlaceVideo(PlayerState& state, int width, int height) {
    if (state.quitRequested.load() || width <= 0 || height <= 0) return;
    g_pendingDestination = PendingDestination{RECT{0, 0, width, height}, true};
    // Paused, the renderer's threads are idle; while it plays only a platform
    // whose renderer takes calls then is asked.
    if (state.videoPaused.load() || RendererTakesCallsWhilePlaying()) HandOverDestination(state);
}

void RepaintVideoWindow(const PlayerState& state) {
    const bool paused = state.videoPaused.load();
    // Nothing once the program closes: the renderer is being shut down.
    if (state.viewMode != ViewMode::Video || !state.videoDisplayControl || state.quitRequested.load()) {
        g_pausedPicture = PausedPicture{};
        return;
    }
    if (!paused) g_pausedPicture = PausedPicture{};
    if (!paused && RepaintVideoOnlyWhilePaused()) return;
    // A destination PlaceVideo kept for a pause is handed over first.
    if (paused) HandOverDestination(state);
    if (SUCCEEDED(state.videoDisplayControl->RepaintVideo()) || !paused) return;
    const HWND window = VideoPresentationWindow(state.panelWindow.load());
    if (window && TakeCurrentImage(state.videoDisplayControl, state.position.load(), g_pausedPicture))
        PaintPicture(g_pausedPicture, window);
}
