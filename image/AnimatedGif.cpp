#include "image/AnimatedGif.h"

// Placeholder until the GIF is built.
bool DecodeGif(const wchar_t*, ID2D1RenderTarget*, std::vector<ID2D1Bitmap*>*,
               std::vector<uint32_t>*, std::vector<D2D1_RECT_F>*, uint32_t*, float*, float*) {
    return false;
}
void CALLBACK GifFrameTimerCallback(UINT, UINT, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
