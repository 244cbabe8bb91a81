#include "video/Playback.h"

#include <propvarutil.h>

#include "app/DrawingResources.h"
#include "app/HResult.h"
#include "app/StageTrace.h"
#include "app/WindowPlumbing.h"
#include "app/WineQuirks.h"
#include "video/DisplayAwake.h"
#include "video/OpenVideo.h"
#include "video/SessionSteps.h"

namespace {

// How long a restart waits, 1 ms at a time, for a clock tick of the killed
// timer that is still under way.
constexpr int kRestartWaitTries = 100;

// How long a command's event is awaited before the command is given up (see
// Drive). A start, pause or stop is confirmed within a few frame times; a new
// session within its opening, well under a second here.
uint64_t g_commandWaitLimitMs = 4000;

// The sequences, by Media Foundation's documentation of IMFMediaSession
// (every command is asynchronous and ends in its event: Start in
// MESessionStarted, Pause in MESessionPaused, Stop in MESessionStopped; a
// command the session's state does not take fails with MF_E_INVALIDREQUEST):
//   pause          Pause while started, then MESessionPaused.
//   resume         Start(VT_EMPTY) while paused: on from the current position.
//   seek, playing  Start(VT_I8 target) while started.
//   seek, paused   Start(VT_I8 target), and once MESessionStarted has come,
//                  Pause: the frame at the target shows and stays.
//   loop           after MESessionEnded, Stop, then Start(VT_I8 0) once
//                  MESessionStopped has come.
// Where RebuildSessionToMove() holds (Wine 8.0, app/WineQuirks.h) resume,
// seeks and the loop are a new session instead, started at the position once
// its topology is ready (and paused once started, for a paused video).

// The commands under way on the session. UI thread only, except `moving`.
struct SessionControl {
    SessionPhase phase = SessionPhase::Fresh;  // what the session last confirmed
    SessionWish wish;
    StepKind awaiting = StepKind::None;  // the command whose event has not come yet
    uint64_t issuedAt = 0;               // GetTickCount64() when `awaiting` was issued
    uint32_t session = 0;                // the number of the session these commands went to
};
SessionControl g_control;
// Set while a command that moves the position (a start at a position, a new
// session) is under way: the clock still reads the old position then, and
// the timer thread must not write it over the target. Written by the UI
// thread, read by the timer thread.
std::atomic<bool> g_sessionMoving{false};
// A paused seek on a new session (RebuildSessionToMove): the pause waits
// until the session's clock has passed this time (100-ns units, -1 for no
// wait), so the picture at the target has been presented first: Wine's
// renderer presents nothing once paused, and a pause at MESessionStarted
// left the old picture on screen. Armed by the UI thread; the clock tick
// (timer thread) disarms it and posts MESessionStarted for `g_pauseSession`
// again, which issues the pause.
std::atomic<int64_t> g_pauseOnceAt{-1};
std::atomic<uint32_t> g_pauseSession{0};
// How far past the target the clock runs before that pause, so that the
// first frame has been presented even when it came late. A new session's
// first frame comes 130-250 ms after its clock starts here (more under
// load); with 200 ms, one paused seek in three left the old picture on
// screen (the pause came first). Half a second: the seek shows that much of
// the clip before it holds.
constexpr int64_t kShownMargin = 5'000'000;

// A new opening made a new session: its commands start afresh. (A rebuild's
// new session is the one the commands awaited; it carries them on.)
void FollowOpening() {
    if (g_control.session == VideoSessionNumber() || g_control.awaiting == StepKind::Rebuild) return;
    g_control = SessionControl{};
    g_control.session = VideoSessionNumber();
    g_sessionMoving.store(false);
}

HRESULT StartAt(IMFMediaSession* session, int64_t position) {
    PROPVARIANT start;
    PropVariantInit(&start);
    start.vt = VT_I8;
    start.hVal.QuadPart = position;
    const HRESULT hr = session->Start(&GUID_NULL, &start);
    PropVariantClear(&start);
    return hr;
}

HRESULT Resume(IMFMediaSession* session) {
    PROPVARIANT resume;  // VT_EMPTY: on from the paused position
    PropVariantInit(&resume);
    return session->Start(&GUID_NULL, &resume);
}

// The phase a command leads the session to once confirmed (or given up).
SessionPhase PhaseAfter(StepKind step, SessionPhase current) {
    switch (step) {
        case StepKind::StartAt:
        case StepKind::Resume: return SessionPhase::Started;
        case StepKind::Pause: return SessionPhase::Paused;
        case StepKind::Stop: return SessionPhase::Stopped;
        case StepKind::Rebuild: return SessionPhase::Fresh;
        case StepKind::None: break;
    }
    return current;
}

// Whether `event` is the one that confirms the command `awaited`.
bool Confirms(StepKind awaited, WPARAM event) {
    switch (awaited) {
        case StepKind::StartAt:
        case StepKind::Resume: return event == MESessionStarted;
        case StepKind::Pause: return event == MESessionPaused;
        case StepKind::Stop: return event == MESessionStopped;
        case StepKind::Rebuild: return event == MESessionTopologyStatus;
        case StepKind::None: break;
    }
    return false;
}

// Issues the next command the wish needs, unless one is under way. False when
// the session refused it (the wish's seek is then dropped, so it is not tried
// again at every event).
bool Drive(PlayerState& state) {
    FollowOpening();
    // A command whose event never came must not hold every later one: past
    // the limit it is given up as if confirmed (the session taken to be where
    // it would have led) and the next command issued. Given up rather than
    // the session rebuilt: the session takes commands queued behind one under
    // way and answers them in order, so a lost event leaves it usable, and a
    // command its real state does not take fails at once (handled below); a
    // rebuild would cost a new source and topology behind the pop-up for a
    // missed confirmation. A session stuck for good is the close's watchdog's.
    if (g_control.awaiting != StepKind::None && GetTickCount64() - g_control.issuedAt >= g_commandWaitLimitMs) {
        g_control.phase = PhaseAfter(g_control.awaiting, g_control.phase);
        g_control.awaiting = StepKind::None;
        g_sessionMoving.store(false);
    }
    if (g_control.awaiting != StepKind::None || !state.mediaSession) return true;
    const SessionStep step =
        NextSessionStep(g_control.phase, g_control.wish, state.position.load(), RebuildSessionToMove());
    if (step.kind == StepKind::Pause && g_pauseOnceAt.load() >= 0 &&
        GetTickCount64() - g_control.issuedAt < g_commandWaitLimitMs)
        return true;  // the clock tick asks again once the picture has shown
    g_pauseOnceAt.store(-1);
    HRESULT hr = S_OK;
    switch (step.kind) {
        case StepKind::None:
            return true;
        case StepKind::StartAt:
            hr = StartAt(state.mediaSession, step.position);
            break;
        case StepKind::Resume:
            hr = Resume(state.mediaSession);
            break;
        case StepKind::Pause:
            hr = state.mediaSession->Pause();
            break;
        case StepKind::Stop:
            hr = state.mediaSession->Stop();
            break;
        case StepKind::Rebuild:
            hr = RebuildVideoSession(state) ? S_OK : E_FAIL;
            g_control.session = VideoSessionNumber();
            break;
    }
    if (FAILED(hr)) {
        g_control.wish.seekTo = kNoSeek;
        return false;
    }
    g_control.awaiting = step.kind;
    g_control.issuedAt = GetTickCount64();
    if (step.kind == StepKind::StartAt) {
        g_control.wish.seekTo = kNoSeek;
        state.position.store(step.position);
    }
    g_sessionMoving.store(step.kind == StepKind::StartAt || step.kind == StepKind::Rebuild);
    return true;
}

}  // namespace

void SetCommandWaitLimit(uint64_t milliseconds) { g_commandWaitLimitMs = milliseconds; }

uint32_t BeginVideoControl() {
    g_control = SessionControl{};
    g_control.session = VideoSessionNumber();
    g_sessionMoving.store(false);
    return g_control.session;
}

void OnSessionStep(PlayerState& state, WPARAM event, LPARAM session) {
    FollowOpening();
    if (static_cast<uint32_t>(session) != g_control.session) return;
    if (event == MESessionEnded) {  // the restart at the clip's end, posted by RestartVideo
        if (!state.quitRequested.load()) Drive(state);
        return;
    }
    if (g_control.awaiting == StepKind::None) {
        if (event == MESessionStarted && !state.quitRequested.load()) Drive(state);  // the clock tick's, above
        return;
    }
    SessionPhase confirmed = g_control.phase;
    if (event == MEError) {
        // The command did not happen: the session stays where it was, and
        // the move it served is given up.
        g_control.wish.seekTo = kNoSeek;
    } else if (Confirms(g_control.awaiting, event)) {
        confirmed = PhaseAfter(g_control.awaiting, confirmed);
    } else {
        return;  // an event of another kind (a start confirmed twice): not the one awaited
    }
    if (g_control.awaiting == StepKind::StartAt && confirmed == SessionPhase::Started && g_control.wish.paused &&
        RebuildSessionToMove()) {
        g_pauseSession.store(g_control.session);
        g_pauseOnceAt.store(state.position.load() + kShownMargin);
    }
    g_control.phase = confirmed;
    g_control.awaiting = StepKind::None;
    g_sessionMoving.store(false);
    if (state.quitRequested.load() || Drive(state)) return;
    if (g_control.phase == SessionPhase::Started && g_control.wish.paused) {
        // A paused video that will not pause again after its seek plays on,
        // and says so.
        g_control.wish.paused = false;
        state.videoPaused.store(false);
        state.videoPlaying.store(true);
        KeepDisplayAwake(true);
    }
}

bool PlayVideo(PlayerState& state) {
    if (!g_sessionReady.load()) return false;
    if (state.videoPlaying.load()) return true;
    const SessionWish before = g_control.wish;
    g_control.wish.paused = false;
    if (!Drive(state)) {
        g_control.wish = before;  // a start the session refuses leaves the video as it was
        return false;
    }
    state.videoPlaying.store(true);
    state.videoPaused.store(false);
    KeepDisplayAwake(true);
    RepaintWindow(state.mainWindow);
    return true;
}

bool PauseVideo(PlayerState& state) {
    if (!g_sessionReady.load() || state.videoPaused.load()) return false;
    const SessionWish before = g_control.wish;
    g_control.wish.paused = true;
    if (!Drive(state)) {
        g_control.wish = before;
        return false;
    }
    state.videoPlaying.store(false);
    state.videoPaused.store(true);
    KeepDisplayAwake(false);
    return true;
}

bool SeekVideo(PlayerState& state, int64_t target) {
    if (!g_sessionReady.load()) return false;
    const int64_t duration = state.duration.load();
    if (target < 0) target = 0;
    if (target > duration) target = duration;
    const int64_t before = state.position.exchange(target);  // the bar shows it before the clock catches up
    g_control.wish.seekTo = target;
    if (!Drive(state)) {
        state.position.store(before);  // the video stays where it was
        return false;
    }
    return true;
}

bool RestartVideo(PlayerState& state) {
    // CloseProgram has killed the clock timer already and is waiting for the
    // pipeline to shut down; the restart message can still arrive in that wait.
    if (state.quitRequested.load()) return false;
    const uint32_t timer = state.mmTimerId.exchange(0);
    if (timer != 0) timeKillEvent(timer);
    // A tick of the killed timer may still be under way and hold the clock.
    // Wait briefly for it; if it is slow (stuck in the pipeline), go on
    // without the flag and leave it to its holder: clearing the flag under
    // the tick would let another holder release the clock the tick is reading.
    bool holding = false;
    for (int tries = 0; tries < kRestartWaitTries; ++tries) {
        if (!g_clockBusy.exchange(true)) {
            holding = true;
            break;
        }
        Sleep(1);
    }
    // The session has played to its end; a command under way (a seek given
    // right at the end) decides where it goes instead.
    if (g_control.awaiting == StepKind::None) g_control.phase = SessionPhase::Ended;
    if (holding) g_clockBusy.store(false);
    bool sought = false;
    if (g_sessionReady.load()) {
        state.position.store(0);
        g_control.wish.seekTo = 0;
        // The move is made from the message loop: this message was sent by
        // the session's event thread, which waits for the answer, and a new
        // session can only be put in place once the old one has shut down,
        // which needs that thread.
        sought = PostMessageW(state.mainWindow, WM_APP_SESSION_STEP, MESessionEnded,
                              static_cast<LPARAM>(g_control.session)) != FALSE;
    }
    state.mmTimerId.store(timeSetEvent(kVideoClockMs, 1, VideoClockCallback, 0, TIME_PERIODIC));
    return sought;
}

// The position is the presentation clock's time (IMFMediaSession::GetClock,
// IMFClock::GetCorrelatedTime), which Media Foundation documents as the
// presentation time the renderers present against: a renderer falling behind
// is to catch up by having frames dropped (the session's quality manager
// tells the decoder to drop), so the picture keeps to the clock. Under Wine
// 8.0 nothing drops: its standard quality manager does nothing (every
// notification answers E_NOTIMPL), and its video presenter shows a late
// sample at once, waiting only for an early one. A pipeline slower than real
// time (a 1080p clip on a loaded machine, about 6 of 30 frames a second
// here) then shows an ever older picture while the clock runs on, and the
// bar's time is ahead of the picture by the accumulated lag.
void CALLBACK VideoClockCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    PlayerState* state = CurrentState();
    const int64_t pauseAt = g_pauseOnceAt.load();
    if (!state || (state->videoPaused.load() && pauseAt < 0) || g_sessionMoving.load()) return;
    if (g_clockBusy.exchange(true)) return;  // a new session is being put in place
    SafeRelease(&state->presentationClock);
    if (state->mediaSession &&
        SUCCEEDED(state->mediaSession->GetClock(&state->presentationClock)) &&
        state->presentationClock) {
        LONGLONG clockTime = 0;
        MFTIME systemTime = 0;
        // Never back to 0 from the clock: only a seek sets position to 0.
        if (SUCCEEDED(state->presentationClock->GetCorrelatedTime(0, &clockTime, &systemTime)) && clockTime > 0 &&
            state->duration.load() > 0 && !g_sessionMoving.load()) {
            int64_t armed = pauseAt;
            if (pauseAt >= 0 && clockTime >= pauseAt && g_pauseOnceAt.compare_exchange_strong(armed, -1))
                PostMessageW(state->mainWindow, WM_APP_SESSION_STEP, MESessionStarted,
                             static_cast<LPARAM>(g_pauseSession.load()));
            if (!state->videoPaused.load()) state->position.store(clockTime);
            static std::atomic<bool> traced{false};
            if (!traced.exchange(true)) TraceStage("clock running");
        }
    }
    g_clockBusy.store(false);
}
