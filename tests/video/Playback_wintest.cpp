// Play, pause, seek and the position clock against a fake media session, and
// the main window's commands that drive them (seek keys, P, restart).
#include <atomic>
#include <thread>

#include "app/WineQuirks.h"
#include "tests/ui/ControlBarTestSupport.h"
#include "tests/video/FakeDisplayControl.h"
#include "ui/VideoPanel.h"

namespace {

using PlaybackTest = AppWindowsTest;

std::vector<FakeSessionCall> Kinds(const std::vector<FakeSessionRecord>& records) {
    std::vector<FakeSessionCall> out;
    for (const FakeSessionRecord& r : records)
        if (r.kind == FakeSessionCall::Start || r.kind == FakeSessionCall::Pause) out.push_back(r.kind);
    return out;
}

void Tick() { VideoClockCallback(0, 0, 0, 0, 0); }

TEST_F(PlaybackTest, NothingActsBeforeTheSessionIsReady) {
    g_sessionReady = false;
    state->position = 7 * kTestSecond;
    EXPECT_FALSE(PlayVideo(*state));
    EXPECT_FALSE(PauseVideo(*state));
    EXPECT_FALSE(SeekVideo(*state, 3 * kTestSecond));
    EXPECT_TRUE(session->Records().empty());
    EXPECT_FALSE(state->videoPlaying);
    EXPECT_FALSE(state->videoPaused);
    EXPECT_EQ(state->position.load(), 7 * kTestSecond);
}

TEST_F(PlaybackTest, TwoPlaysIssueOneStart) {
    EXPECT_TRUE(PlayVideo(*state));
    EXPECT_TRUE(PlayVideo(*state));
    const auto starts = session->Calls({FakeSessionCall::Start});
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(starts[0].hadTimeFormat);
    EXPECT_EQ(starts[0].timeFormat, GUID_NULL);
    EXPECT_EQ(starts[0].vt, VT_EMPTY);
    EXPECT_TRUE(state->videoPlaying);
    EXPECT_FALSE(state->videoPaused);
}

TEST_F(PlaybackTest, SecondPauseIsRefused) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    EXPECT_TRUE(PauseVideo(*state));
    EXPECT_FALSE(PauseVideo(*state));
    Settle();
    EXPECT_EQ(session->Count(FakeSessionCall::Pause), 1);
    EXPECT_FALSE(state->videoPlaying);
    EXPECT_TRUE(state->videoPaused);
}

TEST_F(PlaybackTest, SeekClampsToTheClip) {
    const struct {
        int64_t duration, target, expected;
    } cases[] = {
        {100 * kTestSecond, -5, 0},
        {100 * kTestSecond, 150 * kTestSecond, 100 * kTestSecond},
        {100 * kTestSecond, 42 * kTestSecond, 42 * kTestSecond},
        {100 * kTestSecond, 100 * kTestSecond, 100 * kTestSecond},
        {0, 5 * kTestSecond, 0},
        {0, -5 * kTestSecond, 0},
        {100 * kTestSecond, INT64_MIN, 0},
        {100 * kTestSecond, INT64_MAX, 100 * kTestSecond},
    };
    ASSERT_TRUE(PlayVideo(*state));
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.duration << " " << c.target);
        Settle();
        session->ClearRecords();
        state->duration = c.duration;
        EXPECT_TRUE(SeekVideo(*state, c.target));
        Settle();
        EXPECT_EQ(state->position.load(), c.expected);
        const auto calls = session->Records();
        ASSERT_EQ(calls.size(), 1u) << "playing: a start and no pause";
        EXPECT_EQ(calls[0].kind, FakeSessionCall::Start);
        EXPECT_EQ(calls[0].timeFormat, GUID_NULL);
        EXPECT_EQ(calls[0].vt, VT_I8);
        EXPECT_EQ(calls[0].position, c.expected);
    }
    EXPECT_TRUE(state->videoPlaying);
}

// The pause waits for the start's confirmation: one command at a time.
TEST_F(PlaybackTest, SeekWhilePausedStartsAndPausesAgain) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    ASSERT_TRUE(PauseVideo(*state));
    Settle();
    session->ClearRecords();
    EXPECT_TRUE(SeekVideo(*state, 30 * kTestSecond));
    EXPECT_EQ(Kinds(session->Records()), std::vector<FakeSessionCall>{FakeSessionCall::Start});
    Settle();
    EXPECT_EQ(Kinds(session->Records()),
              (std::vector<FakeSessionCall>{FakeSessionCall::Start, FakeSessionCall::Pause}));
    EXPECT_TRUE(state->videoPaused);
    EXPECT_FALSE(state->videoPlaying);
    EXPECT_EQ(state->position.load(), 30 * kTestSecond);
}

// A pause whose event never comes holds the resume only until the wait's
// limit: then the resume is issued all the same.
TEST_F(PlaybackTest, ACommandUnconfirmedHoldsTheNextUntilTheLimit) {
    for (const auto& [limitMs, starts] : {std::pair<uint64_t, size_t>{60'000, 0}, {0, 1}}) {
        SCOPED_TRACE(limitMs);
        session->confirmNumber = BeginVideoControl();
        state->videoPlaying = state->videoPaused = false;
        ASSERT_TRUE(PlayVideo(*state));
        Settle();
        const HWND confirmTo = session->confirmTo.exchange(nullptr);
        ASSERT_TRUE(PauseVideo(*state));
        Settle();
        session->confirmTo = confirmTo;
        SetCommandWaitLimit(limitMs);
        session->ClearRecords();
        EXPECT_TRUE(PlayVideo(*state));
        EXPECT_EQ(Kinds(session->Records()).size(), starts);
    }
    SetCommandWaitLimit(4000);
}

// A command the session refuses changes nothing: the video is where it was
// and the state says so. A paused video that will not pause again after a
// seek plays on, and the state says that.
TEST_F(PlaybackTest, RefusedCommandsLeaveTheStateTrue) {
    enum class Command { Play, Pause, Seek, Restart };
    const struct {
        const char* what;
        bool paused;  // before the command (else playing)
        Command command;
        HRESULT start, pause;
        bool result, playingAfter, pausedAfter;
        int64_t positionAfter;  // from 5 s, the seek's target 30 s
    } cases[] = {
        {"play refused", true, Command::Play, MF_E_INVALIDREQUEST, S_OK, false, false, true, 5 * kTestSecond},
        {"pause refused", false, Command::Pause, S_OK, MF_E_INVALIDREQUEST, false, true, false, 5 * kTestSecond},
        {"seek refused", false, Command::Seek, MF_E_INVALIDREQUEST, S_OK, false, true, false, 5 * kTestSecond},
        {"seek refused while paused", true, Command::Seek, MF_E_INVALIDREQUEST, S_OK, false, false, true,
         5 * kTestSecond},
        {"paused seek not paused again", true, Command::Seek, S_OK, MF_E_INVALIDREQUEST, true, true, false,
         30 * kTestSecond},
        {"paused seek", true, Command::Seek, S_OK, S_OK, true, false, true, 30 * kTestSecond},
        // The restart is made from the message loop: its start is refused later.
        {"restart refused", false, Command::Restart, MF_E_INVALIDREQUEST, S_OK, true, true, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        session->startResult = session->pauseResult = S_OK;
        session->confirmNumber = BeginVideoControl();
        state->videoPlaying = state->videoPaused = false;
        ASSERT_TRUE(PlayVideo(*state));
        Settle();
        if (c.paused) {
            ASSERT_TRUE(PauseVideo(*state));
        }
        Settle();
        state->position = 5 * kTestSecond;
        session->startResult = c.start;
        session->pauseResult = c.pause;
        bool result = false;
        switch (c.command) {
            case Command::Play: result = PlayVideo(*state); break;
            case Command::Pause: result = PauseVideo(*state); break;
            case Command::Seek: result = SeekVideo(*state, 30 * kTestSecond); break;
            case Command::Restart: result = RestartVideo(*state); break;
        }
        Settle();
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(state->videoPlaying.load(), c.playingAfter);
        EXPECT_EQ(state->videoPaused.load(), c.pausedAfter);
        EXPECT_EQ(state->position.load(), c.positionAfter);
    }
    session->startResult = S_OK;
    session->pauseResult = S_OK;
}

TEST_F(PlaybackTest, ClockTick) {
    const struct {
        const char* what;
        bool paused, busy;
        int64_t duration, clockTime;
        HRESULT getClock, correlated;
        bool asksClock;
        int64_t position;  // position after the tick, starting from 5 s
    } cases[] = {
        {"running", false, false, 100 * kTestSecond, 12 * kTestSecond, S_OK, S_OK, true, 12 * kTestSecond},
        {"paused", true, false, 100 * kTestSecond, 12 * kTestSecond, S_OK, S_OK, false, 5 * kTestSecond},
        {"busy", false, true, 100 * kTestSecond, 12 * kTestSecond, S_OK, S_OK, false, 5 * kTestSecond},
        {"clock at 0", false, false, 100 * kTestSecond, 0, S_OK, S_OK, true, 5 * kTestSecond},
        {"under a second", false, false, 0, 12 * kTestSecond, S_OK, S_OK, true, 5 * kTestSecond},
        {"no clock", false, false, 100 * kTestSecond, 12 * kTestSecond, E_FAIL, S_OK, true, 5 * kTestSecond},
        {"clock fails", false, false, 100 * kTestSecond, 12 * kTestSecond, S_OK, E_FAIL, true,
         5 * kTestSecond},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        session->ClearRecords();
        state->videoPaused = c.paused;
        state->videoPlaying = !c.paused;
        g_clockBusy = c.busy;
        state->duration = c.duration;
        state->position = 5 * kTestSecond;
        session->clock->time = c.clockTime;
        session->getClockResult = c.getClock;
        session->clock->correlatedResult = c.correlated;
        IMFClock* before = state->presentationClock;

        Tick();

        EXPECT_EQ(session->Count(FakeSessionCall::GetClock), c.asksClock ? 1 : 0);
        EXPECT_EQ(state->position.load(), c.position);
        EXPECT_EQ(g_clockBusy.load(), c.busy) << "a skipped tick leaves the holder's flag alone";
        IMFClock* const expected =
            !c.asksClock ? before : (FAILED(c.getClock) ? nullptr : static_cast<IMFClock*>(session->clock));
        EXPECT_EQ(state->presentationClock, expected) << "untouched while skipped, else fetched anew";
        g_clockBusy = false;
    }
}

TEST_F(PlaybackTest, ClockTickReleasesTheClockItReplaces) {
    state->videoPlaying = true;
    for (int i = 0; i < 5; ++i) Tick();
    // The session's own reference and the one in presentationClock.
    EXPECT_EQ(session->clock->references.load(), 2);
    SafeRelease(&state->presentationClock);
    EXPECT_EQ(session->clock->references.load(), 1);
}

TEST_F(PlaybackTest, ShortClipKeepsPositionAtZero) {
    state->duration = 0;
    ASSERT_TRUE(PlayVideo(*state));
    for (int64_t t : {int64_t{1}, 3 * kTestSecond / 10, 9 * kTestSecond / 10}) {
        session->clock->time = t;
        Tick();
        EXPECT_EQ(state->position.load(), 0);
    }
}

// Ten seconds from the stored position (the clock's last reading, or the
// target of a seek under way), playing or paused.
TEST_F(PlaybackTest, SeekKeys) {
    const int64_t d = 100 * kTestSecond;
    const struct {
        const char* what;
        UINT key;
        int64_t duration, position;
        bool paused, seeks;
        int64_t target;
    } cases[] = {
        {"left at 0.5 s", VK_LEFT, d, kTestSecond / 2, false, false, 0},
        {"left at exactly 1 s", VK_LEFT, d, kTestSecond, false, false, 0},
        {"left at 5 s", VK_LEFT, d, 5 * kTestSecond, false, true, 0},
        {"left at 50 s", VK_LEFT, d, 50 * kTestSecond, false, true, 40 * kTestSecond},
        {"left at 50 s, paused", VK_LEFT, d, 50 * kTestSecond, true, true, 40 * kTestSecond},
        {"right with 4 s left", VK_RIGHT, d, 96 * kTestSecond, false, true, d},
        {"right with 0.5 s left", VK_RIGHT, d, d - kTestSecond / 2, false, false, 0},
        {"right with exactly 1 s left", VK_RIGHT, d, d - kTestSecond, false, false, 0},
        {"right at 50 s", VK_RIGHT, d, 50 * kTestSecond, false, true, 60 * kTestSecond},
        {"right at 50 s, paused", VK_RIGHT, d, 50 * kTestSecond, true, true, 60 * kTestSecond},
        {"no duration", VK_RIGHT, 0, 0, false, false, 0},
    };
    ASSERT_TRUE(PlayVideo(*state));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Settle();
        if (c.paused) PauseVideo(*state);
        Settle();
        session->ClearRecords();
        state->duration = c.duration;
        state->position = c.position;

        HandleKeyCommand(*state, c.key);
        Settle();

        const auto starts = session->Calls({FakeSessionCall::Start});
        ASSERT_EQ(starts.size(), c.seeks ? 1u : 0u);
        if (c.seeks) {
            EXPECT_EQ(starts[0].vt, VT_I8);
            EXPECT_EQ(starts[0].position, c.target);
            EXPECT_EQ(state->position.load(), c.target);
        }
        EXPECT_EQ(session->Count(FakeSessionCall::Pause), c.paused && c.seeks ? 1 : 0) << "a paused seek pauses again";
        EXPECT_EQ(state->videoPaused.load(), c.paused);
        if (c.paused) PlayVideo(*state);
    }
}

// Presses faster than the session confirms add up, and the session is given
// one start to where they lead.
TEST_F(PlaybackTest, SeekKeysRepeatOnAutoRepeat) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    state->position = 20 * kTestSecond;
    for (int i = 0; i < 3; ++i) SendMessageW(state->mainWindow, WM_KEYDOWN, VK_RIGHT, 0x40000000);
    EXPECT_EQ(state->position.load(), 50 * kTestSecond);
    Settle();
    const auto seeks = Seeks();
    ASSERT_EQ(seeks.size(), 2u);  // the first press, then the last two together
    EXPECT_EQ(seeks[0].position, 30 * kTestSecond);
    EXPECT_EQ(seeks[1].position, 50 * kTestSecond);
}

TEST_F(PlaybackTest, PKeyPausesAndResumes) {
    HandleKeyCommand(*state, 'P');  // opened, not started: nothing
    EXPECT_TRUE(session->Records().empty());

    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    session->ClearRecords();
    HandleKeyCommand(*state, 'P');
    Settle();
    EXPECT_TRUE(state->videoPaused);
    EXPECT_EQ(Kinds(session->Records()), std::vector<FakeSessionCall>{FakeSessionCall::Pause});

    session->ClearRecords();
    g_sessionReady = false;
    HandleKeyCommand(*state, 'P');  // not ready: stays paused
    EXPECT_TRUE(state->videoPaused);
    EXPECT_TRUE(session->Records().empty());

    g_sessionReady = true;
    HandleKeyCommand(*state, 'P');
    Settle();
    EXPECT_FALSE(state->videoPaused);
    EXPECT_TRUE(state->videoPlaying);
    const auto starts = session->Calls({FakeSessionCall::Start});
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].vt, VT_EMPTY) << "resumes from where it paused";
}

TEST_F(PlaybackTest, PKeyAndArrowsDoNothingOutsideVideo) {
    for (ViewMode mode : {ViewMode::None, ViewMode::AnimatedGif}) {
        state->viewMode = mode;
        state->videoPlaying = true;
        state->position = 50 * kTestSecond;
        session->clock->time = 50 * kTestSecond;
        for (UINT key : {UINT{'P'}, UINT{VK_LEFT}, UINT{VK_RIGHT}}) HandleKeyCommand(*state, key);
        EXPECT_TRUE(session->Records().empty());
        EXPECT_FALSE(state->videoPaused);
    }
}

std::atomic<int> g_oldTimerTicks{0};
void CALLBACK CountTicks(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) { ++g_oldTimerTicks; }

TEST_F(PlaybackTest, RestartSeeksToZeroAndReplacesTheClockTimer) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    state->position = 99 * kTestSecond;
    const UINT oldTimer = timeSetEvent(10, 1, CountTicks, 0, TIME_PERIODIC);
    ASSERT_NE(oldTimer, 0u);
    state->mmTimerId = oldTimer;
    session->ClearRecords();
    session->clock->time = 0;  // the session has ended: the clock says 0 until it runs again

    SendMessageW(state->mainWindow, WM_APP_RESTART_VIDEO, 0, 0);
    EXPECT_TRUE(session->Records().empty()) << "the move waits for the message loop";
    Settle();

    // The session has ended: it is stopped, and once stopped, started at 0.
    EXPECT_EQ(session->Calls({FakeSessionCall::Start, FakeSessionCall::Stop})[0].kind, FakeSessionCall::Stop);
    const auto starts = session->Calls({FakeSessionCall::Start});
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].vt, VT_I8);
    EXPECT_EQ(starts[0].position, 0);
    EXPECT_EQ(state->position.load(), 0);
    EXPECT_FALSE(g_clockBusy.load());
    EXPECT_TRUE(state->videoPlaying);
    const uint32_t newTimer = state->mmTimerId.load();
    EXPECT_NE(newTimer, 0u);

    Sleep(30);
    const int ticksAfterKill = g_oldTimerTicks.load();
    session->clock->time = 3 * kTestSecond;
    Sleep(200);
    EXPECT_EQ(g_oldTimerTicks.load(), ticksAfterKill) << "the old timer was killed";
    // The new timer runs the clock on its own thread.
    const auto clocks = session->Calls({FakeSessionCall::GetClock});
    ASSERT_GE(clocks.size(), 2u);
    EXPECT_NE(clocks.back().threadId, GetCurrentThreadId());
    EXPECT_EQ(state->position.load(), 3 * kTestSecond);
}

TEST_F(PlaybackTest, RestartWaitsForAClockTickThatStillHoldsTheClock) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    session->ClearRecords();
    // A tick on another thread holds the flag when the restart arrives.
    g_clockBusy = true;
    int startsWhileHeld = -1;
    std::thread tick([&] {
        Sleep(60);
        startsWhileHeld = session->Count(FakeSessionCall::Start);
        g_clockBusy = false;
    });
    SendMessageW(state->mainWindow, WM_APP_RESTART_VIDEO, 0, 0);
    tick.join();
    Settle();
    EXPECT_EQ(startsWhileHeld, 0) << "the restart seeks only once the tick is done";
    EXPECT_EQ(session->Count(FakeSessionCall::Start), 1);
    EXPECT_FALSE(g_clockBusy.load());
}

// A tick of the killed timer that is still reading the clock when the restart
// comes keeps the flag until it is done: a seek key meanwhile finds the clock
// busy instead of releasing it under the tick.
TEST_F(PlaybackTest, RestartLeavesTheClockToATickStillReadingIt) {
    ASSERT_TRUE(PlayVideo(*state));
    Settle();
    state->position = 50 * kTestSecond;
    session->clock->time = 50 * kTestSecond;
    const HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE reading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    session->clock->reading = reading;
    session->clock->correlatedGate = gate;
    std::thread tick(Tick);
    ASSERT_EQ(WaitForSingleObject(reading, 10000), WAIT_OBJECT_0);
    session->ClearRecords();

    SendMessageW(state->mainWindow, WM_APP_RESTART_VIDEO, 0, 0);
    const bool heldAfterRestart = g_clockBusy.load();
    HandleKeyCommand(*state, VK_RIGHT);
    const int clocksTakenUnderTheTick = session->Count(FakeSessionCall::GetClock);

    SetEvent(gate);
    tick.join();
    Settle();
    CloseHandle(gate);
    CloseHandle(reading);
    EXPECT_TRUE(heldAfterRestart) << "the restart cleared the flag of the tick";
    EXPECT_EQ(clocksTakenUnderTheTick, 0) << "the seek key took the clock from under the tick";
    const auto seeks = Seeks();
    ASSERT_GE(seeks.size(), 1u) << "the restart seeks all the same";
    EXPECT_EQ(seeks.back().position, 10 * kTestSecond) << "the key's ten seconds on from the restart's 0";
    EXPECT_NE(state->mmTimerId.load(), 0u);
}

// The session ended just before the program was closed: its restart is
// handled while the close waits for the pipeline, after the clock timer died.
TEST_F(PlaybackTest, RestartDuringCloseDoesNothing) {
    ASSERT_TRUE(PlayVideo(*state));
    session->ClearRecords();
    state->mmTimerId = 0;  // killed by the close
    state->quitRequested = true;
    SendMessageW(state->mainWindow, WM_APP_RESTART_VIDEO, 0, 0);
    state->quitRequested = false;
    EXPECT_TRUE(session->Records().empty());
    EXPECT_EQ(state->mmTimerId.load(), 0u) << "a clock timer was armed after the close";
}

// Draws through the EndDraw seam, counted for one window.
HWND g_drawnWindow = nullptr;
int g_endDraws = 0;
HRESULT CountEndDraws(HWND window, HRESULT result) {
    if (window == g_drawnWindow) ++g_endDraws;
    return result;
}

// After a minimize and restore the video window paints: it asks the renderer
// to present its frame again and begins no Direct2D frame of its own over the
// video. A paused session sends no new frame, so a renderer that cannot
// repaint hands out its picture to be drawn. With Wine's answers the renderer
// is left alone while playing; with Windows' answers (the panel is the video
// window then) every paint asks it.
TEST_F(PlaybackTest, VideoWindowPaintLeavesThePictureToTheRenderer) {
    const struct {
        const char* what;
        bool windows;
        ViewMode mode;
        bool paused;
        HRESULT repaintResult;
        int repaints, currentImages, endDraws;
    } cases[] = {
        {"paused", false, ViewMode::Video, true, S_OK, 1, 0, 0},
        // Its picture is asked for once: Wine's hands out each frame once.
        {"paused, the renderer cannot repaint", false, ViewMode::Video, true, E_NOTIMPL, 1, 1, 0},
        {"playing", false, ViewMode::Video, false, S_OK, 0, 0, 0},
        {"not a video", false, ViewMode::None, true, S_OK, 0, 0, 1},
        {"Windows, paused", true, ViewMode::Video, true, S_OK, 1, 0, 0},
        {"Windows, playing", true, ViewMode::Video, false, S_OK, 1, 0, 0},
        {"Windows, playing, the renderer cannot repaint", true, ViewMode::Video, false, E_NOTIMPL, 1, 0, 0},
        {"Windows, not a video", true, ViewMode::None, true, S_OK, 0, 0, 1},
    };
    ASSERT_NE(state->videoPanel, nullptr);
    g_endDrawFilter = CountEndDraws;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ForceWindowsAnswers(c.windows);
        const HWND videoWindow = VideoPresentationWindow(state->videoPanel->hwnd);
        auto* display = new FakeDisplayControl();
        display->repaintResult = c.repaintResult;
        state->videoDisplayControl = display;
        state->viewMode = c.mode;
        state->videoPaused = c.paused;
        state->videoPlaying = !c.paused;
        state->position = 7 * kTestSecond;
        g_drawnWindow = videoWindow;
        g_endDraws = 0;
        SendMessageW(videoWindow, WM_PAINT, 0, 0);  // the test's windows are not shown
        SendMessageW(videoWindow, WM_PAINT, 0, 0);  // a second restore of the same pause
        EXPECT_EQ(display->repaints.load(), 2 * c.repaints);
        EXPECT_EQ(display->currentImages.load(), c.currentImages) << "drawn by us when the renderer cannot";
        EXPECT_EQ(g_endDraws, 2 * c.endDraws) << "Direct2D frames ended on the video window";
        state->videoDisplayControl = nullptr;
        display->Release();
    }
    ForceWindowsAnswers(false);
    g_endDrawFilter = nullptr;
    state->viewMode = ViewMode::Video;
}

}  // namespace
