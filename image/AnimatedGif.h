#pragma once
// Decoding an animated GIF into frame pixels and stepping its frames.
#include "app/PlayerState.h"
#include "image/GifCompose.h"

// Decodes every frame of the GIF at `path` once (UI thread, at mode start):
// each frame's pixels (premultiplied BGRA, alpha 0 where transparent; empty
// where the frame could not be decoded) with its place and disposal, its delay
// in milliseconds (GifRules.h), its rectangle on the logical screen, the frame
// count and the logical screen size (left at 0 when unreadable or too large to
// compose). The three lists start empty and end with one entry per frame
// each. False only when no decoder can be made for the file; a file of no
// frames is true with empty lists.
bool DecodeGif(const wchar_t* path, std::vector<GifFrame>* frames, std::vector<uint32_t>* delays,
               std::vector<D2D1_RECT_F>* rects, uint32_t* frameCount, float* width, float* height);

// One-shot multimedia timer routine (timer thread): has the panel (the window
// in `user`, carried from tick to tick; null paints nothing) paint the current frame (the UI thread paints while this thread waits), steps
// gifFrameIndex, and arms the next tick by the schedule (GifRules.h: from the
// time this tick was due, not from the end of its paint), storing its id in
// mmTimerId. Once quitRequested is set it neither paints nor arms again, so
// the chain ends with the window.
void CALLBACK GifFrameTimerCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);

// Arms one GIF tick after `delayMs` that paints `panel`; returns the timer id
// (0 when none could be armed). Any thread.
uint32_t ArmGifTick(uint32_t delayMs, HWND panel);
