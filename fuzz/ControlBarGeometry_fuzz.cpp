// The control bar's arithmetic with arbitrary times, sizes and mouse
// coordinates: no undefined conversion (UBSan), texts always bracketed, and a
// seek target from the track's start to its end, ordered along it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz/FuzzInput.h"
#include "ui/ControlBarGeometry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const int64_t position = in.Take<int64_t>();
    const int64_t duration = in.Take<int64_t>();
    const uint16_t x = in.Take<uint16_t>();
    const uint16_t y = in.Take<uint16_t>();
    const int32_t index = in.Take<int32_t>();
    const int32_t count = in.Take<int32_t>();
    const uint16_t width = in.Take<uint16_t>();
    const uint16_t height = in.Take<uint16_t>();
    const uint8_t dpiStep = in.Take<uint8_t>();

    const std::wstring time = FormatTimeText(position, duration);
    if (time.size() < 21 || time.front() != L'[' || time.back() != L']') std::abort();
    const std::wstring indexText = FormatIndexText(index, count);
    if (indexText.empty() || indexText.front() != L'[') std::abort();

    const ControlBarLayout bar = ComputeControlBarLayout(width % 4000 + 1, height % 1000 + 1);
    const float k = 96.0f / static_cast<float>(96 + (dpiStep % 8) * 24);
    ComputePaintLayout(bar, width % 4000 + 1, height % 1000 + 1, k, position, duration);
    KnobOffset(position, duration, bar.seekWidth);
    if (InSeekHitZone(bar, x, y)) (void)SeekTargetFromX(bar, x, duration);  // UBSan on any duration
    // The track's ends seek to the start and the end exactly, and further right
    // never seeks earlier (durations up to 2^50, which doubles hold exactly).
    const int64_t tamed = duration & ((int64_t{1} << 50) - 1);
    if (bar.seekWidth > 0 && bar.seekLeft >= 0 && bar.seekLeft + bar.seekWidth <= 0xFFFF) {
        if (SeekTargetFromX(bar, static_cast<uint16_t>(bar.seekLeft), tamed) != 0) std::abort();
        if (SeekTargetFromX(bar, static_cast<uint16_t>(bar.seekLeft + bar.seekWidth), tamed) != tamed) std::abort();
        if (x < 0xFFFF && SeekTargetFromX(bar, x + 1, tamed) < SeekTargetFromX(bar, x, tamed)) std::abort();
    } else if (bar.seekWidth == 0 && SeekTargetFromX(bar, x, duration) != 0) {
        std::abort();
    }
    return 0;
}
