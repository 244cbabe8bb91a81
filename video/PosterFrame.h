#pragma once
// The poster frame: the first video frame, upright and without its green fill
// band, kept as a WIC bitmap for the pop-up window that covers a restart.
#include "app/PlayerState.h"

// Decodes the first frame of the file `diskPath` (read-only, resolved as if it
// were named `urlHint`) and stores posterBitmap, posterWidth, posterHeight and
// colorPrimaries. UI thread, before the media session exists. Always true;
// success shows in posterBitmap (null when no poster could be made).
bool MakePosterFrame(PlayerState& state, const wchar_t* diskPath, const wchar_t* urlHint);

// One NV12 frame into a BGRA buffer with the state's coefficient row. False
// (nothing written) when a buffer is shorter than the frame or the size is not
// one an NV12 frame can have.
bool ConvertNv12ToBgra(const PlayerState& state, const uint8_t* nv12, size_t nv12Bytes, uint32_t width,
                       uint32_t height, uint8_t* bgra, size_t bgraBytes);
