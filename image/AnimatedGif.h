#pragma once
// Decoding an animated GIF into panel bitmaps and stepping its frames.
#include "app/PlayerState.h"

// Decodes every frame of the GIF at `path` once (UI thread, at mode start):
// one bitmap per frame made on `renderTarget` (the panel's, which owns them;
// null where a frame could not be made), the frame's delay in milliseconds
// (GifRules.h), its rectangle on the logical screen, the frame count and the
// logical screen size (left at 0 when unreadable). The three lists start
// empty and end with one entry per frame each. False only when no decoder can
// be made for the file; a file of no frames is true with empty lists.
bool DecodeGif(const wchar_t* path, ID2D1RenderTarget* renderTarget,
               std::vector<ID2D1Bitmap*>* frames, std::vector<uint32_t>* delays,
               std::vector<D2D1_RECT_F>* rects, uint32_t* frameCount, float* width, float* height);

// One-shot multimedia timer routine (timer thread): repaint the panel with the
// current frame (the UI thread paints while this thread waits in
// UpdateWindow), step gifFrameIndex, arm the next tick with the new frame's
// wait and store its id in mmTimerId. Once quitRequested is set it neither
// paints nor arms again, so the chain ends with the window.
void CALLBACK GifFrameTimerCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
