#pragma once
// Opening the command-line video into a ready media session: its messages go
// to the panel window, its renderer presents into the window it is handed.
//
// The user's file is only ever read: Media Foundation reads it through a
// read-only byte stream, and the name that fits its container (filePath) is
// given to the source resolver as the URL it chooses a source by. Nothing on
// disk is renamed, moved or written.
#include "app/PlayerState.h"

// The opening, in two halves on the UI thread, so that a caller can ready the
// renderer's window in between, once the file is known to play:
//  1. OpenVideoSource: the corrected name, the media source (with the video
//     renderer made meanwhile on a worker, for the topology to take), and the
//     media session. False when the file gives no source (nothing has been
//     shown or presented yet). The poster frame is not made here: see
//     BeginPosterFrame (video/PosterFrame.h).
//  2. StartVideoSession: the topology with its video renderer presenting into
//     `rendererWindow`, the event sink, and up to about one second of message
//     pumping until the topology is ready. True when the session is ready and
//     a video renderer is attached.
bool OpenVideoSource(PlayerState& state);
bool StartVideoSession(PlayerState& state, HWND rendererWindow);

// Puts a new session in place of the running one, for a platform whose
// session moves only by being made again (RebuildSessionToMove(),
// app/WineQuirks.h). UI thread: the old session and its source are shut down
// (handling sent messages, at most two seconds each), a new source is made
// from the file, and the new session is given its topology, its renderer
// presenting into the same window, and an event sink with the next session
// number. It returns without waiting: the sink reports the new topology's
// readiness as WM_APP_SESSION_STEP. False when no new session could be set
// up; the old one is gone then all the same.
bool RebuildVideoSession(PlayerState& state);

// The number of the session the opening or the latest rebuild made (UI
// thread): every WM_APP_SESSION_STEP carries its session's number.
uint32_t VideoSessionNumber();

// Both halves, for a caller whose renderer window is ready beforehand.
bool OpenVideo(PlayerState& state, HWND rendererWindow);

// Reads the first 32 bytes of `path` (always diskPath) through a shared
// read-only open and, when the container does not fit the recorded extension,
// puts the corrected name into filePath. False only when the file cannot be
// opened for reading; filePath is then unchanged.
bool CorrectVideoExtension(PlayerState& state, const wchar_t* path);

// The playback topology of every selected stream of `source`: the video
// stream(s) to a video renderer on `rendererWindow`, the audio stream(s) to the audio
// renderer; streams of other kinds are deselected. The node ids of the last
// video and audio output nodes come back (0 when there is none). *topology
// carries one reference for the caller; a loop stopped by a failure still
// hands out the partial topology. E_FAIL when nothing could be started, or when
// a branch could not be connected (then no topology is handed out).
// `videoRenderer`, when given, is the first video branch's renderer (one made
// ahead for `rendererWindow`) instead of a new one.
HRESULT BuildPlaybackTopology(IMFMediaSource* source, HWND rendererWindow, IMFTopology** topology,
                              TOPOID* videoNodeId, TOPOID* audioNodeId, IMFActivate* videoRenderer = nullptr);

// Ends the media session and its source as the program closes (before its
// windows are destroyed), so no pipeline thread is still presenting into them
// or at work while the process unloads. The session is paused first. UI
// thread: messages other threads send to it are handled while it waits (the
// pipeline may need them), for about a quarter of a second, and at most two
// seconds each for the session and the source. False when the pipeline did not finish in that time: it is stuck,
// and the program must end without waiting for it. The objects themselves stay.
bool ShutdownVideo(PlayerState& state);
