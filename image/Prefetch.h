#pragma once
// The decoders that keep the images around the current one decoded, and the
// release of those that have left that neighbourhood.
#include "app/PlayerState.h"

// Thread entry for _beginthreadex; the argument is the PlayerState. Starts
// the ring's second decoder, which only makes the picture on screen when it
// waits, and works in passes of 22 visits around currentIndex (ahead first),
// sleeping 300 ms between passes unless woken (WakePrefetch); a pass starts
// again around the new index as soon as it moves. The passes start no decode
// while steps come quickly; the second decoder follows the picture on screen
// at once and lets go of it when the user steps on. Until quitRequested; then
// waits for the second decoder, closes its own handle in prefetchThread and
// returns 1.
unsigned __stdcall PrefetchThreadProc(void* argument);

// Decoder thread: decodes image `index` into its slot if the slot is empty.
// The slot is published with a release store, only ever into an empty slot,
// and only when the picture is still wanted as it ends: kept for the ring's
// panel size as it is now, and within the window around currentIndex.
void FillImageSlot(PlayerState& state, int32_t index);

// Any thread: the decoders start their next pass now, around currentIndex as
// it is now, instead of at the end of their pause.
void WakePrefetch(PlayerState& state);

// UI thread only (the slots' one reader): empties the slots outside the
// 21-slot window around currentIndex, releasing their bitmaps, so memory does
// not grow with the folder. A paint holds its own reference on what it draws.
void ReleaseImagesOutsideWindow(PlayerState& state);

// The panel size the ring keeps its pictures for (UI thread; the decoders
// read it at each decode). Set before the prefetch thread starts; a change
// wakes the decoders.
void SetRingPanelSize(PlayerState& state, int32_t width, int32_t height);

// UI thread only: empties the slots whose picture was kept for another panel
// size (the display changed, or a decode began before it did), so the
// decoders make them again at the size of the screen now.
void ReleaseImagesOfAnotherSize(PlayerState& state);
