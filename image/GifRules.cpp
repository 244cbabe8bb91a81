#include "image/GifRules.h"

uint32_t StoredGifDelay(uint16_t hundredths) {
    if (hundredths == 0) return kGifZeroDelayMs;
    return static_cast<uint32_t>(hundredths) * 10u;
}

uint32_t GifWaitForFrame(const uint32_t* delays, size_t count, uint32_t index) {
    if (!delays || index >= count) return kGifMinWaitMs;
    const uint32_t stored = delays[index];
    return stored <= kGifMinWaitMs ? kGifMinWaitMs : stored;
}

GifStep NextGifStep(uint32_t index, uint32_t frameCount, const uint32_t* delays, size_t delayCount) {
    GifStep step;
    // Computed in 64 bits so an index at the top of the range wraps too.
    const uint64_t next = static_cast<uint64_t>(index) + 1;
    step.index = next >= frameCount ? 0u : static_cast<uint32_t>(next);
    step.waitMs = GifWaitForFrame(delays, delayCount, step.index);
    return step;
}
