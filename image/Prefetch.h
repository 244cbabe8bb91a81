#pragma once
// The prefetch thread that keeps the images around the current one decoded,
// and the release of those that have left that neighbourhood.
#include "app/PlayerState.h"

// Thread entry for _beginthreadex; the argument is the PlayerState. Passes of
// 22 visits around currentIndex (ahead first), 300 ms apart, until
// quitRequested; then closes its own handle in prefetchThread and returns 1.
unsigned __stdcall PrefetchThreadProc(void* argument);

// Prefetch thread: decodes image `index` into its slot if the slot is empty.
// The slot is published with a release store, only ever into an empty slot.
void FillImageSlot(PlayerState& state, int32_t index);

// UI thread only (the slots' one reader): empties the slots outside the
// 21-slot window around currentIndex, releasing their bitmaps, so memory does
// not grow with the folder. A paint holds its own reference on what it draws.
void ReleaseImagesOutsideWindow(PlayerState& state);

// The panel size the ring keeps its pictures for (UI thread; the prefetch
// thread reads it at each decode).
void SetRingPanelSize(PlayerState& state, int32_t width, int32_t height);

// UI thread only: empties the slots whose picture was kept for another panel
// size (the display changed, or a decode began before it did), so the
// prefetch thread decodes them again at the size of the screen now.
void ReleaseImagesOfAnotherSize(PlayerState& state);
