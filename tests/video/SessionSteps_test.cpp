// The next command for the media session, from what it last confirmed and what
// the user wants, on a session that moves and on one rebuilt to move.
#include <gtest/gtest.h>

#include "video/SessionSteps.h"

namespace {

constexpr int64_t kAt = 70'000'000;    // the last known position
constexpr int64_t kSeek = 170'000'000;  // a pending seek's target

TEST(SessionSteps, NextCommand) {
    using P = SessionPhase;
    using K = StepKind;
    const struct {
        P phase;
        bool paused;
        int64_t seekTo;
        K moves, rebuilds;  // on a session that moves; where it is rebuilt to move
        int64_t position;   // of a StartAt
    } cases[] = {
        {P::Fresh, false, kNoSeek, K::StartAt, K::StartAt, kAt},
        {P::Fresh, true, kNoSeek, K::StartAt, K::StartAt, kAt},  // started to show its picture, then paused
        {P::Fresh, true, kSeek, K::StartAt, K::StartAt, kSeek},
        {P::Fresh, false, 0, K::Resume, K::StartAt, 0},  // from its beginning, with no seek first
        {P::Fresh, true, 0, K::Resume, K::StartAt, 0},
        {P::Started, false, kNoSeek, K::None, K::None, 0},
        {P::Started, true, kNoSeek, K::Pause, K::Pause, 0},
        {P::Started, false, kSeek, K::StartAt, K::Rebuild, kSeek},
        {P::Started, true, kSeek, K::StartAt, K::Rebuild, kSeek},
        {P::Paused, true, kNoSeek, K::None, K::None, 0},
        {P::Paused, false, kNoSeek, K::Resume, K::Rebuild, 0},
        {P::Paused, true, kSeek, K::StartAt, K::Rebuild, kSeek},
        {P::Paused, false, 0, K::StartAt, K::Rebuild, 0},
        {P::Stopped, true, kNoSeek, K::None, K::None, 0},
        {P::Stopped, false, kNoSeek, K::StartAt, K::Rebuild, kAt},
        {P::Stopped, true, kSeek, K::StartAt, K::Rebuild, kSeek},
        {P::Ended, false, kNoSeek, K::None, K::None, 0},
        {P::Ended, false, 0, K::Stop, K::Rebuild, 0},  // the loop: stopped first, then started at 0
        {P::Ended, true, 0, K::Stop, K::Rebuild, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "phase " << int(c.phase) << " paused " << c.paused << " seek " << c.seekTo);
        for (bool rebuild : {false, true}) {
            const SessionStep step = NextSessionStep(c.phase, SessionWish{c.paused, c.seekTo}, kAt, rebuild);
            const K expected = rebuild ? c.rebuilds : c.moves;
            EXPECT_EQ(int(step.kind), int(expected)) << "rebuild " << rebuild;
            if (expected == K::StartAt) {
                EXPECT_EQ(step.position, c.position) << "rebuild " << rebuild;
            }
        }
    }
}

TEST(SessionSteps, EndOfPresentationWaitsForTheFramesStillDue) {
    constexpr int64_t kEnd = 30'000'000;  // a 3 s clip
    const struct {
        int64_t clock;
        uint32_t ms;
    } cases[] = {
        {kEnd - 2'500'000, 250 + kEndOfPresentationMarginMs},  // the last frames still queued
        {kEnd - 1, kEndOfPresentationMarginMs},
        {kEnd, 0},
        {kEnd + 400'000, 0},  // the clock already past the end
        {-1, 0},              // no clock
        {0, kEndOfPresentationWaitLimitMs},  // a clock far from the end waits no longer than the limit
    };
    for (const auto& c : cases) EXPECT_EQ(EndOfPresentationWaitMs(c.clock, kEnd), c.ms) << "clock " << c.clock;
}

}  // namespace
