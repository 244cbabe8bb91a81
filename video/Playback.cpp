#include "video/Playback.h"

// Placeholder until playback control is built: no session is ever ready.
bool PlayVideo(PlayerState&) { return false; }
bool PauseVideo(PlayerState&) { return false; }
bool SeekVideo(PlayerState&, int64_t) { return false; }
void CALLBACK VideoClockCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
