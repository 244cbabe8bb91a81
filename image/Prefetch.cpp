#include "image/Prefetch.h"

#include <objbase.h>

#include "image/PrefetchOrder.h"
#include "image/ScreenFit.h"
#include "image/StillImage.h"

namespace {

constexpr DWORD kPassPauseMs = 300;

struct PanelPixels {
    int32_t width;
    int32_t height;
};

PanelPixels RingPanelSize(const PlayerState& state) {
    const uint64_t packed = state.ringPanelSize.load();
    if (packed == 0) return PanelPixels{state.screenWidth, state.screenHeight};
    return PanelPixels{static_cast<int32_t>(packed >> 32), static_cast<int32_t>(packed & 0xFFFFFFFFu)};
}

}  // namespace

void SetRingPanelSize(PlayerState& state, int32_t width, int32_t height) {
    state.ringPanelSize.store((static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) |
                              static_cast<uint32_t>(height));
}

void ReleaseImagesOfAnotherSize(PlayerState& state) {
    if (!state.imageBitmaps || !state.imageSizes) return;
    const PanelPixels panel = RingPanelSize(state);
    for (int32_t i = 0; i < state.imageCount; ++i) {
        ImageSlot& slot = state.imageBitmaps[i];
        IWICBitmap* bitmap = slot.load(std::memory_order_acquire);
        if (!bitmap) continue;
        // Filled before the acquire load above saw it: its size is published.
        const ImageSize original = state.imageSizes[i];
        UINT width = 0, height = 0;
        if (original.width == 0 || FAILED(bitmap->GetSize(&width, &height))) continue;
        const ScreenFit fit = FitOnScreen(original.width, original.height, panel.width, panel.height);
        if (width == fit.keptWidth && height == fit.keptHeight) continue;
        // Only this thread empties slots: the one seen is still the one there.
        if (IWICBitmap* stale = slot.exchange(nullptr, std::memory_order_acq_rel)) stale->Release();
    }
}

void FillImageSlot(PlayerState& state, int32_t index) {
    ImageSlot& slot = state.imageBitmaps[index];
    if (slot.load(std::memory_order_acquire)) return;
    IWICBitmap* bitmap = nullptr;
    ImageSize original;
    // Kept at its size on the panel, which covers the screen.
    const PanelPixels panel = RingPanelSize(state);
    if (!DecodeStillImage(state.imagePaths[index]->text, panel.width, panel.height, &bitmap, &original))
        return;
    // Written while the slot is empty; the release store below publishes it.
    if (state.imageSizes) state.imageSizes[index] = original;
    // This thread is the only one that fills slots, so the slot is still
    // empty; the exchange only guards that no bitmap is ever overwritten.
    IWICBitmap* expected = nullptr;
    if (!slot.compare_exchange_strong(expected, bitmap, std::memory_order_release,
                                      std::memory_order_relaxed)) {
        bitmap->Release();
        return;
    }
    // The picture on screen was waiting for this slot: the panel paints it
    // as soon as the UI thread is free (InvalidateRect may be called from
    // any thread; the paint itself runs on the window's own thread).
    const HWND window = state.panelWindow.load();
    if (index == state.currentIndex.load() && window) InvalidateRect(window, nullptr, FALSE);
}

unsigned __stdcall PrefetchThreadProc(void* argument) {
    PlayerState* state = static_cast<PlayerState*>(argument);
    // The WIC factory is free-threaded; this thread joins the multithreaded
    // apartment to use it and the objects it makes.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const int32_t count = state->imageCount;
    if (count > 0 && state->imageBitmaps && !state->quitRequested.load()) {
        for (;;) {
            // One pass around the index as it was when the pass began.
            const int32_t current = state->currentIndex.load();
            for (int32_t visit = 0; visit < kVisitsPerPass; ++visit)
                FillImageSlot(*state, PrefetchVisitIndex(current, count, visit));
            Sleep(kPassPauseMs);
            if (state->quitRequested.load()) break;
        }
    }
    if (SUCCEEDED(com)) CoUninitialize();
    const HANDLE self = state->prefetchThread.exchange(nullptr);
    if (self) CloseHandle(self);
    return 1;
}

void ReleaseImagesOutsideWindow(PlayerState& state) {
    if (!state.imageBitmaps) return;
    const int32_t count = state.imageCount;
    int32_t i = FirstOutsideWindow(state.currentIndex.load(), count);
    for (int32_t n = OutsideWindowCount(count); n > 0; --n) {
        ImageSlot& slot = state.imageBitmaps[i];
        // Only this thread empties slots, and the prefetch thread fills only
        // empty ones: a slot seen filled here is still filled with the same
        // bitmap. Releasing orders this thread's reads of the slot's size
        // before the prefetch thread writes a new one.
        if (slot.load(std::memory_order_relaxed)) {
            if (IWICBitmap* bitmap = slot.exchange(nullptr, std::memory_order_acq_rel))
                bitmap->Release();
        }
        if (++i == count) i = 0;
    }
}
