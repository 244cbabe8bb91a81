#include "video/SessionSteps.h"

SessionStep NextSessionStep(SessionPhase phase, const SessionWish& wish, int64_t position, bool rebuildToMove) {
    const bool seek = wish.seekTo != kNoSeek;
    const int64_t target = seek ? wish.seekTo : position;
    switch (phase) {
        case SessionPhase::Fresh:
            // A new session starts at its beginning without being told where:
            // a start with a position would seek the source first. Where
            // sessions are rebuilt to move, a session told nothing ends a
            // second or so in (the loop's new session played 1-3 frames and
            // ended, again and again); told 0, it plays through.
            return target == 0 && !rebuildToMove ? SessionStep{StepKind::Resume}
                                                 : SessionStep{StepKind::StartAt, target};
        case SessionPhase::Started:
            if (seek) return rebuildToMove ? SessionStep{StepKind::Rebuild} : SessionStep{StepKind::StartAt, target};
            return {wish.paused ? StepKind::Pause : StepKind::None};
        case SessionPhase::Paused:
            if (seek) return rebuildToMove ? SessionStep{StepKind::Rebuild} : SessionStep{StepKind::StartAt, target};
            if (wish.paused) return {};
            return {rebuildToMove ? StepKind::Rebuild : StepKind::Resume};
        case SessionPhase::Stopped:
            if (!seek && wish.paused) return {};
            return rebuildToMove ? SessionStep{StepKind::Rebuild} : SessionStep{StepKind::StartAt, target};
        case SessionPhase::Ended:
            if (!seek) return {};
            return {rebuildToMove ? StepKind::Rebuild : StepKind::Stop};
    }
    return {};
}

uint32_t EndOfPresentationWaitMs(int64_t clockTime, int64_t duration) {
    if (clockTime < 0 || duration <= clockTime) return 0;
    const int64_t remainingMs = (duration - clockTime) / 10'000 + kEndOfPresentationMarginMs;
    return static_cast<uint32_t>(remainingMs < kEndOfPresentationWaitLimitMs ? remainingMs
                                                                             : kEndOfPresentationWaitLimitMs);
}
