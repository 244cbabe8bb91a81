// The main window on the real platform: its creation, the key commands by
// mode, the control-bar toggle and the close sequence.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/Startup.h"
#include "kestrelon_version.h"
#include "ui/Buttons.h"
#include "ui/ControlBar.h"
#include "ui/MainWindow.h"
#include "ui/VideoPanel.h"

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        state = CreatePlayerState();
        CreateAppWindows(*state);
    }
    void TearDown() override {
        if (IsWindow(state->mainWindow)) DestroyWindow(state->mainWindow);
        MSG message;  // drop what the test left queued, WM_QUIT included
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void MakeFolder(int count, int current) {
        state->viewMode = ViewMode::ImageFolder;
        state->imageCount = count;
        state->imageBitmaps.reset(new ImageSlot[count]);
        for (int i = 0; i < count; ++i) state->imageBitmaps[i].store(nullptr);
        state->currentIndex.store(current);
    }
    PlayerState* state = nullptr;
};

TEST_F(MainWindowTest, CoversTheScreenWithoutCaptionAndOwnsThePanelAndPopup) {
    ASSERT_TRUE(IsWindow(state->mainWindow));
    EXPECT_EQ(GetWindowLongW(state->mainWindow, GWL_STYLE) & WS_CAPTION, 0);
    EXPECT_NE(GetWindowLongW(state->mainWindow, GWL_STYLE) & WS_CLIPCHILDREN, 0);
    RECT client{};
    GetClientRect(state->mainWindow, &client);
    EXPECT_EQ(client.right, state->screenWidth);
    EXPECT_EQ(client.bottom, state->screenHeight);

    ASSERT_NE(state->videoPanel, nullptr);
    EXPECT_EQ(GetParent(state->videoPanel->hwnd), state->mainWindow);
    EXPECT_TRUE(IsWindowVisible(state->videoPanel->hwnd) || !IsWindowVisible(state->mainWindow));
    RECT panel{};
    GetClientRect(state->videoPanel->hwnd, &panel);
    EXPECT_EQ(panel.right, state->screenWidth);
    EXPECT_EQ(panel.bottom, state->screenHeight);

    ASSERT_NE(state->popupWindow, nullptr);
    EXPECT_EQ(GetWindow(state->popupWindow->hwnd, GW_OWNER), state->mainWindow);
    EXPECT_FALSE(IsWindowVisible(state->popupWindow->hwnd));
    wchar_t title[64] = {};
    GetWindowTextW(state->popupWindow->hwnd, title, 64);
    EXPECT_STREQ(title, L"Kestrelon" KESTRELON_VERSION);

    // One way or the other, each window draws: a Direct2D target exists.
    EXPECT_TRUE(DrawingTarget(state->mainTarget) != nullptr);
    EXPECT_TRUE(DrawingTarget(state->videoPanel->target) != nullptr);
}

TEST_F(MainWindowTest, ArrowKeysStepAndWrapInImageFolder) {
    struct Step {
        int count, from;
        UINT key;
        int to;
    };
    const Step steps[] = {
        {5, 2, VK_RIGHT, 3}, {5, 4, VK_RIGHT, 0}, {5, 0, VK_LEFT, 4},
        {5, 3, VK_LEFT, 2},  {1, 0, VK_LEFT, 0},  {1, 0, VK_RIGHT, 0},
    };
    for (const Step& s : steps) {
        MakeFolder(s.count, s.from);
        SendMessageW(state->mainWindow, WM_KEYDOWN, s.key, 0);
        EXPECT_EQ(state->currentIndex.load(), s.to) << s.count << " " << s.from << " " << s.key;
    }
}

// Presses already queued behind the one being handled are taken with it: the
// index moves by every press. Only the head of the queue is taken: the first
// other key, a click, or a key for a window that does not pass keys to the
// main window keeps its place, and so does everything behind it.
enum class To { Main, Panel, Bar, Other };
struct Queued {
    To to;
    UINT message;
    WPARAM key;
    bool operator==(const Queued& o) const { return to == o.to && message == o.message && key == o.key; }
};
Queued Down(WPARAM key, To to = To::Main) { return {to, WM_KEYDOWN, key}; }
Queued Up(WPARAM key) { return {To::Main, WM_KEYUP, key}; }
const Queued kClick{To::Main, WM_LBUTTONDOWN, MK_LBUTTON};

TEST_F(MainWindowTest, QueuedArrowPressesAreTakenTogether) {
    struct Burst {
        int count, from;
        UINT key;
        std::vector<Queued> queued;
        int to;
        std::vector<Queued> left;  // input still queued afterwards, in order
    };
    const UINT R = VK_RIGHT, L = VK_LEFT;
    const Burst bursts[] = {
        {10, 0, R, {Down(R), Down(R), Down(R), Down(L)}, 3, {}},
        {3, 2, R, {Down(R), Down(R), Down(R), Down(R)}, 1, {}},  // wraps more than once
        {5, 0, L, {Down(L), Down(L)}, 2, {}},
        {1, 0, R, {Down(L), Down(R), Down(R)}, 0, {}},
        {10, 0, R, {Down(R, To::Panel), Down(R, To::Bar)}, 3, {}},  // both pass keys on
        {10, 0, R, {Up(R), Down(R), Up(R)}, 2, {}},               // quick presses merge too
        {10, 0, R, {Down(R), Down('P'), Down(R)}, 2, {Down('P'), Down(R)}},  // P stops the run
        {10, 5, L, {Down(VK_F11), Down(L)}, 4, {Down(VK_F11), Down(L)}},
        {10, 0, R, {kClick, Down(R)}, 1, {kClick, Down(R)}},        // the click comes first
        {10, 0, R, {Down(R), kClick, Down(R)}, 2, {kClick, Down(R)}},
        {10, 0, R, {Down(R, To::Other), Down(R)}, 1, {Down(R, To::Other), Down(R)}},
    };
    const HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                       nullptr, nullptr);
    auto window = [&](To to) {
        switch (to) {
            case To::Main: return state->mainWindow;
            case To::Panel: return state->videoPanel->hwnd;
            case To::Bar: return state->controlWindow->hwnd;
            case To::Other: return other;
        }
        return HWND{};
    };
    int row = 0;
    for (const Burst& b : bursts) {
        SCOPED_TRACE(testing::Message() << "row " << row++);
        MakeFolder(b.count, b.from);
        for (const Queued& q : b.queued) PostMessageW(window(q.to), q.message, q.key, 0);
        HandleKeyCommand(*state, b.key);
        EXPECT_EQ(state->currentIndex.load(), b.to);
        std::vector<Queued> left;
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_KEYFIRST, WM_MOUSELAST, PM_REMOVE)) {
            if (message.message == WM_TIMER) continue;
            To to = To::Other;
            for (To t : {To::Main, To::Panel, To::Bar, To::Other})
                if (window(t) == message.hwnd) to = t;
            left.push_back({to, message.message, message.wParam});
        }
        EXPECT_TRUE(left == b.left) << left.size() << " left";
    }
    DestroyWindow(other);
}

TEST_F(MainWindowTest, KeysReachTheMainWindowThroughThePanel) {
    MakeFolder(3, 0);
    SendMessageW(state->videoPanel->hwnd, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(state->currentIndex.load(), 1);
}

TEST_F(MainWindowTest, ArrowsAndPDoNothingOutsideTheirModes) {
    for (ViewMode mode : {ViewMode::None, ViewMode::AnimatedGif}) {
        state->viewMode = mode;
        state->currentIndex.store(0);
        for (UINT key : {UINT{VK_LEFT}, UINT{VK_RIGHT}, UINT{'P'}}) HandleKeyCommand(*state, key);
        EXPECT_EQ(state->currentIndex.load(), 0);
        EXPECT_FALSE(state->videoPaused.load());
        EXPECT_TRUE(IsWindow(state->mainWindow));
    }
}

TEST_F(MainWindowTest, ClicksToggleTheControlBar) {
    EXPECT_FALSE(state->controlBarVisible);
    SendMessageW(state->videoPanel->hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(state->videoPanel->hwnd, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_TRUE(state->controlBarVisible);
    SendMessageW(state->mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(state->mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    EXPECT_FALSE(state->controlBarVisible);
}

TEST_F(MainWindowTest, F11ClosesWithExitCodeOne) {
    SendMessageW(state->mainWindow, WM_KEYDOWN, VK_F11, 0);
    EXPECT_TRUE(state->quitRequested.load());
    EXPECT_FALSE(IsWindow(state->mainWindow));
    EXPECT_FALSE(IsWindow(state->videoPanel->hwnd));
    MSG message{};
    ASSERT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(message.wParam, 1u);
}

// Alt+F4, the taskbar's close or a window manager's close may reach any of
// our windows, as WM_SYSCOMMAND SC_CLOSE or WM_CLOSE: each ends the program
// through the main window's close, and no window is destroyed on its own.
TEST(ClosingAnyWindow, EndsTheProgramWithExitCodeOne) {
    enum class Target { Main, Panel, Popup, Bar, CloseButton, PlayButton };
    const Target targets[] = {Target::Main, Target::Panel, Target::Popup,
                              Target::Bar, Target::CloseButton, Target::PlayButton};
    for (Target target : targets) {
        for (const bool system : {false, true}) {
            PlayerState* state = CreatePlayerState();
            CreateAppWindows(*state);
            HWND window = state->mainWindow;
            switch (target) {
                case Target::Main: break;
                case Target::Panel: window = state->videoPanel->hwnd; break;
                case Target::Popup: window = state->popupWindow->hwnd; break;
                case Target::Bar: window = state->controlWindow->hwnd; break;
                case Target::CloseButton: window = state->controlWindow->closeButton->hwnd; break;
                case Target::PlayButton: window = state->controlWindow->playButton->hwnd; break;
            }
            SCOPED_TRACE(testing::Message() << "window " << static_cast<int>(target)
                                            << (system ? " SC_CLOSE" : " WM_CLOSE"));
            if (system)
                SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            else
                SendMessageW(window, WM_CLOSE, 0, 0);
            EXPECT_TRUE(state->quitRequested.load());
            EXPECT_FALSE(IsWindow(state->mainWindow));
            EXPECT_FALSE(IsWindow(window));
            MSG message{};
            EXPECT_TRUE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
            EXPECT_EQ(message.wParam, 1u);
            if (IsWindow(state->mainWindow)) DestroyWindow(state->mainWindow);
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            }
        }
    }
}

// The bar shown over the active main window takes neither the activation nor
// the focus, not on showing, not under the pointer, not on a press: keys
// typed over it go on reaching the main window.
TEST_F(MainWindowTest, TheBarLeavesActivationAndFocusWithTheMainWindow) {
    MakeFolder(3, 0);
    ShowWindow(state->mainWindow, SW_SHOW);
    SetForegroundWindow(state->mainWindow);
    SetFocus(state->mainWindow);
    ASSERT_EQ(GetActiveWindow(), state->mainWindow);
    SendMessageW(state->mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(state->mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
    const HWND bar = state->controlWindow->hwnd;
    ASSERT_TRUE(IsWindowVisible(bar));
    EXPECT_EQ(GetActiveWindow(), state->mainWindow) << "showing the bar";
    for (HWND w : {bar, state->controlWindow->closeButton->hwnd, state->controlWindow->playButton->hwnd}) {
        SendMessageW(w, WM_NCHITTEST, 0, MAKELPARAM(700, 600));
        EXPECT_EQ(GetActiveWindow(), state->mainWindow) << "pointer over the bar";
        EXPECT_EQ(GetFocus(), state->mainWindow) << "pointer over the bar";
        EXPECT_EQ(SendMessageW(w, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(bar),
                               MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
                  MA_NOACTIVATE);
    }
    SendMessageW(GetFocus(), WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(state->currentIndex.load(), 1);
    SendMessageW(state->mainWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
    SendMessageW(state->mainWindow, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
}

// A close that arrives while the first one waits for the video pipeline to
// shut down (the shutdown handles messages meanwhile) leaves that close alone.
TEST_F(MainWindowTest, ASecondCloseDuringTheFirstDoesNothing) {
    state->quitRequested.store(true);  // as during the first close's wait
    SendMessageW(state->mainWindow, WM_CLOSE, 0, 0);
    SendMessageW(state->controlWindow->hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(state->mainWindow));
    EXPECT_TRUE(IsWindow(state->controlWindow->hwnd));
    MSG message{};
    EXPECT_FALSE(PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// The pop-up covers a clip's restart without taking the activation: the
// main window keeps the keys and the focus does not bounce at every loop.
TEST_F(MainWindowTest, PopupFollowsTheShowAndHideMessages) {
    state->viewMode = ViewMode::Video;
    ShowWindow(state->mainWindow, SW_SHOW);
    SetForegroundWindow(state->mainWindow);
    SetActiveWindow(state->mainWindow);
    ASSERT_EQ(GetActiveWindow(), state->mainWindow);
    SendMessageW(state->mainWindow, WM_APP_SHOW_POPUP, 0, 0);
    EXPECT_TRUE(IsWindowVisible(state->popupWindow->hwnd));
    EXPECT_EQ(GetActiveWindow(), state->mainWindow);
    SendMessageW(state->mainWindow, WM_APP_HIDE_POPUP, 0, 0);
    EXPECT_FALSE(IsWindowVisible(state->popupWindow->hwnd));
    ShowWindow(state->mainWindow, SW_HIDE);
}

TEST(ControlBarPlacement, CentredNearTheBottom) {
    struct Case {
        int w, h, x, y;
    };
    const Case cases[] = {{1920, 1080, 610, 900}, {1280, 720, 290, 540}, {701, 600, 0, 420},
                          {600, 400, -50, 220}};
    for (const Case& c : cases) {
        const POINT p = ControlBarPosition(c.w, c.h);
        EXPECT_EQ(p.x, c.x) << c.w;
        EXPECT_EQ(p.y, c.y) << c.h;
    }
}

}  // namespace

namespace {

// The panel's 100 ms tick in ImageFolder mode: a newly decoded picture is
// painted at the next tick, an unchanged one is not drawn again.
TEST_F(MainWindowTest, FolderTickRepaintsOnlyWhenThePictureChanged) {
    MakeFolder(2, 0);
    VideoPanel& panel = *state->videoPanel;
    ShowWindow(state->mainWindow, SW_SHOW);  // hidden windows are not painted
    SendMessageW(panel.hwnd, WM_TIMER, kRepaintTimerId, 0);
    EXPECT_EQ(panel.paintedIndex, 0);  // first tick: painted (black, nothing decoded yet)
    EXPECT_EQ(panel.shownSource, nullptr);

    IWICBitmap* bitmap = nullptr;
    ASSERT_TRUE(SUCCEEDED(g_wicFactory->CreateBitmap(4, 4, GUID_WICPixelFormat32bppPBGRA,
                                                     WICBitmapCacheOnLoad, &bitmap)));
    state->imageBitmaps[0].store(bitmap, std::memory_order_release);  // the slot owns it now
    SendMessageW(panel.hwnd, WM_TIMER, kRepaintTimerId, 0);
    EXPECT_EQ(panel.shownSource, bitmap) << "the decoded picture reaches the screen at the tick";

    // Unchanged: the tick draws nothing (a paint would put shownIndex back to 0).
    panel.shownIndex = -5;
    SendMessageW(panel.hwnd, WM_TIMER, kRepaintTimerId, 0);
    EXPECT_EQ(panel.shownIndex, -5);

    // Stepping paints at once, without waiting for a tick.
    SendMessageW(state->mainWindow, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(panel.paintedIndex, 1);
}

}  // namespace
