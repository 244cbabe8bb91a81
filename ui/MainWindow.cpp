#include "ui/MainWindow.h"

#include <shlwapi.h>

#include "app/DrawingResources.h"
#include "app/StageTrace.h"
#include "app/WindowPlumbing.h"
#include "app/WineQuirks.h"
#include "image/Prefetch.h"
#include "ui/ControlBar.h"
#include "ui/OwnedWindow.h"
#include "ui/VideoPanel.h"
#include "ui/VideoSurface.h"
#include "video/OpenVideo.h"
#include "video/Playback.h"
#include "video/PosterFrame.h"
#include "video/DisplayAwake.h"

namespace {

constexpr wchar_t kMainWindowClass[] = L"CLASS_MAINWINDOW";
constexpr wchar_t kPopupWindowClass[] = L"CLASS_VIDEOPOPUPWND";
constexpr LONG kCaptionMask = 0xFF3FFFFF;  // everything but WS_CAPTION
// The bar is shown without activation: it must not take the focus from the
// main window (keys) nor the activation from another application.
constexpr UINT kTopmostShow = SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE;  // 0x53
constexpr UINT kTopmostHide = SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE;  // 0x83
constexpr int64_t kOneSecond = 10'000'000;
constexpr int64_t kTenSeconds = 100'000'000;
// The longest the clip's end waits for a poster still being read.
constexpr ULONGLONG kPosterWaitAtEndMs = 2000;

HWND ControlBarWindow(const PlayerState& state) {
    return state.controlWindow ? state.controlWindow->hwnd : nullptr;
}

void ToggleControlBar(PlayerState& state) {
    const HWND bar = ControlBarWindow(state);
    if (!state.controlBarVisible) {
        state.controlBarVisible = true;
        SetWindowPos(bar, HWND_TOPMOST, 0, 0, 0, 0, kTopmostShow);
        if (bar) RepaintWindow(bar);
        ShowMouseCursor();
    } else {
        state.controlBarVisible = false;
        SetWindowPos(bar, HWND_TOPMOST, 0, 0, 0, 0, kTopmostHide);
        SetFocus(state.mainWindow);
        HideMouseCursor();
    }
}

// The seek keys: ten seconds on from the position the bar shows (the clock's,
// or the target of a seek still under way, so quick presses add up), playing
// or paused alike. Nothing within a second of the clip's ends.
void SeekByKey(PlayerState& state, bool forward) {
    const int64_t duration = state.duration.load();
    const int64_t position = state.position.load();
    if (duration <= 0) return;
    if (forward ? !(position < duration - kOneSecond) : !(position > kOneSecond)) return;
    SeekVideo(state, forward ? position + kTenSeconds : position - kTenSeconds);
}

// The main window shows black wherever nothing covers it. A lost device: a new
// target, and the black drawn on it at once.
bool DrawMainWindowOnce(PlayerState& state) {
    ID2D1RenderTarget* rt = BeginWindowDraw(state.mainTarget);
    if (!rt) return false;
    rt->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
    return EndWindowDraw(state.mainTarget);
}

void PaintMainWindow(PlayerState& state) {
    if (!DrawMainWindowOnce(state)) return;
    RemakeWindowTarget(state.mainTarget);
    DrawMainWindowOnce(state);
}

void CloseProgram(PlayerState& state) {
    // A second close while this one waits (a window manager's close handled
    // during the shutdown's wait, Alt+F4 pressed twice) finds it under way.
    if (state.quitRequested.exchange(true)) return;
    const uint32_t timer = state.mmTimerId.load();
    if (timer != 0) timeKillEvent(timer);
    ShutdownVideo(state);  // the renderer stops presenting before its window goes
    KeepDisplayAwake(false);
    Sleep(50);  // a timer tick in progress finishes before the windows go
    DestroyWindow(state.mainWindow);
    PostQuitMessage(1);
}

}  // namespace

void HideMouseCursor() {
    while (ShowCursor(FALSE) >= 0) {
    }
}

void ShowMouseCursor() {
    while (ShowCursor(TRUE) < 0) {
    }
}

POINT ControlBarPosition(int screenWidth, int screenHeight) {
    return POINT{(screenWidth - kControlBarWidth) / 2, screenHeight - 180};
}

MonitorAreaFilter g_monitorAreaFilter = nullptr;

SIZE ScreenSizeOf(HWND window) {
    RECT area{};
    MONITORINFO info{};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info)) area = info.rcMonitor;
    if (g_monitorAreaFilter) area = g_monitorAreaFilter(window, area);
    return SIZE{area.right - area.left, area.bottom - area.top};
}

void ApplyScreenChange(PlayerState& state, int width, int height, bool newDpi) {
    // The close is under way (a change broadcast during its wait): the windows
    // are going, and the renderer is shutting down and must not be called.
    if (state.quitRequested.load()) return;
    if (width <= 0 || height <= 0) return;
    TraceStage("screen changed to width", width);
    state.screenWidth = width;
    state.screenHeight = height;
    // Folder pictures are kept at their size on the panel: the ring decodes
    // them again for the new one. The slots are emptied before the panel
    // paints, so that it draws the picture it keeps fitted (a cheap GDI
    // stretch) rather than an old-size slot through Direct2D.
    SetRingPanelSize(state, width, height);
    ReleaseImagesOfAnotherSize(state);
    // Everything the panel's paint needs is made for the new size while the
    // main window still has the old one. Then the window takes the new size
    // and the window showing the picture is painted at once, before the rest:
    // the area a growing window newly covers is unpainted (black) only for
    // that one paint, not for all the work below as well.
    ResizeWindowTarget(state.mainTarget, width, height);
    if (state.videoPanel) ResizeVideoPanel(*state.videoPanel, width, height);
    SetWindowPos(state.mainWindow, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    const HWND panel = state.panelWindow.load();
    const HWND picture = panel && IsWindowVisible(panel) ? panel : state.mainWindow;
    RedrawWindow(picture, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    if (state.popupWindow) ResizePopupWindow(*state.popupWindow, width, height);
    if (ControlWindow* bar = state.controlWindow) {
        const POINT place = ControlBarPosition(width, height);
        MoveControlWindow(*bar, place.x, place.y);
        if (newDpi) ControlBarDpiChanged(*bar);
    }
    PlaceVideo(state, width, height);
    // What the size change left invalid is painted now; the picture, painted
    // above, is not invalidated again.
    RedrawWindow(state.mainWindow, nullptr, nullptr, RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (state.controlBarVisible && state.controlWindow) RepaintWindow(state.controlWindow->hwnd);
}

void CreateAppWindows(PlayerState& state) {
    // The main window's class carries the application icon, large and small,
    // which the task bar and Alt+Tab show.
    RegisterWindowClass(kMainWindowClass, MainWindowProc, LoadAppIcon(SM_CXICON, SM_CYICON),
                        LoadAppIcon(SM_CXSMICON, SM_CYSMICON));
    state.mainWindow = CreateWindowExW(0, kMainWindowClass, kWindowTitle, WS_CLIPCHILDREN, 0, 0,
                                       state.screenWidth, state.screenHeight, GetDesktopWindow(),
                                       nullptr, nullptr, nullptr);
    SetWindowLongPtrW(state.mainWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
    // A new size keeps what the window showed where it still lies (the panel's
    // picture is in the main window's surface): a display change would
    // otherwise blank the whole window until the panel's paint.
    SetClassLongPtrW(state.mainWindow, GCL_STYLE,
                     GetClassLongPtrW(state.mainWindow, GCL_STYLE) & ~(CS_HREDRAW | CS_VREDRAW));
    SetWindowLongW(state.mainWindow, GWL_STYLE,
                   GetWindowLongW(state.mainWindow, GWL_STYLE) & kCaptionMask);
    // Let the system recompute the frame now that the caption is gone, so the
    // client area is the whole screen.
    SetWindowPos(state.mainWindow, nullptr, 0, 0, state.screenWidth, state.screenHeight,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);

    state.videoPanel = new VideoPanel();
    state.videoPanel->baseRed = 150;
    state.videoPanel->baseGreen = 140;
    state.videoPanel->baseBlue = 150;
    CreateVideoPanel(*state.videoPanel, state.mainWindow, state.screenWidth, state.screenHeight);
    state.panelWindow.store(state.videoPanel->hwnd);

    PopupWindow* popup = new PopupWindow();
    popup->width = state.screenWidth;
    popup->height = state.screenHeight;
    state.popupWindow = popup;
    RegisterWindowClass(kPopupWindowClass, PopupWindowProc);
    // WS_EX_NOACTIVATE: the pop-up comes and goes at every loop of a clip; were
    // it activated each time, the focus would bounce between it and the main
    // window, and a window manager would drop keys typed in between.
    popup->hwnd = CreateWindowExW(WS_EX_NOACTIVATE, kPopupWindowClass, kWindowTitle, WS_POPUP, 0, 0,
                                  popup->width, popup->height, state.mainWindow, nullptr, nullptr,
                                  nullptr);
    SetWindowLongPtrW(popup->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(popup));
    // An HWND target everywhere: a top-level window without children shows
    // Direct3D output under Wine as well.
    CreateWindowTarget(popup->target, popup->hwnd, false);
    ShowWindow(popup->hwnd, SW_HIDE);

    CreateWindowTarget(state.mainTarget, state.mainWindow, DrawThroughWindowDc());

    LoadPanelIcon(state);

    state.controlWindow = new ControlWindow();
    const POINT bar = ControlBarPosition(state.screenWidth, state.screenHeight);
    CreateControlWindow(*state.controlWindow, state.mainWindow, bar.x, bar.y);
    if (HWND barWindow = ControlBarWindow(state)) {
        SetWindowPos(barWindow, HWND_TOPMOST, 0, 0, 0, 0, kTopmostHide);
        RepaintWindow(barWindow);
    }
}

namespace {

// Arrow presses already queued behind the one being handled (auto-repeat of a
// held key, or presses faster than a paint) are taken off the queue here, and
// their steps counted, so only the image they lead to is painted: every press
// still steps one image, but no backlog of paints builds up in front of the
// next command. Only the head of the queue is ever taken, so input keeps its
// order: any other message first (another key, a click, a message posted to
// a window) ends the run and is handled in its turn. The keys sit in the queue
// of whichever of our windows has the focus; each of those passes them to the
// main window. An arrow's release does nothing anywhere and is taken too, so
// quick presses merge like held ones.
bool PassesKeysToMainWindow(const PlayerState& state, HWND window) {
    return window &&
           (window == state.mainWindow || window == ControlBarWindow(state) ||
            (state.videoPanel && window == state.videoPanel->hwnd) ||
            (state.popupWindow && window == state.popupWindow->hwnd));
}

int64_t TakeQueuedArrowSteps(const PlayerState& state) {
    int64_t steps = 0;
    MSG next;
    while (PeekMessageW(&next, nullptr, 0, 0, PM_NOREMOVE)) {
        const bool arrow = next.wParam == VK_LEFT || next.wParam == VK_RIGHT;
        if (!arrow || (next.message != WM_KEYDOWN && next.message != WM_KEYUP) ||
            !PassesKeysToMainWindow(state, next.hwnd))
            break;
        // The head of the queue is the first message of its kind for its window.
        PeekMessageW(&next, next.hwnd, next.message, next.message, PM_REMOVE);
        if (next.message == WM_KEYDOWN) steps += next.wParam == VK_RIGHT ? 1 : -1;
    }
    return steps;
}

}  // namespace

void HandleKeyCommand(PlayerState& state, UINT key) {
    switch (key) {
        case VK_F11:
            SendMessageW(state.mainWindow, WM_CLOSE, 0, 0);
            return;
        case VK_SPACE:
            SendMessageW(state.mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, 0);
            return;
        case VK_LEFT:
        case VK_RIGHT:
            if (state.viewMode == ViewMode::ImageFolder && state.imageCount > 0) {
                const int64_t steps = (key == VK_RIGHT ? 1 : -1) + TakeQueuedArrowSteps(state);
                const int64_t count = state.imageCount;
                const int64_t index = ((state.currentIndex.load() + steps) % count + count) % count;
                state.currentIndex.store(static_cast<int32_t>(index));
                TraceStage("step to", index);
                // Both paints happen before the key returns: the index text, then the image.
                if (HWND bar = ControlBarWindow(state)) SendMessageW(bar, WM_PAINT, 0, 0);
                SendMessageW(state.videoPanel->hwnd, WM_PAINT, 0, 0);
            } else if (state.viewMode == ViewMode::Video) {
                SeekByKey(state, key == VK_RIGHT);
            }
            return;
        case 'P':
            if (state.viewMode != ViewMode::Video) return;
            if (state.videoPlaying.load() && !state.videoPaused.load()) {
                PauseVideo(state);
            } else if (state.videoPaused.load() && g_sessionReady.load()) {
                state.videoPaused.store(false);
                PlayVideo(state);
            }
            // The bar works out the play button's face from the state.
            if (state.controlWindow) RepaintWindow(state.controlWindow->hwnd);
            return;
        default:
            return;
    }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PlayerState* state = reinterpret_cast<PlayerState*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (state) {
        switch (message) {
            case WM_PAINT: {
                if (VideoPresentsIntoMainWindow(*state)) {
                    // The renderer's picture is this window's content, and the
                    // renderer keeps it.
                    RepaintVideoWindow(*state);
                    ValidateRect(window, nullptr);
                    break;
                }
                PaintMainWindow(*state);
                ValidateRect(window, nullptr);
                break;
            }
            case WM_GETMINMAXINFO: {
                // The window covers the screen it was last told of, even where
                // the system's own limit (the screen plus a frame) lags behind.
                MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
                const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
                if (limits) {
                    POINT& most = limits->ptMaxTrackSize;
                    if (most.x < state->screenWidth) most.x = state->screenWidth;
                    if (most.y < state->screenHeight) most.y = state->screenHeight;
                }
                return result;
            }
            case WM_DISPLAYCHANGE:
            case WM_DPICHANGED: {
                // The screen is the monitor the window is on. WM_DISPLAYCHANGE's
                // size is the primary screen's, and WM_DPICHANGED's suggested
                // rectangle is the window's own scaled for the new DPI (larger
                // than the screen when the scaling grows): neither is taken.
                const SIZE screen = ScreenSizeOf(window);
                ApplyScreenChange(*state, screen.cx, screen.cy, message == WM_DPICHANGED);
                break;
            }
            case WM_CLOSE:
                // Not passed on: the default handling would destroy the window
                // in the middle of a close already under way.
                CloseProgram(*state);
                return 0;
            case WM_KEYDOWN:
                HandleKeyCommand(*state, static_cast<UINT>(wParam));
                break;
            case WM_TIMER:
                // A hidden bar is not drawn, and a shown one only when what it
                // shows moves: under Wine a draw of the bar is software work on
                // this thread, most of it waiting for Direct3D's own thread.
                // Drawn every 30 ms, it kept this thread busy all the time and
                // the video's renderer showed 22 of 30 frames a second at
                // 640x360 instead of all 30. Showing the bar paints it at once.
                if (state->controlBarVisible && state->controlWindow) TickControlWindow(*state->controlWindow);
                break;
            case WM_LBUTTONDOWN:
                SetCapture(window);
                RepaintWindow(window);
                break;
            case WM_LBUTTONUP:
                ReleaseCapture();
                SetFocus(window);
                ToggleControlBar(*state);
                RepaintWindow(window);
                break;
            case WM_APP_HIDE_POPUP:
                if (state->popupWindow) ShowWindow(state->popupWindow->hwnd, SW_HIDE);
                break;
            case WM_APP_RESTART_VIDEO:
                RestartVideo(*state);
                break;
            case WM_APP_SESSION_STEP:  // wParam the event, lParam the session's number
                OnSessionStep(*state, wParam, lParam);
                break;
            case WM_APP_SHOW_POPUP:
                // The poster read behind the video is taken in; a clip that
                // ends before the read is done (a short one on a slow
                // machine) waits for it a little, as the restart does
                // anyway. The pop-up shows black if it is later still.
                CollectPosterFrame(*state, kPosterWaitAtEndMs);
                if (state->popupWindow) {
                    // Without activation: the main window keeps the focus
                    // (the pop-up hands keys on to it anyway), so focus does
                    // not bounce at every clip's end, and the bar stays on top.
                    ShowWindow(state->popupWindow->hwnd, SW_SHOWNA);
                    RepaintWindow(state->popupWindow->hwnd);
                }
                break;
            default:
                break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
