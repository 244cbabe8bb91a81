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

uint64_t GifCycleMs(const uint32_t* delays, size_t delayCount, uint32_t frameCount) {
    if (frameCount == 0) return kGifMinWaitMs;
    uint64_t cycle = 0;
    for (uint32_t i = 0; i < frameCount; ++i) cycle += GifWaitForFrame(delays, delayCount, i);
    return cycle;
}

GifTickPlan PlanNextGifTick(int64_t dueUs, int64_t nowUs, uint32_t waitMs, uint64_t cycleMs) {
    GifTickPlan plan;
    const int64_t waitUs = static_cast<int64_t>(waitMs) * 1000;
    plan.nextDueUs = dueUs + waitUs;
    const int64_t behindUs = nowUs - plan.nextDueUs;
    if (behindUs > static_cast<int64_t>(cycleMs) * 1000) {
        plan.nextDueUs = nowUs + waitUs;
        plan.armMs = waitMs < kGifAtOnceMs ? kGifAtOnceMs : waitMs;
        return plan;
    }
    const int64_t leftUs = -behindUs;
    if (leftUs < 1000) {
        plan.armMs = kGifAtOnceMs;
        return plan;
    }
    plan.armMs = static_cast<uint32_t>((leftUs + 500) / 1000);
    return plan;
}
