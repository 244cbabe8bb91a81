#include "video/Playback.h"

#include <propvarutil.h>

#include "app/DrawingResources.h"
#include "app/HResult.h"
#include "app/WindowPlumbing.h"
#include "video/DisplayAwake.h"

namespace {

// How long a restart waits, 1 ms at a time, for a clock tick of the killed
// timer that is still under way.
constexpr int kRestartWaitTries = 100;

}  // namespace

bool PlayVideo(PlayerState& state) {
    if (!g_sessionReady.load()) return false;
    if (state.videoPlaying.load()) return true;
    if (state.mediaSession) {
        PROPVARIANT resume;  // VT_EMPTY: from the beginning, or on from a pause
        PropVariantInit(&resume);
        // A start the session refuses leaves the video as it was. (The start
        // itself runs later on the session's queue; these flags are set long
        // before its first event.)
        RETURN_FALSE_IF_FAILED(state.mediaSession->Start(&GUID_NULL, &resume));
    }
    state.videoPlaying.store(true);
    state.videoPaused.store(false);
    KeepDisplayAwake(true);
    RepaintWindow(state.mainWindow);
    return true;
}

bool PauseVideo(PlayerState& state) {
    if (!g_sessionReady.load() || state.videoPaused.load()) return false;
    if (state.mediaSession) RETURN_FALSE_IF_FAILED(state.mediaSession->Pause());
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
    if (state.mediaSession) {
        PROPVARIANT start;
        PropVariantInit(&start);
        start.vt = VT_I8;
        start.hVal.QuadPart = target;
        const HRESULT started = state.mediaSession->Start(&GUID_NULL, &start);
        PropVariantClear(&start);
        if (FAILED(started)) {
            state.position.store(before);  // the video stays where it was
            return false;
        }
        // A paused video shows the frame at the new position and stays
        // paused; one that will not pause again plays on, and says so.
        if (state.videoPaused.load() && FAILED(state.mediaSession->Pause())) {
            state.videoPaused.store(false);
            state.videoPlaying.store(true);
            KeepDisplayAwake(true);
        }
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
    // Wait briefly for it; if it is slow (stuck in the pipeline), seek without
    // the flag and leave it to its holder: the seek does not touch the clock,
    // and clearing the flag under the tick would let a seek key release the
    // clock the tick is reading.
    bool holding = false;
    for (int tries = 0; tries < kRestartWaitTries; ++tries) {
        if (!g_clockBusy.exchange(true)) {
            holding = true;
            break;
        }
        Sleep(1);
    }
    const bool sought = SeekVideo(state, 0);
    if (holding) g_clockBusy.store(false);
    state.mmTimerId.store(timeSetEvent(kVideoClockMs, 1, VideoClockCallback, 0, TIME_PERIODIC));
    return sought;
}

void CALLBACK VideoClockCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {
    PlayerState* state = CurrentState();
    if (!state || state->videoPaused.load()) return;
    if (g_clockBusy.exchange(true)) return;  // a seek key or the restart holds the clock
    SafeRelease(&state->presentationClock);
    if (state->mediaSession &&
        SUCCEEDED(state->mediaSession->GetClock(&state->presentationClock)) &&
        state->presentationClock) {
        LONGLONG clockTime = 0;
        MFTIME systemTime = 0;
        // Never back to 0 from the clock: only a seek sets position to 0.
        if (SUCCEEDED(state->presentationClock->GetCorrelatedTime(0, &clockTime, &systemTime)) && clockTime > 0 &&
            state->duration.load() > 0)
            state->position.store(clockTime);
    }
    g_clockBusy.store(false);
}
