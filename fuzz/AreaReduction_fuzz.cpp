// The area reduction with source and target sizes, strip heights and pixels
// from the file: every target row is written, within the target buffer
// (ASan) and nothing past its rows' width, a flat source stays flat, and each
// target pixel lies between the least and the most of its channel in the source.
#include <algorithm>
#include <cstdlib>

#include "fuzz/FuzzInput.h"
#include "image/AreaReduction.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const uint32_t sourceWidth = in.Take<uint16_t>() % 128 + 1, sourceHeight = in.Take<uint16_t>() % 128 + 1;
    const uint32_t targetWidth = in.Take<uint16_t>() % (sourceWidth + 1);
    const uint32_t targetHeight = in.Take<uint16_t>() % (sourceHeight + 1);
    const uint32_t strip = in.Take<uint8_t>() % 40 + 1;
    const bool flat = in.Take<uint8_t>() & 1;
    AreaReduction r;
    const bool begun = BeginAreaReduction(r, sourceWidth, sourceHeight, targetWidth, targetHeight);
    if (begun != (targetWidth >= 1 && targetHeight >= 1)) std::abort();
    if (!begun) return 0;

    // Source rows padded by a few bytes, as strips of a real bitmap are.
    const size_t sourceStride = sourceWidth * 4 + 3, targetStride = targetWidth * 4 + 5;
    std::vector<uint8_t> source(sourceStride * sourceHeight);
    const uint8_t flatPixel[4] = {17, 99, 200, 255};
    uint8_t least[4] = {255, 255, 255, 255}, most[4] = {0, 0, 0, 0};
    for (uint32_t y = 0; y < sourceHeight; ++y)
        for (uint32_t x = 0; x < sourceWidth * 4; ++x) {
            const uint8_t v = flat ? flatPixel[x % 4] : static_cast<uint8_t>(in.size ? in.Take<uint8_t>() : x * 7 + y);
            source[y * sourceStride + x] = v;
            least[x % 4] = std::min(least[x % 4], v);
            most[x % 4] = std::max(most[x % 4], v);
        }
    std::vector<uint8_t> target(targetStride * targetHeight, 0xA5);
    for (uint32_t y = 0; y < sourceHeight; y += strip)
        ReduceAreaRows(r, source.data() + y * sourceStride, sourceStride, std::min(strip, sourceHeight - y),
                       target.data(), targetStride);
    for (uint32_t y = 0; y < targetHeight; ++y) {
        for (uint32_t i = 0; i < targetWidth * 4; ++i) {
            const uint8_t v = target[y * targetStride + i];
            if (v < least[i % 4] || v > most[i % 4]) std::abort();
            if (flat && v != flatPixel[i % 4]) std::abort();
        }
        for (size_t i = targetWidth * 4; i < targetStride; ++i)
            if (target[y * targetStride + i] != 0xA5) std::abort();
    }
    return 0;
}
