// The pixel turn for any picture size, strip and transform value: writes only
// inside the target it is given (ASan holds it to the exact size) and, strip
// by strip, writes every target pixel exactly once.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/Orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const uint32_t width = 1 + data[0] % 40;
    const uint32_t height = 1 + data[1] % 40;
    const uint32_t transform = data[2];  // any value, not only the table's
    const uint32_t strip = 1 + data[3] % 45;
    const size_t pad = data[4] % 8;
    const bool swap = TransformSwapsAxes(transform);
    const size_t targetWidth = swap ? height : width;
    const size_t targetHeight = swap ? width : height;
    const size_t stride = targetWidth * 4 + pad;

    std::vector<uint32_t> source(static_cast<size_t>(width) * height);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint32_t>(i + 1);
    std::vector<uint8_t> target(stride * targetHeight, 0);
    for (uint32_t first = 0; first < height; first += strip) {
        TransformPixelRows(reinterpret_cast<const uint8_t*>(source.data() + size_t{first} * width),
                           size_t{width} * 4, width, height, first, strip, transform, target.data(),
                           stride);
    }
    // Each source pixel once: the values 1..w*h appear exactly once.
    std::vector<uint8_t> seen(source.size() + 1, 0);
    for (size_t y = 0; y < targetHeight; ++y) {
        for (size_t x = 0; x < targetWidth; ++x) {
            uint32_t v = 0;
            for (int b = 3; b >= 0; --b) v = v << 8 | target[y * stride + x * 4 + b];
            if (v == 0 || v > source.size() || seen[v]++) std::abort();
        }
    }
    return 0;
}
