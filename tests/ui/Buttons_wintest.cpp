// The control bar's buttons: press, release, click, toggle and the faces they
// show, with the bar's play/pause reaching a fake media session.
#include "tests/ui/ControlBarTestSupport.h"

namespace {

// Records WM_CLOSE for the close button's click, standing in for the main
// window (the real one would end the test program).
UINT g_closeMessages = 0;
LRESULT CALLBACK CloseRecorderProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        ++g_closeMessages;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

HWND CloseRecorderWindow() {
    static HWND window = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = CloseRecorderProc;
        wc.lpszClassName = L"KestrelonTestCloseRecorder";
        RegisterClassExW(&wc);
        return CreateWindowExW(0, wc.lpszClassName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                               nullptr, nullptr);
    }();
    return window;
}

class ButtonsTest : public AppWindowsTest {
protected:
    void Press(ButtonWindow& b) { SendMouse(b.hwnd, WM_LBUTTONDOWN, 5, 5); }
    void Release(ButtonWindow& b, int x = 5, int y = 5) { SendMouse(b.hwnd, WM_LBUTTONUP, x, y); }
};

TEST_F(ButtonsTest, PlayPauseClicksAlternatePlayAndPause) {
    ButtonWindow& b = *bar->playButton;
    ASSERT_TRUE(PauseVideo(*state));  // paused: the Play face
    Settle();
    session->ClearRecords();

    Press(b);
    EXPECT_TRUE(b.pressed);
    EXPECT_EQ(GetCapture(), b.hwnd);
    EXPECT_EQ(ChooseButtonFace(b), bar->playDownFace);
    Release(b);
    EXPECT_FALSE(b.pressed);
    EXPECT_TRUE(ButtonToggled(b)) << "Pause face at once";
    EXPECT_TRUE(state->videoPlaying) << "WM_APP_PLAY reached the bar";
    Settle();
    ASSERT_EQ(session->Count(FakeSessionCall::Start), 1);
    EXPECT_EQ(session->Calls({FakeSessionCall::Start})[0].vt, VT_EMPTY);

    Press(b);
    Release(b);
    EXPECT_FALSE(ButtonToggled(b));
    EXPECT_TRUE(state->videoPaused) << "WM_APP_PAUSE reached the bar";
    Settle();
    EXPECT_EQ(session->Count(FakeSessionCall::Pause), 1);
    EXPECT_EQ(ChooseButtonFace(b), bar->playFace);
}

TEST_F(ButtonsTest, ReleaseAwayFromTheButtonIsStillAClick) {
    ButtonWindow& b = *bar->playButton;
    Press(b);
    SendMouse(b.hwnd, WM_MOUSEMOVE, 300, 40);
    Release(b, 300, 40);  // far outside the 53x53 square
    EXPECT_TRUE(ButtonToggled(b));
    EXPECT_TRUE(state->videoPlaying);
}

TEST_F(ButtonsTest, ReleaseWithoutPressIsNoClick) {
    ButtonWindow& b = *bar->playButton;
    Release(b);
    EXPECT_FALSE(ButtonToggled(b));
    EXPECT_FALSE(b.pressed);
    EXPECT_TRUE(session->Records().empty());
    EXPECT_FALSE(state->videoPlaying);
}

TEST_F(ButtonsTest, KeyboardPauseTurnsFaceBackSoNextClickPlays) {
    ButtonWindow& b = *bar->playButton;
    ASSERT_TRUE(PlayVideo(*state));
    ASSERT_TRUE(ButtonToggled(b));
    Settle();
    HandleKeyCommand(*state, 'P');
    EXPECT_TRUE(state->videoPaused);
    EXPECT_FALSE(ButtonToggled(b)) << "Play face after the key";
    Settle();
    session->ClearRecords();
    Press(b);
    Release(b);
    EXPECT_TRUE(state->videoPlaying);
    Settle();
    EXPECT_EQ(session->Count(FakeSessionCall::Start), 1);
    EXPECT_EQ(session->Count(FakeSessionCall::Pause), 0);
}

TEST_F(ButtonsTest, ClickBeforeSessionReadyKeepsThePlayFace) {
    g_sessionReady = false;
    ButtonWindow& b = *bar->playButton;
    Press(b);
    Release(b);
    EXPECT_FALSE(ButtonToggled(b)) << "the face follows playback, which did not start";
    EXPECT_EQ(ChooseButtonFace(b), bar->playFace);
    EXPECT_FALSE(state->videoPlaying);
    EXPECT_TRUE(session->Records().empty());
}

TEST_F(ButtonsTest, CloseClickSendsWmCloseToTheMainWindow) {
    const HWND mainWindow = state->mainWindow;
    state->mainWindow = CloseRecorderWindow();
    g_closeMessages = 0;
    ButtonWindow& b = *bar->closeButton;
    Press(b);
    EXPECT_EQ(ChooseButtonFace(b), bar->closeDownFace);
    Release(b);
    state->mainWindow = mainWindow;
    EXPECT_EQ(g_closeMessages, 1u);
    EXPECT_FALSE(b.pressed);
    // Both toggle states show the same close face.
    EXPECT_EQ(ChooseButtonFace(b), bar->closeFace);
    EXPECT_TRUE(session->Records().empty());
}

// The capture taken away between press and release (Alt+Tab, another
// window's SetCapture): the pressed face goes at once, and a release that
// still reaches the button is no click.
TEST_F(ButtonsTest, LosingTheCaptureEndsThePressWithoutAClick) {
    const HWND mainWindow = state->mainWindow;
    state->mainWindow = CloseRecorderWindow();
    g_closeMessages = 0;
    for (ButtonWindow* b : {bar->playButton, bar->closeButton}) {
        Press(*b);
        ASSERT_EQ(GetCapture(), b->hwnd);
        SetCapture(mainWindow);
        EXPECT_FALSE(b->pressed);
        EXPECT_EQ(ChooseButtonFace(*b), b == bar->playButton ? bar->playFace : bar->closeFace);
        ReleaseCapture();
        Release(*b);
        EXPECT_FALSE(ButtonToggled(*b));
    }
    state->mainWindow = mainWindow;
    EXPECT_EQ(g_closeMessages, 0u);
    EXPECT_TRUE(session->Records().empty());
    EXPECT_FALSE(state->videoPlaying);
}

}  // namespace
