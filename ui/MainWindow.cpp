#include "ui/MainWindow.h"

#include <shlwapi.h>

#include "app/DrawingResources.h"
#include "ui/ControlBar.h"
#include "ui/VideoPanel.h"
#include "video/OpenVideo.h"
#include "video/VideoSurface.h"
#include "video/Playback.h"

namespace {

constexpr wchar_t kMainWindowClass[] = L"CLASS_MAINWINDOW";
constexpr wchar_t kPopupWindowClass[] = L"CLASS_VIDEOPOPUPWND";
constexpr wchar_t kAppIconFile[] = L"./pict/AppIcon.png";
constexpr LONG kCaptionMask = 0xFF3FFFFF;  // everything but WS_CAPTION
// The bar is shown without activation: it must not take the focus from the
// main window (keys) nor the activation from another application.
constexpr UINT kTopmostShow = SWP_SHOWWINDOW | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE;  // 0x53
constexpr UINT kTopmostHide = SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE;  // 0x83
constexpr int64_t kOneSecond = 10'000'000;
constexpr int64_t kTenSeconds = 100'000'000;
constexpr int kRestartWaitTries = 100;  // 1 ms each

void RepaintWindow(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

void RegisterWindowClass(const wchar_t* name, WNDPROC procedure) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof(wc);
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = procedure;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

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

// The seek keys: one holder of the clock at a time, and a fresh clock reading
// decides whether the seek happens; the target starts from the stored position.
void SeekByKey(PlayerState& state, bool forward) {
    const int64_t duration = state.duration.load();
    const int64_t position = state.position.load();
    if (duration <= 0) return;
    if (forward ? !(position < duration - kOneSecond) : !(position > kOneSecond)) return;
    if (g_clockBusy.exchange(true)) return;  // the clock tick holds it: dropped

    SafeRelease(&state.presentationClock);
    if (state.mediaSession) state.mediaSession->GetClock(&state.presentationClock);
    if (state.presentationClock) {
        LONGLONG clockTime = 0;
        MFTIME systemTime = 0;
        if (SUCCEEDED(state.presentationClock->GetCorrelatedTime(0, &clockTime, &systemTime)) &&
            clockTime > 0)
            SeekVideo(state, forward ? position + kTenSeconds : position - kTenSeconds);
    }
    g_clockBusy.store(false);
}

void RestartVideo(PlayerState& state) {
    timeKillEvent(state.mmTimerId.load());
    // A clock tick already under way when its timer was killed may still hold
    // the flag; wait for it (briefly) rather than take the flag from it.
    for (int tries = 0; tries < kRestartWaitTries && g_clockBusy.exchange(true); ++tries) Sleep(1);
    g_clockBusy.store(true);
    SeekVideo(state, 0);
    g_clockBusy.store(false);
    state.mmTimerId = timeSetEvent(kVideoClockMs, 1, VideoClockCallback, 0, TIME_PERIODIC);
}

void CloseProgram(PlayerState& state) {
    // A second close while this one waits (a window manager's close handled
    // during the shutdown's wait, Alt+F4 pressed twice) finds it under way.
    if (state.quitRequested.exchange(true)) return;
    const uint32_t timer = state.mmTimerId.load();
    if (timer != 0) timeKillEvent(timer);
    ShutdownVideo(state);  // the renderer stops presenting before its window goes
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

LRESULT CloseFromOwnedWindow() {
    PlayerState* state = CurrentState();
    if (state && IsWindow(state->mainWindow)) SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
    return 0;
}

POINT ControlBarPosition(int screenWidth, int screenHeight) {
    return POINT{(screenWidth - kControlBarWidth) / 2, screenHeight - 180};
}

bool CreateAppWindows(PlayerState& state) {
    RegisterWindowClass(kMainWindowClass, MainWindowProc);
    state.mainWindow = CreateWindowExW(0, kMainWindowClass, kWindowTitle, WS_CLIPCHILDREN, 0, 0,
                                       state.screenWidth, state.screenHeight, GetDesktopWindow(),
                                       nullptr, nullptr, nullptr);
    SetWindowLongPtrW(state.mainWindow, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&state));
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
    CreateWindowRenderTarget(popup->hwnd, &popup->renderTarget);
    ShowWindow(popup->hwnd, SW_HIDE);

    CreatePresentableTargets(state.mainWindow, &state.mainRenderTarget, &state.mainDcRenderTarget);

    wchar_t iconPath[kPathChars] = {};
    if (BuildPathBesideExe(kAppIconFile, iconPath))
        LoadBitmapFromFile(iconPath, PanelRenderTarget(*state.videoPanel), &state.appIcon);

    state.controlWindow = new ControlWindow();
    const POINT bar = ControlBarPosition(state.screenWidth, state.screenHeight);
    CreateControlWindow(*state.controlWindow, state.mainWindow, bar.x, bar.y);
    if (HWND barWindow = ControlBarWindow(state)) {
        SetWindowPos(barWindow, HWND_TOPMOST, 0, 0, 0, 0, kTopmostHide);
        RepaintWindow(barWindow);
    }
    return true;
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
                WindowDraw draw;
                if (VideoPresentsIntoMainWindow(*state)) {
                    // The renderer's picture is this window's content, and the
                    // renderer keeps it. It is not asked to repaint from here:
                    // Wine's renderer can deadlock its own threads at a clip's
                    // restart, and a call into it would freeze this thread too.
                    ValidateRect(window, nullptr);
                    break;
                }
                if (BeginWindowDraw(window, state->mainRenderTarget, state->mainDcRenderTarget, draw)) {
                    draw.target->Clear(D2D1::ColorF(0.0f, 0.0f, 0.0f, 1.0f));
                    EndWindowDraw(draw);
                }
                ValidateRect(window, nullptr);
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
                if (HWND bar = ControlBarWindow(*state)) SendMessageW(bar, WM_PAINT, 0, 0);
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
            case WM_APP_SHOW_POPUP:
                if (state->popupWindow) {
                    ShowWindow(state->popupWindow->hwnd, PopupShowCommand());
                    RepaintWindow(state->popupWindow->hwnd);
                }
                break;
            default:
                break;
        }
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
