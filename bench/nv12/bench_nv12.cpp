// Converts the same 3840x2160 NV12 frames with ConvertNv12Frame and with
// libyuv's NV12ToARGB (both write B, G, R, A bytes) and prints the time ratio.
// Runs alternate between the two so both see the same machine state; the
// median and the best of each are reported (on a shared machine the best is
// the steadier figure). The goal is a ratio of at most 1.5.
//   bench_nv12 [runs]
#include <libyuv.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "video/Nv12.h"

namespace {

constexpr uint32_t kWidth = 3840;
constexpr uint32_t kHeight = 2160;

// A picture like a video frame: smooth gradients, colour bars, mild grain.
std::vector<uint8_t> NaturalFrame() {
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight * 3 / 2);
    std::mt19937 random(1);
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x)
            f[static_cast<size_t>(y) * kWidth + x] =
                static_cast<uint8_t>(16 + (x * 219 / kWidth + y * 37 / kHeight + random() % 5) % 220);
    uint8_t* uv = f.data() + static_cast<size_t>(kWidth) * kHeight;
    for (uint32_t y = 0; y < kHeight / 2; ++y)
        for (uint32_t x = 0; x < kWidth; x += 2) {
            const uint32_t bar = x * 8 / kWidth;
            uv[static_cast<size_t>(y) * kWidth + x] = static_cast<uint8_t>(64 + bar * 16 + y * 32 / kHeight);
            uv[static_cast<size_t>(y) * kWidth + x + 1] = static_cast<uint8_t>(200 - bar * 12 + (random() % 3));
        }
    return f;
}

// The worst case for a table per chroma pair: every pair random.
std::vector<uint8_t> NoiseFrame() {
    std::vector<uint8_t> f(static_cast<size_t>(kWidth) * kHeight * 3 / 2);
    std::mt19937 random(2);
    for (uint8_t& b : f) b = static_cast<uint8_t>(random());
    return f;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double TimeMs(F&& f) {
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

void Compare(const char* name, const std::vector<uint8_t>& frame, int runs) {
    std::vector<uint8_t> ours(static_cast<size_t>(kWidth) * kHeight * 4);
    std::vector<uint8_t> theirs(ours.size());
    const uint8_t* y = frame.data();
    const uint8_t* uv = y + static_cast<size_t>(kWidth) * kHeight;
    std::vector<double> oursMs, theirsMs;
    for (int i = 0; i < runs + 2; ++i) {  // the first two of each warm up (tables, pages)
        const double t = TimeMs([&] {
            if (!ConvertNv12Frame(frame.data(), frame.size(), kWidth, kHeight, 0, ours.data(), ours.size()))
                std::abort();
        });
        const double l = TimeMs([&] {
            libyuv::NV12ToARGB(y, kWidth, uv, kWidth, theirs.data(), kWidth * 4, kWidth, kHeight);
        });
        if (i >= 2) {
            oursMs.push_back(t);
            theirsMs.push_back(l);
        }
    }
    const double o = Median(oursMs), l = Median(theirsMs);
    const double ob = *std::min_element(oursMs.begin(), oursMs.end());
    const double lb = *std::min_element(theirsMs.begin(), theirsMs.end());
    std::printf("%-8s median: ConvertNv12Frame %7.3f ms  libyuv NV12ToARGB %7.3f ms  ratio %.2f\n", name, o, l,
                o / l);
    std::printf("%-8s best:   ConvertNv12Frame %7.3f ms  libyuv NV12ToARGB %7.3f ms  ratio %.2f  (goal <= 1.50)\n",
                "", ob, lb, ob / lb);
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    std::printf("3840x2160 NV12 -> BGRA, %d runs each\n", runs);
    Compare("natural", NaturalFrame(), runs);
    Compare("noise", NoiseFrame(), runs);
    return 0;
}
