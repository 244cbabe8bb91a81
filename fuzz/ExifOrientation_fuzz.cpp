// The Exif orientation reader on arbitrary file heads: never reads outside the
// bytes it is given (ASan holds it to the exact size), and what it reports is
// stable under appending bytes after the Exif block it found.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/Orientation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact copy, so that one byte past the end is outside the allocation.
    std::vector<uint8_t> head(data, data + size);
    uint16_t orientation = 0;
    const bool found = ReadJpegExifOrientation(head.data(), head.size(), &orientation);
    if (found) {
        // Bytes after what was read change nothing.
        head.push_back(0xFF);
        head.push_back(0xD9);
        uint16_t again = 0;
        if (!ReadJpegExifOrientation(head.data(), head.size(), &again) || again != orientation)
            std::abort();
    }
    return 0;
}
