// The main window on the real platform: its creation, the key commands by
// mode, the control-bar toggle and the close sequence.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "app/Startup.h"
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
    EXPECT_STREQ(title, L"Kestrelon1.0.3");

    // One way or the other, each window draws: a Direct2D target exists.
    EXPECT_TRUE(state->mainRenderTarget || state->mainDcRenderTarget);
    EXPECT_TRUE(PanelRenderTarget(*state->videoPanel) != nullptr);
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
// index moves by every press, and the first other key keeps its place.
TEST_F(MainWindowTest, QueuedArrowPressesAreTakenTogether) {
    struct Burst {
        int count, from;
        UINT key;
        std::vector<UINT> queued;
        int to;
        std::vector<UINT> left;  // key presses still queued afterwards
    };
    const UINT R = VK_RIGHT, L = VK_LEFT;
    const Burst bursts[] = {
        {10, 0, R, {R, R, R, L}, 3, {}},
        {3, 2, R, {R, R, R, R}, 1, {}},          // wraps more than once
        {5, 0, L, {L, L}, 2, {}},
        {1, 0, R, {L, R, R}, 0, {}},
        {10, 0, R, {R, 'P', R}, 2, {'P', R}},    // P stops the run
        {10, 5, L, {VK_F11, L}, 4, {VK_F11, L}},
    };
    for (const Burst& b : bursts) {
        MakeFolder(b.count, b.from);
        for (UINT key : b.queued) PostMessageW(state->mainWindow, WM_KEYDOWN, key, 0);
        HandleKeyCommand(*state, b.key);
        EXPECT_EQ(state->currentIndex.load(), b.to) << b.count << " " << b.from;
        std::vector<UINT> left;
        MSG message;
        while (PeekMessageW(&message, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
            left.push_back(static_cast<UINT>(message.wParam));
        EXPECT_EQ(left, b.left) << b.count << " " << b.from;
    }
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

TEST_F(MainWindowTest, PopupFollowsTheShowAndHideMessages) {
    state->viewMode = ViewMode::Video;
    SendMessageW(state->mainWindow, WM_APP_SHOW_POPUP, 0, 0);
    EXPECT_TRUE(IsWindowVisible(state->popupWindow->hwnd));
    SendMessageW(state->mainWindow, WM_APP_HIDE_POPUP, 0, 0);
    EXPECT_FALSE(IsWindowVisible(state->popupWindow->hwnd));
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
