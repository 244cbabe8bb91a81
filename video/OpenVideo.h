#pragma once
// Opening the command-line video into a ready media session on the panel window.
//
// The user's file is only ever read: Media Foundation reads it through a
// read-only byte stream, and the name that fits its container (filePath) is
// given to the source resolver as the URL it chooses a source by. Nothing on
// disk is renamed, moved or written.
#include "app/PlayerState.h"

// The whole opening (UI thread): the corrected name, the poster frame, the
// media source, the topology, the event sink, and up to about one second of
// message pumping until the topology is ready. True when the session is ready
// and a video renderer is attached.
bool OpenVideo(PlayerState& state);

// Reads the first 32 bytes of `path` (always diskPath) through a shared
// read-only open and, when the container does not fit the recorded extension,
// puts the corrected name into filePath. False only when the file cannot be
// opened for reading; filePath is then unchanged.
bool CorrectVideoExtension(PlayerState& state, const wchar_t* path);

// The playback topology of every selected stream of `source`: the video
// stream(s) to a video renderer on the panel, the audio stream(s) to the audio
// renderer; streams of other kinds are deselected. The node ids of the last
// video and audio output nodes come back (0 when there is none). *topology
// carries one reference for the caller; a loop stopped by a failure still
// hands out the partial topology. E_FAIL when nothing could be started, or when
// a branch could not be connected (then no topology is handed out).
HRESULT BuildPlaybackTopology(PlayerState& state, IMFMediaSource* source, IMFTopology** topology,
                              TOPOID* videoNodeId, TOPOID* audioNodeId);

// The longest the opening waits for the pipeline to make a media source of
// the file, and, for the poster frame, a media source and its first frame
// together. A local file takes milliseconds on Windows and well under a second
// under Wine, whose first resolution also starts GStreamer; Wine's GStreamer
// glue never answers for some damaged MP4 files (seen with one that lacks its
// moov box, and with a ftyp box followed by noise).
constexpr ULONGLONG kVideoOpenLimitMs = 10000;

// A media source for the file `diskPath`, read through a read-only byte stream
// that lets other programs go on reading and writing it, chosen as if the file
// were named `urlHint`. The caller owns *source. UI thread: the resolution
// runs on Media Foundation's work queue while this thread handles sent
// messages, for at most `limitMs`; HRESULT_FROM_WIN32(ERROR_TIMEOUT) after
// that, and the pipeline counts as stuck (VideoPipelineStuck).
HRESULT CreateReadOnlyMediaSource(const wchar_t* diskPath, const wchar_t* urlHint, IMFMediaSource** source,
                                  ULONGLONG limitMs = kVideoOpenLimitMs);

// Handles the messages other threads send to this thread's windows, and
// nothing else, until `signal` (a thread or an event; may be null) is
// signalled or `ms` milliseconds have passed; true when it was signalled.
bool HandleSentMessagesUntil(HANDLE signal, ULONGLONG ms);

// Ends the media session and its source as the program closes (before its
// windows are destroyed), so no pipeline thread is still presenting into them
// or at work while the process unloads. The session is paused first. UI
// thread: messages other threads send to it are handled while it waits (the
// pipeline may need them), for about a quarter of a second, and at most two
// seconds each for the session and the source. False when the pipeline did not finish in that time: it is stuck,
// and the program must end without waiting for it. The objects themselves stay.
bool ShutdownVideo(PlayerState& state);

// The resolution behind CreateReadOnlyMediaSource with the resolver and the
// limit (milliseconds) given: `stream` into a media source chosen as if named
// `urlHint`, on the resolver's work queue while this thread handles sent
// messages. On time-out the resolution is cancelled, the pipeline counts as
// stuck, and a source that still arrives later is shut down and released.
HRESULT ResolveMediaSource(IMFSourceResolver* resolver, IMFByteStream* stream, const wchar_t* urlHint,
                           ULONGLONG limitMs, IMFMediaSource** source);

// True once ShutdownVideo or a source resolution gave up on a stuck pipeline
// (UI thread). Media Foundation cannot then be shut down or unloaded safely:
// the process is to end at once instead.
bool VideoPipelineStuck();
// Records that a wait on the pipeline was given up (UI thread).
void MarkVideoPipelineStuck();
