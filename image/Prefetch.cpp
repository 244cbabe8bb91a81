#include "image/Prefetch.h"

#include <objbase.h>
#include <process.h>

#include "app/StageTrace.h"
#include "image/PrefetchOrder.h"
#include "image/ScreenFit.h"
#include "image/StillImage.h"

// Two decoders share the ring: the prefetch thread, which works through the
// passes, and a second thread it starts, which only ever makes the picture
// on screen. One decoder alone makes the picture a quick stepper lands on
// wait behind whatever decode it was in, and the machine has a second core;
// the second decoder is kept free for the landing picture, and two keep at
// most two full-size decodes in memory at once. A decode no longer wanted
// stops at the codec's next read of its file (the platform's JPEG codec
// decodes a whole picture in one call, which our strips cannot cut short).
// Both run below the UI thread's priority, so steps and paints never wait for
// them. The slot rules stay those of one filler: a slot is taken by one
// decoder only (under ringLock, in ringDecoding), so each picture is decoded
// once and each slot still has a single writer while it is empty; only the
// UI thread empties slots.

namespace {

constexpr DWORD kPassPauseMs = 300;
// The decoder that takes up only the picture on screen (the other one, 0,
// is the prefetch thread).
constexpr int kLandingDecoder = 1;
// A decoder asked to stop ends within one strip of our reduction (or one
// decode where the platform reduces in one call): the wait only guards
// against a read that never returns, such as a lost network folder.
constexpr DWORD kSecondDecoderEndMs = 30000;

struct PanelPixels {
    int32_t width;
    int32_t height;
};

PanelPixels Unpack(uint64_t packed) {
    return PanelPixels{static_cast<int32_t>(packed >> 32), static_cast<int32_t>(packed & 0xFFFFFFFFu)};
}

bool SlotFilled(const PlayerState& state, int32_t index) {
    return state.imageBitmaps[index].load(std::memory_order_acquire) != nullptr;
}

// A decode under way, as its strips see it. worker is -1 for a call from
// outside the decoders (FillImageSlot).
struct RunningDecode {
    PlayerState* state;
    int worker;
    int32_t index;
    uint64_t panel;  // the ring's panel size it decodes for, packed
};

bool KeptForRing(const RunningDecode& d) {
    const PlayerState& s = *d.state;
    return s.ringPanelSize.load() == d.panel && InPrefetchWindow(d.index, s.currentIndex.load(), s.imageCount);
}

// Asked before each strip and at each read of the file: a picture kept for
// an old screen size, one that has left the window, or one that stands
// between the picture on screen and the decoder it waits for, stops here.
bool StillWanted(void* context) {
    const RunningDecode& d = *static_cast<const RunningDecode*>(context);
    PlayerState& s = *d.state;
    if (s.quitRequested.load() || s.ringPanelSize.load() != d.panel) return false;
    const int32_t current = s.currentIndex.load();
    const bool landingWaits = !SlotFilled(s, current) && s.ringLandingTaken.load() != current;
    const int32_t other = d.worker < 0 ? -1 : s.ringDecoding[1 - d.worker].load();
    return DecodeStillWanted(d.index, other, current, s.imageCount, landingWaits, d.worker == kLandingDecoder);
}

void DecodeIntoSlot(PlayerState& state, int32_t index, int worker) {
    ImageSlot& slot = state.imageBitmaps[index];
    if (slot.load(std::memory_order_acquire)) return;
    RunningDecode running{&state, worker, index, state.ringPanelSize.load()};
    // Kept at its size on the panel, which covers the screen.
    const PanelPixels panel = Unpack(running.panel);
    IWICBitmap* bitmap = nullptr;
    ImageSize original;
    TraceStage(worker == kLandingDecoder ? "landing decode begins" : "decode begins", index);
    if (!DecodeStillImage(state.imagePaths[index]->text, panel.width, panel.height, &bitmap, &original,
                          DecodeGate{StillWanted, &running})) {
        TraceStage("decode stopped or failed", index);
        return;
    }
    TraceStage("decode ends", index);
    // Finished for a screen that is gone, or for a picture stepped away
    // from: never shown, so never published (the UI thread would only empty
    // the slot again).
    if (!KeptForRing(running)) {
        bitmap->Release();
        return;
    }
    // Written while the slot is empty; the release store below publishes it.
    if (state.imageSizes) state.imageSizes[index] = original;
    // Only the decoder that took this slot fills it, so it is still empty;
    // the exchange only guards that no bitmap is ever overwritten.
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

// What a decoder does next: decode `index`, or (index -1) wait up to waitMs
// unless woken.
struct NextWork {
    int32_t index;
    DWORD waitMs;
};

// Under ringLock: the next slot of this decoder's pass that is empty and not
// taken by the other decoder, taken for this one (for the landing decoder:
// the picture on screen, if it waits, and nothing else). The pass starts again
// around currentIndex when the index has moved or anything woke the
// decoders since the pass began (slots emptied by a display change): the
// picture on screen is always the next one served. Nothing is started while
// steps come quickly, nor beside the picture on screen while the other
// decoder is making it (it has the machine to itself).
NextWork TakeNextSlot(PlayerState& state, int worker, PrefetchPass& pass, uint32_t& seenWakes,
                      SeenIndex& seen) {
    const int32_t count = state.imageCount;
    AcquireSRWLockExclusive(&state.ringLock);
    const int32_t current = state.currentIndex.load();
    if (FollowCurrentIndex(pass, current) || state.ringWakes != seenWakes) {
        pass = PrefetchPass{current, 0};
        seenWakes = state.ringWakes;
    }
    NextWork next{-1, kPassPauseMs};
    const uint64_t now = GetTickCount64();
    // The landing decoder takes the picture on screen at once: it lets go of
    // it the moment the user steps on (its reads of the file stop), so a burst
    // of steps costs it nothing but the starts. The passes wait for the
    // index to settle.
    const uint64_t settle = worker == kLandingDecoder
                                ? 0
                                : SettleWaitMs(now, LastMoveMs(seen, current, now, state.ringIndexMovedMs.load()));
    if (settle > 0) {
        next.waitMs = static_cast<DWORD>(settle);
    } else if (worker == kLandingDecoder) {
        // Once per landing: a picture that fails is tried again by the passes.
        if (!SlotFilled(state, current) && state.ringLandingTaken.load() != current) next.index = current;
    } else if (SlotFilled(state, current) || state.ringDecoding[1 - worker].load() != current) {
        while (next.index < 0 && pass.visit < kVisitsPerPass) {
            const int32_t index = PrefetchVisitIndex(pass.centre, count, pass.visit++);
            if (!SlotFilled(state, index) && state.ringDecoding[1 - worker].load() != index) next.index = index;
        }
    }
    state.ringDecoding[worker].store(next.index);
    if (next.index >= 0 && next.index == current) state.ringLandingTaken.store(current);
    ReleaseSRWLockExclusive(&state.ringLock);
    return next;
}

// A pause, cut short by WakePrefetch (also by one that came since the pass
// began).
void WaitForWork(PlayerState& state, uint32_t seenWakes, DWORD ms) {
    AcquireSRWLockExclusive(&state.ringLock);
    if (state.ringWakes == seenWakes && !state.quitRequested.load())
        SleepConditionVariableSRW(&state.ringWork, &state.ringLock, ms, 0);
    ReleaseSRWLockExclusive(&state.ringLock);
}

void RunDecoder(PlayerState& state, int worker) {
    PrefetchPass pass;
    uint32_t seenWakes = 0;
    SeenIndex seen;
    while (!state.quitRequested.load()) {
        const NextWork next = TakeNextSlot(state, worker, pass, seenWakes, seen);
        if (next.index < 0) {
            WaitForWork(state, seenWakes, next.waitMs);
            pass = PrefetchPass{};  // the next pass, around the index as it is then
            continue;
        }
        DecodeIntoSlot(state, next.index, worker);
        state.ringDecoding[worker].store(-1);
        // Given up for a step on, not failed: a later landing on it is a new one.
        int32_t taken = next.index;
        if (next.index != state.currentIndex.load() && !SlotFilled(state, next.index))
            state.ringLandingTaken.compare_exchange_strong(taken, -1);
        seen = SeenIndex{};  // the index it moved to meanwhile has its move recorded
        // The picture on screen is done (or failed): the other decoder, held
        // back meanwhile, goes on with its neighbours.
        if (next.index == state.currentIndex.load()) WakePrefetch(state);
    }
}

unsigned __stdcall SecondDecoderProc(void* argument) {
    PlayerState* state = static_cast<PlayerState*>(argument);
    // The WIC factory is free-threaded; each decoder joins the
    // multithreaded apartment to use it and the objects it makes.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    RunDecoder(*state, kLandingDecoder);
    if (SUCCEEDED(com)) CoUninitialize();
    return 0;
}

}  // namespace

void WakePrefetch(PlayerState& state) {
    // Counted under the lock: a decoder either sees the count before it
    // sleeps or is already asleep when the wake comes.
    AcquireSRWLockExclusive(&state.ringLock);
    ++state.ringWakes;
    ReleaseSRWLockExclusive(&state.ringLock);
    WakeAllConditionVariable(&state.ringWork);
}

void SetRingPanelSize(PlayerState& state, int32_t width, int32_t height) {
    const uint64_t packed = (static_cast<uint64_t>(static_cast<uint32_t>(width)) << 32) |
                            static_cast<uint32_t>(height);
    if (state.ringPanelSize.exchange(packed) == packed) return;
    // The picture on screen is to be decoded again for the new size, first.
    state.ringLandingTaken.store(-1);
    WakePrefetch(state);
}

void ReleaseImagesOfAnotherSize(PlayerState& state) {
    if (!state.imageBitmaps || !state.imageSizes) return;
    const PanelPixels panel = Unpack(state.ringPanelSize.load());
    bool emptied = false;
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
        emptied = true;
    }
    // After the slots are empty, so that a pass started by the wake finds them so.
    if (emptied) WakePrefetch(state);
}

void FillImageSlot(PlayerState& state, int32_t index) { DecodeIntoSlot(state, index, -1); }

unsigned __stdcall PrefetchThreadProc(void* argument) {
    PlayerState* state = static_cast<PlayerState*>(argument);
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    if (state->imageCount > 0 && state->imageBitmaps && !state->quitRequested.load()) {
        const uintptr_t second = _beginthreadex(nullptr, 0, SecondDecoderProc, state, 0, nullptr);
        RunDecoder(*state, 0);
        if (second) {
            const HANDLE handle = reinterpret_cast<HANDLE>(second);
            WaitForSingleObject(handle, kSecondDecoderEndMs);
            CloseHandle(handle);
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
        // Only this thread empties slots, and a decoder fills only empty ones
        // it has taken: a slot seen filled here is still filled with the same
        // bitmap. Releasing orders this thread's reads of the slot's size
        // before a decoder writes a new one.
        if (slot.load(std::memory_order_relaxed)) {
            if (IWICBitmap* bitmap = slot.exchange(nullptr, std::memory_order_acq_rel))
                bitmap->Release();
        }
        if (++i == count) i = 0;
    }
}
