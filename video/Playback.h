#pragma once
// Play, pause, seek and the 30 ms position clock of the media session.
//
// The session is given one command at a time: each waits for the event that
// confirms it (MESessionStarted, MESessionPaused, MESessionStopped, or a new
// session's readiness) before the next is issued, as the session's
// asynchronous commands are meant to be used. Keys and the bar change only
// what the user wants (playing or paused, a position to go to); what to issue
// next follows from video/SessionSteps.h. A command asked for while another
// is under way is merged into the wish: two quick seeks make one move to the
// last target.
#include "app/PlayerState.h"

// UI thread. Each is false, and the state as it was, before the session is
// ready or when the session refuses the command. The flags (videoPlaying,
// videoPaused) and position say what the user asked for at once; the session
// follows.
bool PlayVideo(PlayerState& state);
bool PauseVideo(PlayerState& state);
bool SeekVideo(PlayerState& state, int64_t target);  // 100-ns units, clamped to [0, duration]
// The clip ended (WM_APP_RESTART_VIDEO, UI thread): the clock timer is
// replaced, the position goes to 0, and the move there is posted to the main
// window (WM_APP_SESSION_STEP with MESessionEnded), where it is made. Does
// nothing once the program is closing, or before the session is ready (false
// then); the clock timer is replaced all the same. Never takes the clock from
// a tick that holds it.
bool RestartVideo(PlayerState& state);
// The session confirmed a command (WM_APP_SESSION_STEP, UI thread): `event`
// and `session` as the message carries them. Events of an earlier session
// are ignored. Issues the next command the wish needs.
void OnSessionStep(PlayerState& state, WPARAM event, LPARAM session);
// Forgets the commands under way and follows the latest session made (UI
// thread); returns its number. An opening's new session is followed by
// itself: the next command or event finds it.
uint32_t BeginVideoControl();
// How long a command's event is awaited before the next command may be
// issued all the same (4 s unless set; tests shorten it). UI thread.
void SetCommandWaitLimit(uint64_t milliseconds);
// Multimedia timer routine (timer thread); reaches the state through g_playerState.
void CALLBACK VideoClockCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
