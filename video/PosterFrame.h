#pragma once
// The poster frame: the first video frame, upright and without its green fill
// band, kept as a WIC bitmap for the pop-up window that covers a restart.
#include "app/PlayerState.h"

#include <mfreadwrite.h>

// The poster read from `reader`: NV12 output is asked for, the coefficient
// row is taken from the stream's current or native type, and the first frame is read and made into the poster - on a worker thread, while
// this (UI) thread handles sent messages, for at most `limitMs`. A read that
// does not finish in time is left to its worker, which keeps its own reference
// to the reader and writes nothing of the state; the pipeline then counts as
// stuck and false comes back. True when the worker finished, poster or not.
bool ReadPosterFrame(PlayerState& state, IMFSourceReader* reader, ULONGLONG limitMs);

// The poster made behind the playing video, from the file the state names
// (diskPath, resolved as if named filePath), on a worker thread below normal
// priority with its own media source and reader: the opening does not wait
// for it. Any thread; begun once per state and file (a second call does
// nothing). The source and the first frame take at most kVideoOpenLimitMs.
void BeginPosterFrame(const PlayerState& state);
// UI thread: once the poster begun for `state` is done, stores it
// (posterBitmap, posterWidth, posterHeight, colorPrimaries) unless a poster
// is there already, waiting up to `waitMs` for it while handling sent
// messages. True when it is done (poster or not) or none was begun; false
// while the worker is still at it.
bool CollectPosterFrame(PlayerState& state, ULONGLONG waitMs);

// One NV12 frame into a BGRA buffer with the state's coefficient row. False
// (nothing written) when a buffer is shorter than the frame or the size is not
// one an NV12 frame can have.
bool ConvertNv12ToBgra(const PlayerState& state, const uint8_t* nv12, size_t nv12Bytes, uint32_t width,
                       uint32_t height, uint8_t* bgra, size_t bgraBytes);
