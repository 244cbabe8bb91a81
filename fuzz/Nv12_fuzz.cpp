// The poster picture from arbitrary NV12 data, sizes, buffer lengths and
// rotations: no read or write outside any buffer (ASan), a picture only when
// the data covers the frame, and never larger than the frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "video/Nv12.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 6) return 0;
    const uint32_t width = (data[0] | (data[1] << 8)) % 97;
    const uint32_t height = (data[2] | (data[3] << 8)) % 97;
    static const uint32_t kRotations[] = {0, 90, 180, 270, 45, 360};
    const uint32_t rotation = kRotations[data[4] % 6];
    const int primaries = data[5] % 4;
    data += 6;
    size -= 6;
    // The frame exactly as long as the data, so any overread is caught.
    std::vector<uint8_t> frame(data, data + size);
    BgraPicture picture;
    const bool made = BuildPosterPicture(frame.data(), frame.size(), width, height, primaries,
                                         rotation, picture);
    if (made) {
        if (size < Nv12FrameBytes(width, height)) std::abort();
        if (!picture.pixels || picture.width == 0 || picture.height == 0) std::abort();
        if (static_cast<uint64_t>(picture.width) * picture.height > uint64_t{width} * height)
            std::abort();
        for (size_t i = 3; i < size_t{picture.width} * picture.height * 4; i += 4)
            if (picture.pixels[i] != 255) std::abort();  // opaque everywhere
    }
    return 0;
}
