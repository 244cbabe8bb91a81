// Shutting the pipeline down as the program closes: paused first, the
// closing thread's windows kept answering meanwhile, and a stuck pipeline
// given up on instead of waited for.
#include <gtest/gtest.h>

#include <atomic>

#include "tests/video/AnsweringWindow.h"
#include "tests/video/FakeMediaSession.h"
#include "video/MediaSource.h"
#include "video/OpenVideo.h"

namespace {

std::vector<FakeSessionCall> KindsOf(const std::vector<FakeSessionRecord>& records) {
    std::vector<FakeSessionCall> kinds;
    for (const FakeSessionRecord& r : records) kinds.push_back(r.kind);
    return kinds;
}

TEST(ShutdownVideoTest, NothingToShutDownSucceeds) {
    PlayerState state;
    EXPECT_TRUE(ShutdownVideo(state));
}

// The pipeline calls back into the closing thread's window while it winds
// down: a wait that did not answer would run into its limit.
TEST(ShutdownVideoTest, PausesThenShutsDownWhileAnsweringTheClosingThread) {
    AnsweringWindow window;
    ASSERT_NE(window.hwnd, nullptr);
    auto* session = new FakeMediaSession();
    session->pauseSendsTo = window.hwnd;
    session->pauseMessage = AnsweringWindow::kAsks;
    PlayerState state;
    state.mediaSession = session;
    // The mark is for the whole run: an earlier test may have set it.
    const bool stuckBefore = VideoPipelineStuck();

    EXPECT_TRUE(ShutdownVideo(state));
    EXPECT_EQ(window.asked.load(), 1);
    EXPECT_EQ(KindsOf(session->Records()),
              (std::vector<FakeSessionCall>{FakeSessionCall::Pause, FakeSessionCall::Shutdown}));
    for (const FakeSessionRecord& r : session->Records()) EXPECT_NE(r.threadId, GetCurrentThreadId());
    EXPECT_EQ(session->references.load(), 1);  // the worker's reference is given back
    EXPECT_EQ(VideoPipelineStuck(), stuckBefore);

    session->Release();
}

// Last in this file: a stuck pipeline leaves its mark for the rest of the run.
TEST(ShutdownVideoTest, StuckSessionIsGivenUpOnAndMarked) {
    HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(gate, nullptr);
    auto* session = new FakeMediaSession();
    session->shutdownGate = gate;
    PlayerState state;
    state.mediaSession = session;

    EXPECT_FALSE(ShutdownVideo(state));
    EXPECT_TRUE(VideoPipelineStuck());
    EXPECT_EQ(session->Count(FakeSessionCall::Shutdown), 0);
    EXPECT_EQ(session->references.load(), 2);  // still held by the stuck worker

    // Let the worker finish, and see that it lets go of its reference.
    SetEvent(gate);
    for (int i = 0; i < 200 && session->references.load() > 1; ++i) Sleep(10);
    EXPECT_EQ(session->Count(FakeSessionCall::Shutdown), 1);
    EXPECT_EQ(session->references.load(), 1);
    session->Release();
    CloseHandle(gate);
}

}  // namespace
