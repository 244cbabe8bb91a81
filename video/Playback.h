#pragma once
// Play, pause, seek and the 30 ms position clock of the media session.
#include "app/PlayerState.h"

// UI thread. Each is false, and the state as it was, before the session is
// ready or when the session refuses the command.
bool PlayVideo(PlayerState& state);
bool PauseVideo(PlayerState& state);
bool SeekVideo(PlayerState& state, int64_t target);  // 100-ns units, clamped to [0, duration]
// The clip ended (WM_APP_RESTART_VIDEO, UI thread): the clock timer is
// replaced and the session starts again at 0. Does nothing once the program
// is closing (false then). False too when the session refuses to start again;
// the clock timer is replaced all the same. Never takes the clock from a tick
// that holds it.
bool RestartVideo(PlayerState& state);
// Multimedia timer routine (timer thread); reaches the state through g_playerState.
void CALLBACK VideoClockCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
