#include "ui/ControlBarGeometry.h"

#include <cmath>
#include <cwchar>
#include <limits>

namespace {

constexpr int kCloseButtonRight = 680;  // the close button's right edge, bar pixels
constexpr int kPlayButtonLeft = 20;
constexpr int kTrackGap = 40;           // play/pause button to track
constexpr int kTrackSideRoom = 100;     // width not given to buttons or track
constexpr int kTrackHeight = 10;
constexpr int kTextChars = 512;
constexpr int64_t kUnitsPerSecond = 10'000'000;

// The knob may lie past the track's end; this only keeps the conversion to
// int defined for absurd positions.
constexpr double kKnobLimit = 1.0e9;

}  // namespace

ControlBarLayout ComputeControlBarLayout(int width, int height) {
    ControlBarLayout bar;
    const int c = static_cast<int>(static_cast<double>(height) * 0.5);
    bar.closeButton = PixelRect{kCloseButtonRight - c, (height - c) / 2, c, c};
    const int g = static_cast<int>(static_cast<double>(height) / 1.5);
    bar.playButton = PixelRect{kPlayButtonLeft, (height - g) / 2, g, g};
    bar.seekLeft = bar.playButton.x + bar.playButton.width + kTrackGap;
    bar.seekTop = static_cast<int>(static_cast<float>(height) / 1.7f);
    bar.seekWidth = width - bar.closeButton.width - bar.playButton.width - kTrackSideRoom;
    bar.seekHeight = kTrackHeight;
    return bar;
}

ClockParts SplitMediaTime(int64_t time) {
    if (time < 0) time = 0;
    // Double precision: in single precision a whole hour (36,000,000,000)
    // already rounds below itself and would print as 00:59:59.
    const double s = static_cast<double>(time) / static_cast<double>(kUnitsPerSecond);
    const int64_t hours = static_cast<int64_t>(std::trunc(s / 3600.0));
    const double r = s - static_cast<double>(hours * 3600);
    const int64_t minutes = static_cast<int64_t>(std::trunc(r)) / 60;
    const int64_t seconds = static_cast<int64_t>(std::trunc(r - static_cast<double>(minutes * 60)));
    ClockParts parts;
    parts.hours = static_cast<int>(hours);
    // Rounding near an hour's edge can leave r a hair below 0.
    parts.minutes = minutes < 0 ? 0 : static_cast<int>(minutes);
    parts.seconds = seconds < 0 ? 0 : static_cast<int>(seconds);
    return parts;
}

std::wstring FormatTimeText(int64_t position, int64_t duration) {
    const ClockParts p = SplitMediaTime(position);
    const ClockParts d = SplitMediaTime(duration);
    wchar_t text[kTextChars] = {};
    std::swprintf(text, kTextChars, L"[%02d:%02d:%02d / %02d:%02d:%02d]", p.hours, p.minutes,
                  p.seconds, d.hours, d.minutes, d.seconds);
    return text;
}

std::wstring FormatIndexText(int32_t currentIndex, int32_t imageCount) {
    wchar_t text[kTextChars] = {};
    // 64-bit so that index + 1 cannot overflow.
    std::swprintf(text, kTextChars, L"[%03lld / %03d]", static_cast<long long>(currentIndex) + 1,
                  imageCount);
    return text;
}

int KnobOffset(int64_t position, int64_t duration, int seekWidth) {
    if (duration <= 0) return 0;
    double p = std::trunc(static_cast<double>(position) / static_cast<double>(duration) *
                          static_cast<double>(seekWidth));
    if (p > kKnobLimit) p = kKnobLimit;
    if (p < -kKnobLimit) p = -kKnobLimit;
    return static_cast<int>(p);
}

PixelRect ScaleButtonRect(const PixelRect& button, float k) {
    return PixelRect{static_cast<int>(static_cast<float>(button.x) * k),
                     static_cast<int>(static_cast<float>(button.y) * k),
                     static_cast<int>(static_cast<float>(button.width) * k),
                     static_cast<int>(static_cast<float>(button.height) * k)};
}

ControlBarPaintLayout ComputePaintLayout(const ControlBarLayout& bar, int width, int height, float k,
                                         int64_t position, int64_t duration) {
    const float W = static_cast<float>(width);
    const float H = static_cast<float>(height);
    const float L = static_cast<float>(bar.seekLeft);
    const float T = static_cast<float>(bar.seekTop);
    const float Wb = static_cast<float>(bar.seekWidth);
    const float Hb = static_cast<float>(bar.seekHeight);

    ControlBarPaintLayout out;
    out.background = RectF{0.0f, 0.0f, W * k, H * k};
    out.frameStroke = 6.0f * k;
    out.track = RectF{L * k, T * k, (L + Wb) * k, (T + Hb) * k};
    out.trackRadius = 3.0f * k;

    // Integer knob position; float only for drawing.
    const int64_t X = static_cast<int64_t>(bar.seekLeft) + KnobOffset(position, duration, bar.seekWidth);
    const float xf = static_cast<float>(X);
    out.knob = RectF{(xf - 8.0f) * k, (T - 6.0f) * k, (xf + 12.0f) * k, (T + 14.0f) * k};
    out.knobRadius = 6.0f * k;

    const float textTop = (H / 7.0f) * k;
    const float textBottom = (H + H / 7.0f) * k;
    out.videoNameBox = RectF{L * k, textTop, (L + Wb / 1.5f) * k, textBottom};
    out.timeBox = RectF{(L + Wb / 1.5f) * k, textTop, (W + L) * k, textBottom};

    const float largeTop = 0.25f * H * k;
    const float largeBottom = 1.25f * H * k;
    out.imageNameBox = RectF{50.0f * k, largeTop, (W / 1.5f) * k, largeBottom};
    out.indexBox = RectF{(W / 1.5f) * k, largeTop, W * k, largeBottom};
    out.gifNameBox = RectF{50.0f * k, largeTop, (W / 1.2f) * k, largeBottom};
    out.errorBox = RectF{50.0f * k, largeTop, (W / 1.5f) * k, (H + 0.25f * H) * k};

    out.closeFace = ScaleButtonRect(bar.closeButton, k);
    out.playFace = ScaleButtonRect(bar.playButton, k);
    return out;
}

bool InSeekHitZone(const ControlBarLayout& bar, uint16_t x, uint16_t y) {
    // int arithmetic: 16-bit values and bar geometry cannot overflow it.
    const int px = x;
    const int py = y;
    return px >= bar.seekLeft - kSeekHitMargin && px <= bar.seekLeft + bar.seekWidth + kSeekHitMargin &&
           py >= bar.seekTop - kSeekHitMargin && py <= bar.seekTop + bar.seekHeight + kSeekHitMargin;
}

int64_t SeekTargetFromX(const ControlBarLayout& bar, uint16_t x, int64_t duration) {
    if (bar.seekWidth <= 0) return 0;
    const double target = std::trunc(static_cast<double>(static_cast<int>(x) - bar.seekLeft) /
                                      static_cast<double>(bar.seekWidth) * static_cast<double>(duration));
    // 2^63 is exactly representable; anything at or beyond it does not convert.
    constexpr double kLimit = 9223372036854775808.0;
    if (target >= kLimit) return std::numeric_limits<int64_t>::max();
    if (target < -kLimit) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(target);
}

bool SeekThrottleAllows(uint64_t nowTick, uint64_t lastSeekTick) {
    return nowTick - lastSeekTick > kSeekThrottleMs;
}
