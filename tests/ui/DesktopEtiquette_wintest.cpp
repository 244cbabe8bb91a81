// What a desktop expects of the program beyond its own commands: the window
// icon, the display kept awake only while a video plays, and windows that
// survive a lost graphics device or a display change.
#include <d2derr.h>

#include <string>

#include "app/WineQuirks.h"
#include "tests/ui/ControlBarTestSupport.h"
#include "tests/video/FakeDisplayControl.h"
#include "ui/VideoPanel.h"
#include "ui/VideoSurface.h"

namespace {

// Makes the next EndDraw of one window report a lost device, and counts that
// window's draws.
HWND g_loseOnce = nullptr;
int g_drawsOfWindow = 0;
HWND g_countedWindow = nullptr;
HRESULT LoseDeviceOnce(HWND window, HRESULT result) {
    if (window == g_countedWindow) ++g_drawsOfWindow;
    if (window != g_loseOnce) return result;
    g_loseOnce = nullptr;
    return D2DERR_RECREATE_TARGET;
}

// Holds a reference on what a window drew with, so that a new object cannot
// take its address, and tells whether the window has moved on to a new one.
struct Kept {
    explicit Kept(IUnknown* object) : object(object) { if (object) object->AddRef(); }
    ~Kept() { if (object) object->Release(); }
    bool ReplacedBy(IUnknown* now) const { return object && now && now != object; }
    IUnknown* object;
};

using EtiquetteTest = AppWindowsTest;

// The calling thread's standing request, read by asking for the same again
// (the call answers the previous value).
EXECUTION_STATE CurrentExecutionState() {
    const EXECUTION_STATE now = SetThreadExecutionState(ES_CONTINUOUS);
    SetThreadExecutionState(now | ES_CONTINUOUS);
    return now;
}

constexpr EXECUTION_STATE kAwake = ES_DISPLAY_REQUIRED | ES_SYSTEM_REQUIRED;

TEST_F(EtiquetteTest, MainWindowClassCarriesTheIconLargeAndSmall) {
    const struct {
        int index;
        int widthMetric;
    } icons[] = {{GCLP_HICON, SM_CXICON}, {GCLP_HICONSM, SM_CXSMICON}};
    for (const auto& icon : icons) {
        const HICON handle =
            reinterpret_cast<HICON>(GetClassLongPtrW(state->mainWindow, icon.index));
        ASSERT_NE(handle, nullptr) << icon.index;
        ICONINFO info{};
        ASSERT_TRUE(GetIconInfo(handle, &info));
        BITMAP bitmap{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
        EXPECT_EQ(bitmap.bmWidth, GetSystemMetrics(icon.widthMetric)) << icon.index;
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
    }
}

TEST_F(EtiquetteTest, DisplayStaysAwakeWhilePlayingOnly) {
    SetThreadExecutionState(ES_CONTINUOUS);
    ASSERT_TRUE(PlayVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, kAwake);
    ASSERT_TRUE(PauseVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, 0u);
    state->videoPaused = false;
    ASSERT_TRUE(PlayVideo(*state));
    EXPECT_EQ(CurrentExecutionState() & kAwake, kAwake);
    SetThreadExecutionState(ES_CONTINUOUS);
}

struct LostDeviceCase {
    const char* window;
    HWND (*hwnd)(PlayerState&);
    IUnknown* (*target)(PlayerState&);
    void (*paint)(PlayerState&);
};

TEST_F(EtiquetteTest, EachWindowMakesItsTargetAgainAfterALostDeviceAndRepaints) {
    const LostDeviceCase cases[] = {
        {"main window", [](PlayerState& s) { return s.mainWindow; },
         [](PlayerState& s) -> IUnknown* { return DrawingTarget(s.mainTarget); },
         [](PlayerState& s) { SendMessageW(s.mainWindow, WM_PAINT, 0, 0); }},
        {"pop-up", [](PlayerState& s) { return s.popupWindow->hwnd; },
         [](PlayerState& s) -> IUnknown* { return DrawingTarget(s.popupWindow->target); },
         [](PlayerState& s) { PaintPopupWindow(*s.popupWindow); }},
        {"drawing panel", [](PlayerState& s) { return s.videoPanel->hwnd; },
         [](PlayerState& s) -> IUnknown* { return DrawingTarget(s.videoPanel->target); },
         [](PlayerState& s) { PaintVideoPanel(*s.videoPanel); }},
        {"control bar", [](PlayerState& s) { return s.controlWindow->hwnd; },
         [](PlayerState& s) -> IUnknown* { return DrawingTarget(s.controlWindow->target); },
         [](PlayerState& s) { PaintControlWindow(*s.controlWindow); }},
    };
    // Under Wine a playing video is the main window's own picture: no video here.
    state->viewMode = ViewMode::None;
    g_endDrawFilter = LoseDeviceOnce;
    // With the Windows answers the main window, the panel and the bar draw
    // through HWND targets, as on Windows; then through what Wine needs again.
    for (bool windows : {true, false}) {
        SCOPED_TRACE(windows ? "Windows' targets" : "this platform's targets");
        ForceWindowsAnswers(windows);
        for (WindowTarget* t : {&state->mainTarget, &state->videoPanel->target, &state->controlWindow->target}) {
            t->throughWindowDc = DrawThroughWindowDc();
            RemakeWindowTarget(*t);
            if (windows) {
                EXPECT_NE(t->hwndTarget, nullptr);
            }
        }
        for (const LostDeviceCase& c : cases) {
            SCOPED_TRACE(c.window);
            Kept target(c.target(*state));
            ASSERT_NE(target.object, nullptr);
            g_countedWindow = g_loseOnce = c.hwnd(*state);
            g_drawsOfWindow = 0;
            c.paint(*state);
            EXPECT_TRUE(target.ReplacedBy(c.target(*state)));
            EXPECT_EQ(g_drawsOfWindow, 2);  // the lost draw, and one on the new target at once
            g_drawsOfWindow = 0;
            c.paint(*state);
            EXPECT_EQ(g_drawsOfWindow, 1);  // the new target is kept
        }
    }
    ForceWindowsAnswers(false);
    g_endDrawFilter = nullptr;
    g_countedWindow = nullptr;
}

TEST_F(EtiquetteTest, PanelBrushesAndIconAreMadeAgainOnItsNewTarget) {
    state->viewMode = ViewMode::None;  // the idle screen draws both
    VideoPanel& panel = *state->videoPanel;
    Kept icon(state->appIcon), brush(panel.helpBrush);
    g_endDrawFilter = LoseDeviceOnce;
    g_loseOnce = panel.hwnd;
    PaintVideoPanel(panel);
    g_endDrawFilter = nullptr;
    EXPECT_TRUE(icon.ReplacedBy(state->appIcon));
    EXPECT_TRUE(brush.ReplacedBy(panel.helpBrush));
}

TEST_F(EtiquetteTest, BarFacesAndBrushesAreMadeAgainOnItsNewTarget) {
    Kept face(bar->playFace), brush(bar->textBrush), gradient(bar->backgroundBrush);
    g_endDrawFilter = LoseDeviceOnce;
    g_loseOnce = bar->hwnd;
    PaintControlWindow(*bar);
    g_endDrawFilter = nullptr;
    EXPECT_TRUE(face.ReplacedBy(bar->playFace));
    EXPECT_TRUE(brush.ReplacedBy(bar->textBrush));
    EXPECT_TRUE(gradient.ReplacedBy(bar->backgroundBrush));
    // The buttons draw the new faces.
    EXPECT_EQ(bar->playButton->face, bar->playFace);
    EXPECT_EQ(bar->playButton->toggledPressedFace, bar->pauseDownFace);
    EXPECT_EQ(bar->closeButton->pressedFace, bar->closeDownFace);
}

// A new DPI sizes the text formats, and nothing else of the bar.
TEST_F(EtiquetteTest, BarRemakesOnlyItsTextFormatsForANewDpi) {
    Kept target(DrawingTarget(bar->target)), face(bar->playFace), small(bar->smallTextFormat);
    RECT suggested{0, 0, state->screenWidth, state->screenHeight};
    SendMessageW(state->mainWindow, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_TRUE(small.ReplacedBy(bar->smallTextFormat));
    EXPECT_EQ(DrawingTarget(bar->target), target.object);
    EXPECT_EQ(bar->playFace, face.object);
}

SIZE ClientSize(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return SIZE{r.right, r.bottom};
}

// The monitor the main window is on, as a test gives it (0 x 0: the real one).
SIZE g_monitor{};
RECT GivenMonitor(HWND, RECT real) {
    return g_monitor.cx > 0 ? RECT{0, 0, g_monitor.cx, g_monitor.cy} : real;
}

// The screen's size comes from the monitor, whatever the message says: the
// size WM_DISPLAYCHANGE carries is the primary screen's, and WM_DPICHANGED's
// suggested rectangle is the window's own scaled for the new DPI.
TEST_F(EtiquetteTest, ADisplayChangeMovesEveryWindowOntoTheMonitor) {
    const int realWidth = GetSystemMetrics(SM_CXSCREEN), realHeight = GetSystemMetrics(SM_CYSCREEN);
    const struct {
        const char* how;
        bool dpi;
        SIZE told;     // WM_DISPLAYCHANGE's size, or the suggested rectangle's
        SIZE monitor;  // given to the window; 0 x 0: the display the test runs on
        int width, height;
    } changes[] = {
        {"resolution", false, {1024, 768}, {1024, 768}, 1024, 768},
        {"orientation", false, {720, 1280}, {720, 1280}, 720, 1280},
        {"another monitor's size told", false, {1920, 1080}, {1600, 900}, 1600, 900},
        {"scaling 100 to 150 %", true, {2400, 1350}, {1600, 900}, 1600, 900},
        {"scaling on the real monitor", true, {realWidth * 3 / 2, realHeight * 3 / 2}, {}, realWidth, realHeight},
        {"back", false, {realWidth, realHeight}, {}, realWidth, realHeight},
    };
    g_monitorAreaFilter = GivenMonitor;
    for (const auto& change : changes) {
        SCOPED_TRACE(change.how);
        g_monitor = change.monitor;
        if (change.dpi) {
            RECT suggested{0, 0, change.told.cx, change.told.cy};
            SendMessageW(state->mainWindow, WM_DPICHANGED, MAKEWPARAM(144, 144),
                         reinterpret_cast<LPARAM>(&suggested));
        } else {
            SendMessageW(state->mainWindow, WM_DISPLAYCHANGE, 32, MAKELPARAM(change.told.cx, change.told.cy));
        }
        EXPECT_EQ(state->screenWidth, change.width);
        EXPECT_EQ(state->screenHeight, change.height);
        for (HWND window : {state->mainWindow, state->videoPanel->hwnd, state->popupWindow->hwnd}) {
            const SIZE size = ClientSize(window);
            EXPECT_EQ(size.cx, change.width);
            EXPECT_EQ(size.cy, change.height);
        }
        EXPECT_EQ(state->videoPanel->width, change.width);
        EXPECT_EQ(state->popupWindow->height, change.height);
        RECT barRect{};
        GetWindowRect(bar->hwnd, &barRect);
        EXPECT_EQ(barRect.left, (change.width - 700) / 2);
        EXPECT_EQ(barRect.top, change.height - 180);
        EXPECT_EQ(barRect.right - barRect.left, 700);
    }
    g_monitorAreaFilter = nullptr;
}

// Growing, the main window keeps what it showed where it still lies (the
// panel's picture is in its pixels): only the area it newly covers is to be
// painted, not the whole window blanked until the next paint.
TEST_F(EtiquetteTest, AGrowingMainWindowKeepsWhatItShowedWhereItStillLies) {
    const bool shown = IsWindowVisible(state->mainWindow);
    ShowWindow(state->mainWindow, SW_SHOWNA);  // only a shown window has an update region
    ShowWindow(state->videoPanel->hwnd, SW_HIDE);  // the main window's own is read
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    SetWindowPos(state->mainWindow, nullptr, 0, 0, 200, 100, flags);
    ValidateRect(state->mainWindow, nullptr);
    SetWindowPos(state->mainWindow, nullptr, 0, 0, 300, 150, flags);
    HRGN update = CreateRectRgn(0, 0, 0, 0);
    GetUpdateRgn(state->mainWindow, update, FALSE);
    EXPECT_FALSE(PtInRegion(update, 100, 50));  // kept
    EXPECT_TRUE(PtInRegion(update, 250, 125));  // newly covered
    DeleteObject(update);
    SetWindowPos(state->mainWindow, nullptr, 0, 0, state->screenWidth, state->screenHeight, flags);
    ShowWindow(state->videoPanel->hwnd, SW_SHOW);
    if (!shown) ShowWindow(state->mainWindow, SW_HIDE);
}

// The renderer gets the new screen as its destination only where it takes the
// call safely, and never while the program closes. `windows`: the platform's
// answers are Windows' (whose renderer takes calls while playing).
TEST_F(EtiquetteTest, ADisplayChangeReachesTheRendererOnlyWhereItIsSafe) {
    const struct {
        const char* when;
        bool paused, closing, windows;
        int atChange, atPausedPaint;  // SetVideoPosition calls
    } cases[] = {
        {"paused", true, false, false, 1, 0},
        {"playing on Windows, whose renderer takes calls then", false, false, true, 1, 0},
        {"playing under Wine, whose renderer does not: at the pause", false, false, false, 0, 1},
        {"closing", true, true, true, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.when);
        ForceWindowsAnswers(c.windows);
        auto* display = new FakeDisplayControl();
        state->videoDisplayControl = display;
        state->videoPaused = c.paused;
        state->videoPlaying = !c.paused;
        state->quitRequested = c.closing;
        SendMessageW(state->mainWindow, WM_DISPLAYCHANGE, 32, 0);
        EXPECT_EQ(display->positions.load(), c.atChange);
        state->videoPaused = true;
        state->videoPlaying = false;
        const HWND videoWindow = VideoPresentationWindow(state->videoPanel->hwnd);
        SendMessageW(videoWindow, WM_PAINT, 0, 0);
        SendMessageW(videoWindow, WM_PAINT, 0, 0);  // handed over once
        EXPECT_EQ(display->positions.load(), c.atChange + c.atPausedPaint);
        if (c.closing) {
            EXPECT_EQ(display->repaints.load() + display->currentImages.load(), 0);
        }
        EXPECT_EQ(display->destination.bottom, display->positions.load() > 0 ? state->screenHeight : 0);
        state->quitRequested = false;
        state->videoDisplayControl = nullptr;
        display->Release();
    }
    ForceWindowsAnswers(false);
}

}  // namespace
