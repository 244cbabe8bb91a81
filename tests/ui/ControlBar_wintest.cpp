// The control bar as the program creates it: window, resources, painting per
// mode (read back from the bar's own pixels) and the press/drag/release cycle
// against a fake media session.
#include <d2derr.h>

#include <cwchar>
#include <string>

#include "kestrelon_version.h"
#include "tests/ui/ControlBarTestSupport.h"

namespace {

struct Rgb {
    int r, g, b;
};

bool Near(COLORREF c, Rgb want, int tolerance = 12) {
    return std::abs(GetRValue(c) - want.r) <= tolerance && std::abs(GetGValue(c) - want.g) <= tolerance &&
           std::abs(GetBValue(c) - want.b) <= tolerance;
}

std::string Describe(COLORREF c) {
    return std::to_string(GetRValue(c)) + "," + std::to_string(GetGValue(c)) + "," +
           std::to_string(GetBValue(c));
}

constexpr Rgb kFrame{160, 160, 180};
constexpr Rgb kTrackFill{30, 30, 50};
constexpr Rgb kKnobFill{100, 100, 120};
constexpr Rgb kText{230, 230, 250};
constexpr Rgb kFaceBlue{47, 111, 200};   // play/pause disc
constexpr Rgb kFaceBlueDown{28, 66, 122};
constexpr Rgb kGlyph{255, 255, 255};
constexpr Rgb kCloseRed{196, 60, 60};

// A lost device as the platform has it: every EndDraw on the lost target
// reports the loss until the bar draws on a new one.
ControlWindow* g_barWithLostTarget = nullptr;
ID2D1RenderTarget* g_lostTarget = nullptr;
HRESULT LostUntilRemade(HWND window, HRESULT result) {
    ControlWindow* bar = g_barWithLostTarget;
    const bool lost = bar && window == bar->hwnd && DrawingTarget(bar->target) == g_lostTarget;
    return lost ? D2DERR_RECREATE_TARGET : result;
}

// The face that cannot be read at the moment (pict/ renamed, a share gone).
const wchar_t* g_unreadableFace = nullptr;
bool FailUnreadableFace(const wchar_t* name, bool loaded) {
    return loaded && !(g_unreadableFace && std::wcscmp(name, g_unreadableFace) == 0);
}

class ControlBarTest : public AppWindowsTest {
protected:
    void TearDown() override {
        SetWindowPos(bar->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        AppWindowsTest::TearDown();
    }

    // Shows the bar without activating it and paints it once.
    void ShowAndPaint() {
        SetWindowPos(bar->hwnd, HWND_TOPMOST, 0, 0, 0, 0,
                     SWP_SHOWWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        PumpMessages();
        SendMessageW(bar->hwnd, WM_PAINT, 0, 0);
    }

    // The bar's own pixel (before the window's alpha applies).
    COLORREF Pixel(int x, int y) {
        HDC dc = GetDC(bar->hwnd);
        const COLORREF c = GetPixel(dc, x, y);
        ReleaseDC(bar->hwnd, dc);
        return c;
    }

    // How many sampled pixels in the box are close to the colour.
    int CountNear(RECT box, Rgb colour, int tolerance = 40) {
        HDC dc = GetDC(bar->hwnd);
        int n = 0;
        for (int y = box.top; y < box.bottom; ++y)
            for (int x = box.left; x < box.right; ++x) n += Near(GetPixel(dc, x, y), colour, tolerance);
        ReleaseDC(bar->hwnd, dc);
        return n;
    }

    void StartPlaying() {
        ASSERT_TRUE(PlayVideo(*state));
        Settle();
        session->ClearRecords();
    }
};

TEST_F(ControlBarTest, WindowAsCreated) {
    wchar_t text[64] = {};
    GetClassNameW(bar->hwnd, text, 64);
    EXPECT_STREQ(text, L"CLASS_ControlWindow");
    GetWindowTextW(bar->hwnd, text, 64);
    EXPECT_STREQ(text, L"Kestrelon" KESTRELON_VERSION);
    EXPECT_TRUE(GetWindowLongW(bar->hwnd, GWL_STYLE) & WS_POPUP);
    const LONG exStyle = GetWindowLongW(bar->hwnd, GWL_EXSTYLE);
    EXPECT_TRUE(exStyle & WS_EX_LAYERED);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    EXPECT_EQ(GetWindow(bar->hwnd, GW_OWNER), state->mainWindow);
    EXPECT_FALSE(IsWindowVisible(bar->hwnd));

    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(bar->hwnd, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 220);
    EXPECT_EQ(flags & LWA_ALPHA, static_cast<DWORD>(LWA_ALPHA));

    RECT r{};
    GetWindowRect(bar->hwnd, &r);
    EXPECT_EQ(r.left, (state->screenWidth - 700) / 2);
    EXPECT_EQ(r.top, state->screenHeight - 180);
    EXPECT_EQ(r.right - r.left, 700);
    EXPECT_EQ(r.bottom - r.top, 80);
    EXPECT_EQ(bar->seekLeft, 113);
    EXPECT_EQ(bar->seekTop, 47);
    EXPECT_EQ(bar->seekWidth, 507);
    EXPECT_EQ(bar->seekHeight, 10);
}

TEST_F(ControlBarTest, ButtonsAsCreated) {
    const struct {
        ButtonWindow* button;
        int id;
        RECT rect;
        ID2D1Bitmap *face, *pressed, *toggled, *toggledPressed;
    } cases[] = {
        {bar->closeButton, ButtonClose, {640, 20, 680, 60}, bar->closeFace, bar->closeDownFace,
         bar->closeFace, bar->closeDownFace},
        {bar->playButton, ButtonPlayPause, {20, 13, 73, 66}, bar->playFace, bar->playDownFace,
         bar->pauseFace, bar->pauseDownFace},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        ButtonWindow& b = *c.button;
        EXPECT_EQ(b.buttonId, c.id);
        wchar_t text[64] = {};
        GetClassNameW(b.hwnd, text, 64);
        EXPECT_STREQ(text, L"CLASS_BUTTON");
        GetWindowTextW(b.hwnd, text, 64);
        EXPECT_STREQ(text, L"Button");
        EXPECT_EQ(GetParent(b.hwnd), bar->hwnd);
        const LONG style = GetWindowLongW(b.hwnd, GWL_STYLE);
        EXPECT_TRUE((style & WS_CHILD) && (style & WS_VISIBLE));
        RECT r{};
        GetWindowRect(b.hwnd, &r);
        MapWindowPoints(nullptr, bar->hwnd, reinterpret_cast<POINT*>(&r), 2);
        EXPECT_EQ(r.left, c.rect.left);
        EXPECT_EQ(r.top, c.rect.top);
        EXPECT_EQ(r.right, c.rect.right);
        EXPECT_EQ(r.bottom, c.rect.bottom);
        EXPECT_NE(c.face, nullptr);
        EXPECT_NE(c.pressed, nullptr);
        EXPECT_EQ(b.face, c.face);
        EXPECT_EQ(b.pressedFace, c.pressed);
        EXPECT_EQ(b.toggledFace, c.toggled);
        EXPECT_EQ(b.toggledPressedFace, c.toggledPressed);
    }
    // The six faces are six pictures.
    EXPECT_NE(bar->playFace, bar->pauseFace);
    EXPECT_NE(bar->pauseFace, bar->pauseDownFace);
}

TEST_F(ControlBarTest, NoneModeShowsCloseFaceAndErrorLine) {
    state->viewMode = ViewMode::None;
    ShowAndPaint();
    EXPECT_TRUE(Near(Pixel(1, 40), kFrame)) << Describe(Pixel(1, 40));
    EXPECT_TRUE(Near(Pixel(698, 40), kFrame)) << Describe(Pixel(698, 40));
    EXPECT_TRUE(Near(Pixel(660, 40), kGlyph)) << "close cross " << Describe(Pixel(660, 40));
    EXPECT_TRUE(Near(Pixel(646, 40), kCloseRed, 30)) << "close disc " << Describe(Pixel(646, 40));
    EXPECT_GT(CountNear({50, 20, 466, 60}, kText), 40) << "error line";
    // No play/pause face and no track outside Video mode: background there.
    EXPECT_FALSE(Near(Pixel(26, 39), kFaceBlue, 40)) << Describe(Pixel(26, 39));
    EXPECT_FALSE(Near(Pixel(300, 52), kTrackFill, 6)) << Describe(Pixel(300, 52));
}

TEST_F(ControlBarTest, VideoKnobFollowsPosition) {
    const struct {
        int64_t position;
        int knobX;  // a pixel inside the knob
        int trackX; // a pixel of plain track
    } cases[] = {
        {0, 115, 300},
        {state->duration.load(), 622, 300},
        {state->duration.load() / 2, 371, 200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        state->position = c.position;
        ShowAndPaint();
        EXPECT_TRUE(Near(Pixel(c.knobX, 51), kKnobFill)) << Describe(Pixel(c.knobX, 51));
        EXPECT_TRUE(Near(Pixel(c.trackX, 52), kTrackFill)) << Describe(Pixel(c.trackX, 52));
    }
}

// The clock tick paints a video's bar only while it is shown and only when
// its time text or knob moves: a mark put on the bar stays through a tick
// that has nothing new to show.
TEST_F(ControlBarTest, TickPaintsTheVideoBarOnlyWhenTimeOrKnobMoves) {
    const int64_t end = state->duration.load();
    state->position = 0;
    ShowAndPaint();
    const struct {
        int64_t position;
        bool shown;  // the bar as the user has it
        bool painted;
    } ticks[] = {{0, true, false}, {end, false, false}, {end, true, true}, {end, true, false}, {end / 2, true, true}};
    for (const auto& t : ticks) {
        SCOPED_TRACE(testing::Message() << t.position << " shown " << t.shown);
        HDC dc = GetDC(bar->hwnd);
        SetPixel(dc, 300, 20, RGB(255, 0, 255));
        ReleaseDC(bar->hwnd, dc);
        state->position = t.position;
        state->controlBarVisible = t.shown;
        SendMessageW(state->mainWindow, WM_TIMER, kRepaintTimerId, 0);
        EXPECT_EQ(!Near(Pixel(300, 20), Rgb{255, 0, 255}), t.painted) << Describe(Pixel(300, 20));
    }
}

TEST_F(ControlBarTest, PlayPauseFaceFollowsPlayVideoAndPauseVideo) {
    // In the play face (46,39) is inside the triangle and (52,32) beside it;
    // in the pause face (46,39) is the gap between the bars and (52,32) a bar.
    ShowAndPaint();
    EXPECT_TRUE(Near(Pixel(46, 39), kGlyph)) << "play face first: " << Describe(Pixel(46, 39));
    EXPECT_TRUE(Near(Pixel(52, 32), kFaceBlue)) << Describe(Pixel(52, 32));

    ASSERT_TRUE(PlayVideo(*state));
    SendMessageW(bar->hwnd, WM_PAINT, 0, 0);  // the face comes from the state at each paint
    EXPECT_TRUE(Near(Pixel(46, 39), kFaceBlue)) << "pause face: " << Describe(Pixel(46, 39));
    EXPECT_TRUE(Near(Pixel(52, 32), kGlyph)) << Describe(Pixel(52, 32));

    bar->playButton->pressed = true;
    SendMessageW(bar->hwnd, WM_PAINT, 0, 0);
    EXPECT_TRUE(Near(Pixel(46, 39), kFaceBlueDown)) << "pause pressed: " << Describe(Pixel(46, 39));

    bar->playButton->pressed = false;
    ASSERT_TRUE(PauseVideo(*state));
    SendMessageW(bar->hwnd, WM_PAINT, 0, 0);
    EXPECT_TRUE(Near(Pixel(46, 39), kGlyph)) << "play face again: " << Describe(Pixel(46, 39));
}

// A remake that fails leaves the old faces with the buttons and on screen (no
// box, no exit: the test would end), and each paint tries again until one works.
TEST_F(ControlBarTest, FailedRemakeKeepsTheOldFacesAndTheNextPaintTriesAgain) {
    const struct {
        const wchar_t* unreadable;
        bool remade;
    } paints[] = {{kButtonImageFiles[2], false}, {kButtonImageFiles[5], false}, {nullptr, true}};
    ShowAndPaint();
    ID2D1Bitmap* const oldFace = bar->playFace;
    g_lostTarget = DrawingTarget(bar->target);
    g_barWithLostTarget = bar;
    g_endDrawFilter = LostUntilRemade;
    g_faceLoadFilter = FailUnreadableFace;
    for (const auto& paint : paints) {
        SCOPED_TRACE(paint.remade ? "every face reads" : "one face unreadable");
        g_unreadableFace = paint.unreadable;
        SendMessageW(bar->hwnd, WM_PAINT, 0, 0);
        EXPECT_EQ(DrawingTarget(bar->target) != g_lostTarget, paint.remade);
        EXPECT_EQ(bar->playFace != oldFace, paint.remade);
        EXPECT_EQ(bar->playButton->face, bar->playFace);
        EXPECT_EQ(bar->playButton->toggledPressedFace, bar->pauseDownFace);
        EXPECT_EQ(bar->closeButton->pressedFace, bar->closeDownFace);
        // The play face is on screen (the lost target of the test still draws).
        EXPECT_TRUE(Near(Pixel(46, 39), kGlyph)) << Describe(Pixel(46, 39));
    }
    g_endDrawFilter = nullptr;
    g_faceLoadFilter = nullptr;
    g_barWithLostTarget = nullptr;
}

TEST_F(ControlBarTest, ImageFolderNameAndIndexWithAnyIndex) {
    state->viewMode = ViewMode::ImageFolder;
    for (const wchar_t* name : {L"img1.png", L"img2.png", L"img10.png"}) {
        auto buffer = std::make_unique<PathBuffer>();
        wcscpy_s(buffer->text, name);
        state->imageNames.push_back(std::move(buffer));
    }
    state->imageCount = 3;
    for (int32_t index : {1, 2, 3, -1, 1000}) {  // the last three have no name: index text only
        SCOPED_TRACE(index);
        state->currentIndex = index;
        ShowAndPaint();
        const bool named = index >= 0 && index < 3;
        EXPECT_EQ(CountNear({50, 20, 466, 60}, kText) > 20, named);
        EXPECT_GT(CountNear({467, 20, 640, 60}, kText), 20) << "index text";
    }
}

TEST_F(ControlBarTest, LongNameIsCutWithEllipsisOnOneLine) {
    state->viewMode = ViewMode::AnimatedGif;
    std::wstring longName(300, L'W');
    longName += L".gif";
    wcscpy_s(state->startFileName, longName.c_str());
    ShowAndPaint();
    EXPECT_GT(CountNear({540, 20, 584, 60}, kText), 10) << "the line runs to the box's edge";
    EXPECT_EQ(CountNear({590, 20, 636, 70}, kText), 0) << "nothing past the box";
    EXPECT_EQ(CountNear({60, 56, 500, 78}, kText), 0) << "no second line";
}

TEST_F(ControlBarTest, PressOnTrackPausesSeeksAndReleaseResumes) {
    StartPlaying();
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 366, 52);  // 253 of 507 pixels along
    Settle();
    EXPECT_TRUE(bar->mouseDown);
    EXPECT_TRUE(bar->seekDragging);
    EXPECT_TRUE(bar->resumeAfterSeek);
    EXPECT_TRUE(state->videoPaused);
    auto calls = session->Calls({FakeSessionCall::Start, FakeSessionCall::Pause});
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].kind, FakeSessionCall::Pause);
    EXPECT_EQ(calls[1].kind, FakeSessionCall::Start);
    EXPECT_EQ(calls[1].vt, VT_I8);
    EXPECT_NEAR(static_cast<double>(calls[1].position), 253.0 / 507.0 * 100 * kTestSecond, 1.0);
    EXPECT_EQ(calls[2].kind, FakeSessionCall::Pause) << "a paused seek stays paused";
    EXPECT_EQ(state->position.load(), calls[1].position);

    SendMouse(bar->hwnd, WM_MOUSEMOVE, 500, 52);  // within 200 ms: throttled
    EXPECT_EQ(Seeks().size(), 1u);
    g_lastSeekTick = GetTickCount64() - 201;
    SendMouse(bar->hwnd, WM_MOUSEMOVE, 500, 52);
    Settle();
    ASSERT_EQ(Seeks().size(), 2u);
    EXPECT_GT(Seeks()[1].position, Seeks()[0].position);

    // Out of the zone: no seek, but the drag goes on and seeks again on return.
    g_lastSeekTick = 0;
    SendMouse(bar->hwnd, WM_MOUSEMOVE, 500, 10);
    EXPECT_EQ(Seeks().size(), 2u);
    EXPECT_TRUE(bar->seekDragging);
    SendMouse(bar->hwnd, WM_MOUSEMOVE, 200, 52);
    Settle();
    EXPECT_EQ(Seeks().size(), 3u);

    session->ClearRecords();
    SendMouse(bar->hwnd, WM_LBUTTONUP, 200, 52);
    Settle();
    EXPECT_FALSE(bar->mouseDown);
    EXPECT_FALSE(bar->seekDragging);
    EXPECT_FALSE(bar->resumeAfterSeek);
    EXPECT_TRUE(state->videoPlaying);
    auto resumed = session->Calls({FakeSessionCall::Start});
    ASSERT_EQ(resumed.size(), 1u);
    EXPECT_EQ(resumed[0].vt, VT_EMPTY);
}

TEST_F(ControlBarTest, PressesAroundTheTrack) {
    const int64_t d = state->duration.load();
    const struct {
        int x, y;
        bool seeks;
        int64_t target;
    } cases[] = {
        {103, 52, true, 0},         // 10 left of the start: clamped to 0
        {630, 52, true, d},         // 10 right of the end: clamped to the duration
        {113, 32, true, 0},         // 15 above: still in the zone
        {300, 31, false, 0},        // 16 above: no seek
        {300, 73, false, 0},        // 16 below
        {-20, 52, false, 0},        // a captured pointer left of the bar (65516)
        {300, -3, false, 0},        // and above it
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << "," << c.y);
        session->ClearRecords();
        g_lastSeekTick = 0;
        state->position = 50 * kTestSecond;
        SendMouse(bar->hwnd, WM_LBUTTONDOWN, c.x, c.y);
        Settle();
        EXPECT_EQ(bar->seekDragging, c.seeks);
        const auto seeks = Seeks();
        ASSERT_EQ(seeks.size(), c.seeks ? 1u : 0u);
        if (c.seeks) {
            EXPECT_EQ(seeks[0].position, c.target);
            EXPECT_EQ(state->position.load(), c.target);
        } else {
            EXPECT_EQ(state->position.load(), 50 * kTestSecond);
        }
        SendMouse(bar->hwnd, WM_LBUTTONUP, c.x, c.y);
    }
}

TEST_F(ControlBarTest, PressAboveTrackStillPausesUntilRelease) {
    StartPlaying();
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 300, 31);
    Settle();
    EXPECT_TRUE(state->videoPaused);
    EXPECT_FALSE(bar->seekDragging);
    EXPECT_EQ(session->Count(FakeSessionCall::Pause), 1);
    EXPECT_TRUE(Seeks().empty());
    SendMouse(bar->hwnd, WM_LBUTTONUP, 300, 31);
    EXPECT_TRUE(state->videoPlaying);
    EXPECT_FALSE(state->videoPaused);
}

TEST_F(ControlBarTest, SecondPressWithin200MsDoesNotSeek) {
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 200, 52);
    SendMouse(bar->hwnd, WM_LBUTTONUP, 200, 52);
    ASSERT_EQ(Seeks().size(), 1u);
    g_lastSeekTick = GetTickCount64() - 150;
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 400, 52);
    EXPECT_EQ(Seeks().size(), 1u);
    EXPECT_TRUE(bar->seekDragging) << "still a drag: a later move may seek";
    SendMouse(bar->hwnd, WM_LBUTTONUP, 400, 52);
}

TEST_F(ControlBarTest, ZeroDurationPressNeitherPausesNorSeeks) {
    StartPlaying();
    state->duration = 0;
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 300, 52);
    EXPECT_TRUE(bar->mouseDown);
    EXPECT_FALSE(bar->seekDragging);
    EXPECT_FALSE(bar->resumeAfterSeek);
    SendMouse(bar->hwnd, WM_MOUSEMOVE, 350, 52);
    SendMouse(bar->hwnd, WM_LBUTTONUP, 350, 52);
    EXPECT_TRUE(session->Records().empty());
    EXPECT_TRUE(state->videoPlaying);
}

TEST_F(ControlBarTest, LosingTheCaptureEndsThePress) {
    StartPlaying();
    SendMouse(bar->hwnd, WM_LBUTTONDOWN, 300, 52);
    ASSERT_TRUE(state->videoPaused);
    ASSERT_EQ(GetCapture(), bar->hwnd);
    SetCapture(state->mainWindow);  // taken away before any release arrives
    EXPECT_FALSE(bar->mouseDown);
    EXPECT_FALSE(bar->seekDragging);
    EXPECT_TRUE(state->videoPlaying) << "the paused video resumes";
    // A later move over the track is no drag.
    g_lastSeekTick = 0;
    const size_t seeks = Seeks().size();
    SendMouse(bar->hwnd, WM_MOUSEMOVE, 400, 52);
    EXPECT_EQ(Seeks().size(), seeks);
    ReleaseCapture();
}

TEST_F(ControlBarTest, ButtonMessagesPlayAndPause) {
    SendMessageW(bar->hwnd, WM_APP_PLAY, 0, 0);
    Settle();
    EXPECT_TRUE(state->videoPlaying);
    SendMessageW(bar->hwnd, WM_APP_PAUSE, 0, 0);
    Settle();
    EXPECT_TRUE(state->videoPaused);
    g_sessionReady = false;  // before the session is ready neither acts
    SendMessageW(bar->hwnd, WM_APP_PLAY, 0, 0);
    EXPECT_TRUE(state->videoPaused);
    EXPECT_EQ(session->Count(FakeSessionCall::Start), 1);
    EXPECT_EQ(session->Count(FakeSessionCall::Pause), 1);
}

TEST_F(ControlBarTest, NonClientPressIsSwallowedAndKeysReachTheMainWindow) {
    EXPECT_EQ(SendMessageW(bar->hwnd, WM_NCLBUTTONDOWN, HTCAPTION, 0), 1);
    state->viewMode = ViewMode::ImageFolder;
    state->imageCount = 3;
    state->currentIndex = 2;
    SendMessageW(bar->hwnd, WM_KEYDOWN, VK_RIGHT, 0);
    EXPECT_EQ(state->currentIndex.load(), 0);
    SendMessageW(bar->hwnd, WM_KEYDOWN, VK_LEFT, 0);
    EXPECT_EQ(state->currentIndex.load(), 2);
}

TEST(ControlBarLoadError, MessageNamesTheMissingFile) {
    EXPECT_EQ(MissingImageMessage(L"./pict/VideoWindowButtonPlay.png"),
              L"画像が見つかりません。./pict/VideoWindowButtonPlay.png");
    EXPECT_STREQ(kButtonImageFiles[0], L"./pict/VideoWindowButtonClose.png");
    EXPECT_STREQ(kButtonImageFiles[5], L"./pict/VideoWindowButtonPauseDown.png");
}

}  // namespace
