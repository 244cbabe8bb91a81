#pragma once
// Decoding an animated GIF into panel bitmaps and stepping its frames.
#include "app/PlayerState.h"

bool DecodeGif(const wchar_t* path, ID2D1RenderTarget* renderTarget,
               std::vector<ID2D1Bitmap*>* frames, std::vector<uint32_t>* delays,
               std::vector<D2D1_RECT_F>* rects, uint32_t* frameCount, float* width, float* height);
// One-shot multimedia timer routine (timer thread): repaint, step, re-arm.
void CALLBACK GifFrameTimerCallback(UINT timerId, UINT message, DWORD_PTR user, DWORD_PTR, DWORD_PTR);
