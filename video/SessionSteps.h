#pragma once
// Which command the media session is given next, one at a time.
//
// Contract: the session takes one command at a time; the caller issues the
// step returned here only when no step is awaiting its event, and records the
// phase that the step's event confirms (Start -> Started, Pause -> Paused,
// Stop -> Stopped, a new session's readiness -> Fresh; the end of the clip ->
// Ended). `wish` is what the user last asked for: paused or not, and a
// position to go to (kNoSeek for none); it is kept by the caller, and a
// pending seek is cleared once the StartAt that serves it is issued.
// `position` is the last known playing position (where a fresh session starts
// when no seek is pending). `rebuildToMove`: the platform's session can be
// started once only, from its first state (see app/WineQuirks.h); every resume,
// seek and restart is then a new session (Rebuild), started afresh.
//
//   phase    | seek pending                 | no seek, wish playing      | no seek, wish paused
//   Fresh    | StartAt(seek)                | StartAt(position)          | StartAt(position)
//            (Resume - Start with no position, from the beginning - for 0)
//   Started  | StartAt(seek) / Rebuild      | None                       | Pause
//   Paused   | StartAt(seek) / Rebuild      | Resume / Rebuild           | None
//   Stopped  | StartAt(seek) / Rebuild      | StartAt(position)/Rebuild  | None
//   Ended    | Stop / Rebuild               | None                       | None
// (x / y: x on a session that moves, y where rebuildToMove holds.) A Fresh
// session is started even when the wish is paused: it pauses once started,
// and so shows the picture at its position.
// Pure: no Windows types.
#include <cstdint>

constexpr int64_t kNoSeek = -1;

enum class SessionPhase : uint8_t { Fresh, Started, Paused, Stopped, Ended };
enum class StepKind : uint8_t { None, Resume, StartAt, Pause, Stop, Rebuild };

struct SessionWish {
    bool paused = false;
    int64_t seekTo = kNoSeek;  // 100-ns units, already clamped to the clip
};

struct SessionStep {
    StepKind kind = StepKind::None;
    int64_t position = 0;  // StartAt only
};

SessionStep NextSessionStep(SessionPhase phase, const SessionWish& wish, int64_t position, bool rebuildToMove);

// How long the end of the presentation waits, in milliseconds, before the
// pop-up covers the picture and the clip restarts. The end is reported once
// the source has delivered its last sample, while the renderer still holds
// the last few frames, each presented at its time on the presentation clock;
// the last one is due before the clock reaches the clip's `duration`. So the
// wait lasts until then (`clockTime`, the clock when the end was reported),
// plus kEndOfPresentationMarginMs for the renderer to present it, and never
// more than kEndOfPresentationWaitLimitMs: a clock that reads far from the
// end (or cannot be read: -1) waits for nothing more than its frames could
// need. 100-ns units in.
constexpr uint32_t kEndOfPresentationMarginMs = 20;
constexpr uint32_t kEndOfPresentationWaitLimitMs = 1000;
uint32_t EndOfPresentationWaitMs(int64_t clockTime, int64_t duration);
