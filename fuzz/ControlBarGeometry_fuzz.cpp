// The control bar's arithmetic with arbitrary times, sizes and mouse
// coordinates: no undefined conversion (UBSan), texts always bracketed, and a
// seek target only from inside the hit zone, ordered along the track.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/ControlBarGeometry.h"

namespace {
template <typename T>
T Take(const uint8_t*& data, size_t& size) {
    T value{};
    if (size >= sizeof(T)) {
        std::memcpy(&value, data, sizeof(T));
        data += sizeof(T);
        size -= sizeof(T);
    }
    return value;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const int64_t position = Take<int64_t>(data, size);
    const int64_t duration = Take<int64_t>(data, size);
    const uint16_t x = Take<uint16_t>(data, size);
    const uint16_t y = Take<uint16_t>(data, size);
    const int32_t index = Take<int32_t>(data, size);
    const int32_t count = Take<int32_t>(data, size);
    const uint16_t width = Take<uint16_t>(data, size);
    const uint16_t height = Take<uint16_t>(data, size);
    const uint8_t dpiStep = Take<uint8_t>(data, size);

    const std::wstring time = FormatTimeText(position, duration);
    if (time.size() < 21 || time.front() != L'[' || time.back() != L']') std::abort();
    const std::wstring indexText = FormatIndexText(index, count);
    if (indexText.empty() || indexText.front() != L'[') std::abort();

    const ControlBarLayout bar = ComputeControlBarLayout(width % 4000 + 1, height % 1000 + 1);
    const float k = 96.0f / static_cast<float>(96 + (dpiStep % 8) * 24);
    ComputePaintLayout(bar, width % 4000 + 1, height % 1000 + 1, k, position, duration);
    KnobOffset(position, duration, bar.seekWidth);
    if (InSeekHitZone(bar, x, y)) {
        // Left of the track seeks before the start, right of it past the end,
        // and further right never earlier (where doubles hold the duration).
        const int64_t target = SeekTargetFromX(bar, x, duration);
        if (bar.seekWidth == 0 && target != 0) std::abort();
        if (bar.seekWidth > 0 && duration >= 0 && duration <= (int64_t{1} << 53)) {
            if (x <= bar.seekLeft && target > 0) std::abort();
            if (x >= bar.seekLeft + bar.seekWidth && target < duration) std::abort();
            if (x < 0xFFFF && InSeekHitZone(bar, x + 1, y) && SeekTargetFromX(bar, x + 1, duration) < target)
                std::abort();
        }
    }
    return 0;
}
