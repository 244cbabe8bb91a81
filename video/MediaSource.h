#pragma once
// Media sources for the user's file, and the waits on the pipeline that go
// with them. UI thread throughout: while it waits, the messages other threads
// send to its windows are handled, because the pipeline may need them.
#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>

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
