#pragma once
// The program's real windows for Windows-side tests of the control bar, its
// buttons and the playback commands: one set per test program (windows are
// never destroyed in the product either), a fresh fake media session per test.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/DrawingResources.h"
#include "app/Startup.h"
#include "app/WineQuirks.h"
#include "tests/video/FakeMediaSession.h"
#include "ui/Buttons.h"
#include "ui/ControlBar.h"
#include "ui/MainWindow.h"
#include "video/Playback.h"

constexpr int64_t kTestSecond = 10'000'000;

struct SharedAppWindows {
    PlayerState** cell = nullptr;
    PlayerState* state = nullptr;
};

// COM, the factories, a PlayerState and CreateAppWindows, once. Other tests
// may have made their own state cell since; this one is put back each time.
inline SharedAppWindows& AppWindowsForTest() {
    static SharedAppWindows app = [] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (!g_d2dFactory || !g_dwriteFactory || !g_wicFactory) CreateFactories();
        SharedAppWindows made;
        made.state = CreatePlayerState();
        made.cell = g_playerState;
        CreateAppWindows(*made.state);
        return made;
    }();
    g_playerState = app.cell;
    *app.cell = app.state;
    return app;
}

// Runs everything the windows have queued (paints, posted messages).
inline void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// A state in Video mode with a ready fake session, 100 s long, not started.
class AppWindowsTest : public testing::Test {
protected:
    void SetUp() override {
        state = AppWindowsForTest().state;
        bar = state->controlWindow;
        ASSERT_NE(bar, nullptr);
        ASSERT_NE(bar->hwnd, nullptr);
        session = new FakeMediaSession();
        state->mediaSession = session;  // the state's reference
        state->viewMode = ViewMode::Video;
        state->duration = 100 * kTestSecond;
        state->position = 0;
        state->videoPlaying = false;
        state->videoPaused = false;
        g_sessionReady = true;
        g_clockBusy = false;
        g_lastSeekTick = 0;
        // The documented command sequence, each command confirmed by the fake
        // once messages are pumped (Settle).
        ForceRebuildSessionToMove(0);
        session->confirmTo = state->mainWindow;
        session->confirmNumber = BeginVideoControl();
        bar->mouseDown = bar->seekDragging = bar->resumeAfterSeek = false;
        for (ButtonWindow* b : {bar->closeButton, bar->playButton}) {
            ASSERT_NE(b, nullptr);
            b->pressed = false;
        }
    }

    void TearDown() override {
        ReleaseCapture();
        const uint32_t timer = state->mmTimerId.exchange(0);
        if (timer != 0) {
            timeKillEvent(timer);
            Sleep(50);  // a tick in progress ends before the session goes
        }
        SafeRelease(&state->presentationClock);
        SafeRelease(&state->mediaSession);
        session = nullptr;
        g_sessionReady = false;
        g_clockBusy = false;
        ForceRebuildSessionToMove(-1);
        state->imageNames.clear();
        state->imageCount = 0;
        state->currentIndex = 0;
        state->startFileName[0] = L'\0';
        PumpMessages();
    }

    // The session confirms what it was given, and the next command follows.
    void Settle() { PumpMessages(); }

    // Sends a mouse message with bar-pixel coordinates as the system packs them.
    LRESULT SendMouse(HWND window, UINT message, int x, int y) {
        return SendMessageW(window, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON,
                            MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
    }

    std::vector<FakeSessionRecord> Seeks() const {
        std::vector<FakeSessionRecord> out;
        for (const FakeSessionRecord& r : session->Calls({FakeSessionCall::Start}))
            if (r.vt == VT_I8) out.push_back(r);
        return out;
    }

    PlayerState* state = nullptr;
    ControlWindow* bar = nullptr;
    FakeMediaSession* session = nullptr;  // owned by state->mediaSession
};
