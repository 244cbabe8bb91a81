#pragma once
// A fresh state with every window, as start-up builds it, for the tests that
// open real clips: COM and Media Foundation started once, the factories made
// once, and the UI thread's messages pumped while waiting.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "app/Startup.h"
#include "ui/MainWindow.h"
#include "video/OpenVideo.h"
#include "video/Playback.h"
#include "tests/video/TestClips.h"

namespace videotest {

inline void StartPlatformOnce() {
    static const bool started = [] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        MFStartup(MF_VERSION, MFSTARTUP_FULL);
        CreateFactories();
        return true;
    }();
    (void)started;
}

// Dispatches this thread's messages for `ms` milliseconds (the session's
// events are sent to the windows of this thread and wait for it).
inline void PumpFor(DWORD ms) {
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount64() < end);
}

// Pumps until `done()` holds or `ms` milliseconds pass; returns done().
template <typename F>
bool PumpUntil(DWORD ms, F done) {
    const ULONGLONG end = GetTickCount64() + ms;
    while (!done() && GetTickCount64() < end) PumpFor(10);
    return done();
}

// A new state with its windows and `path` classified as the command line.
inline PlayerState& FreshState(const std::wstring& path) {
    StartPlatformOnce();
    g_sessionReady.store(false);
    PlayerState* state = CreatePlayerState();
    CreateAppWindows(*state);
    state->viewMode = ClassifyCommandLineFile(path.c_str());
    return *state;
}

// Ends what FreshState and opening made, as the program does at its end: a
// session left running while the process ends crashes Wine's media pipeline.
inline void EndState(PlayerState& state) {
    ShutdownVideo(state);
    PumpFor(20);
    if (state.mainWindow) DestroyWindow(state.mainWindow);
    g_sessionReady.store(false);
}

// Tests that open clips: every state made through Fresh() is ended afterwards.
class VideoTest : public ::testing::Test {
protected:
    PlayerState& Fresh(const std::wstring& path) {
        PlayerState& state = FreshState(path);
        states_.push_back(&state);
        return state;
    }
    void TearDown() override {
        for (PlayerState* state : states_) EndState(*state);
        states_.clear();
    }

private:
    std::vector<PlayerState*> states_;
};

}  // namespace videotest

#define REQUIRE_CLIP(path)                                            \
    do {                                                              \
        if ((path).empty()) GTEST_SKIP() << "no ffmpeg to make clips"; \
    } while (0)
