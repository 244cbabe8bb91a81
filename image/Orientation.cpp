#include "image/Orientation.h"

#include <cstring>

namespace {

constexpr uint32_t kRotationMask = 3;
constexpr uint16_t kOrientationTag = 274;
constexpr uint16_t kTiffTypeShort = 3;
constexpr size_t kTiffHeaderBytes = 8;
constexpr size_t kIfdEntryBytes = 12;
constexpr size_t kPixelBytes = 4;

// JPEG markers (the byte after 0xFF).
constexpr uint8_t kMarkerStartOfImage = 0xD8;
constexpr uint8_t kMarkerEndOfImage = 0xD9;
constexpr uint8_t kMarkerStartOfScan = 0xDA;
constexpr uint8_t kMarkerApp1 = 0xE1;
constexpr uint8_t kMarkerTem = 0x01;
constexpr uint8_t kMarkerRestart0 = 0xD0;
constexpr uint8_t kMarkerRestart7 = 0xD7;
constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ByteOrder {
    bool big = false;
    uint16_t U16(const uint8_t* p) const {
        return big ? static_cast<uint16_t>(p[0] << 8 | p[1]) : static_cast<uint16_t>(p[1] << 8 | p[0]);
    }
    uint32_t U32(const uint8_t* p) const {
        return big ? (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3])
                   : (uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]);
    }
};

// Tag 274 of IFD0 in a TIFF structure of `size` bytes.
bool ReadTiffOrientation(const uint8_t* tiff, size_t size, uint16_t* orientation) {
    if (size < kTiffHeaderBytes) return false;
    ByteOrder order;
    if (tiff[0] == 'M' && tiff[1] == 'M') {
        order.big = true;
    } else if (!(tiff[0] == 'I' && tiff[1] == 'I')) {
        return false;
    }
    if (order.U16(tiff + 2) != 42) return false;
    const uint32_t ifd = order.U32(tiff + 4);
    if (ifd > size || size - ifd < 2) return false;
    const uint16_t count = order.U16(tiff + ifd);
    size_t entry = ifd + 2;
    for (uint16_t n = 0; n < count; ++n, entry += kIfdEntryBytes) {
        if (size - entry < kIfdEntryBytes) return false;  // entry <= size holds by induction
        if (order.U16(tiff + entry) != kOrientationTag) continue;
        // A SHORT with one value sits in the first two bytes of the value field.
        if (order.U16(tiff + entry + 2) != kTiffTypeShort || order.U32(tiff + entry + 4) != 1)
            return false;
        *orientation = order.U16(tiff + entry + 8);
        return true;
    }
    return false;
}

}  // namespace

uint32_t OrientationTransform(uint32_t orientation) {
    switch (orientation) {
        case 2: return kTransformFlipHorizontal;
        case 3: return kTransformRotate180;
        case 4: return kTransformFlipVertical;
        // Mirrored then turned: 5 (transposed) is a mirror and a quarter turn
        // anticlockwise, 7 (transversed) a mirror and a quarter turn clockwise.
        case 5: return kTransformRotate270 | kTransformFlipHorizontal;
        case 6: return kTransformRotate90;
        case 7: return kTransformRotate90 | kTransformFlipHorizontal;
        case 8: return kTransformRotate270;
        default: return kTransformRotate0;
    }
}

bool TransformSwapsAxes(uint32_t transform) {
    const uint32_t rotation = transform & kRotationMask;
    return rotation == kTransformRotate90 || rotation == kTransformRotate270;
}

bool ReadJpegExifOrientation(const uint8_t* data, size_t size, uint16_t* orientation) {
    if (!data || size < 2 || data[0] != 0xFF || data[1] != kMarkerStartOfImage) return false;
    size_t pos = 2;
    for (;;) {
        if (pos >= size || data[pos] != 0xFF) return false;
        while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes
        if (pos >= size) return false;
        const uint8_t marker = data[pos++];
        if (marker == kMarkerStartOfScan || marker == kMarkerEndOfImage) return false;
        if (marker == kMarkerTem || (marker >= kMarkerRestart0 && marker <= kMarkerRestart7))
            continue;  // markers without a length
        if (size - pos < 2) return false;
        const size_t length = static_cast<size_t>(data[pos] << 8 | data[pos + 1]);
        if (length < 2 || length > size - pos) return false;
        const uint8_t* payload = data + pos + 2;
        const size_t payloadSize = length - 2;
        if (marker == kMarkerApp1 && payloadSize >= sizeof(kExifHeader) &&
            std::memcmp(payload, kExifHeader, sizeof(kExifHeader)) == 0)
            return ReadTiffOrientation(payload + sizeof(kExifHeader),
                                       payloadSize - sizeof(kExifHeader), orientation);
        pos += length;
    }
}

void TransformPixelRows(const uint8_t* rows, size_t rowStride, uint32_t width, uint32_t height,
                        uint32_t firstRow, uint32_t rowCount, uint32_t transform, uint8_t* target,
                        size_t targetStride) {
    if (width == 0 || height == 0 || firstRow >= height) return;
    if (rowCount > height - firstRow) rowCount = height - firstRow;
    const int64_t w = width;
    const int64_t h = height;

    // Where source pixel (x, y) lands: (x0 + x*ax + y*ay, y0 + x*bx + y*by) in
    // the target. The rotation (clockwise) is set up first, then the flips are
    // folded into it on the source side, so a combined transform flips the
    // picture before it turns it, in the platform's order.
    int64_t x0 = 0, ax = 1, ay = 0, y0 = 0, bx = 0, by = 1;
    switch (transform & kRotationMask) {
        case kTransformRotate90: x0 = h - 1; ax = 0; ay = -1; y0 = 0; bx = 1; by = 0; break;
        case kTransformRotate180: x0 = w - 1; ax = -1; ay = 0; y0 = h - 1; bx = 0; by = -1; break;
        case kTransformRotate270: x0 = 0; ax = 0; ay = 1; y0 = w - 1; bx = -1; by = 0; break;
        default: break;
    }
    // Source x becomes w - 1 - x, source y becomes h - 1 - y.
    if (transform & kTransformFlipHorizontal) { x0 += (w - 1) * ax; y0 += (w - 1) * bx; ax = -ax; bx = -bx; }
    if (transform & kTransformFlipVertical) { x0 += (h - 1) * ay; y0 += (h - 1) * by; ay = -ay; by = -by; }

    const int64_t stride = static_cast<int64_t>(targetStride);
    const int64_t stepX = ax * static_cast<int64_t>(kPixelBytes) + bx * stride;  // per source column
    // Columns in blocks, so the rows a turned block writes stay in cache.
    constexpr uint32_t kBlockColumns = 64;
    for (uint32_t bx0 = 0; bx0 < width; bx0 += kBlockColumns) {
        const uint32_t blockEnd = width - bx0 < kBlockColumns ? width : bx0 + kBlockColumns;
        for (uint32_t r = 0; r < rowCount; ++r) {
            const int64_t y = static_cast<int64_t>(firstRow) + r;
            const uint8_t* in = rows + static_cast<size_t>(r) * rowStride + size_t{bx0} * kPixelBytes;
            const int64_t start = (y0 + bx0 * bx + y * by) * stride +
                                  (x0 + bx0 * ax + y * ay) * static_cast<int64_t>(kPixelBytes);
            int64_t offset = start;
            for (uint32_t x = bx0; x < blockEnd; ++x, in += kPixelBytes, offset += stepX)
                std::memcpy(target + offset, in, kPixelBytes);
        }
    }
}
