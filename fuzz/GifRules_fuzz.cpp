// The GIF timing rules with arbitrary delays, indices and counts: the wait is
// never below the floor, the step never leaves the frame range, and nothing is
// read past the delay list.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/GifRules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    uint32_t index, frameCount;
    std::memcpy(&index, data, 4);
    std::memcpy(&frameCount, data + 4, 4);
    data += 8;
    size -= 8;
    // The delay list exactly as long as the data gives, so ASan sees any overread.
    std::vector<uint32_t> delays;
    for (size_t i = 0; i + 1 < size; i += 2)
        delays.push_back(StoredGifDelay(static_cast<uint16_t>(data[i] | (data[i + 1] << 8))));
    for (uint32_t stored : delays)
        if (stored > 655350u || stored == 0) std::abort();
    const uint32_t* list = delays.empty() ? nullptr : delays.data();
    const uint32_t wait = GifWaitForFrame(list, delays.size(), index);
    if (wait < kGifMinWaitMs) std::abort();
    if (frameCount > 0) index %= frameCount;
    const GifStep step = NextGifStep(index, frameCount, list, delays.size());
    if (frameCount == 0 ? step.index != 0 : step.index >= frameCount) std::abort();
    if (step.waitMs < kGifMinWaitMs) std::abort();
    return 0;
}
