// The area reduction alone: one 6000 x 4000 picture (24 MP) to 1620 x 1080,
// fed in 64-row strips as the decoder feeds it, through the portable loops
// (the reference every other path must match to the bit) and the vector
// loops, from 4-byte BGRA rows and from 3-byte opaque BGR rows; against a
// plain memcpy of the same source bytes, the floor of any pass over them.
// Prints the best of several alternating rounds in milliseconds of the
// process's CPU time (on a shared machine the wall clock also counts the
// others' turns; on a quiet one the two agree) and each path's ratio to the
// copy (goal: the vector reduction of the decoder's BGR rows within a few
// copies).   build/native/bench/images/image_reduction_bench [rounds]
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/AreaReduction.h"

namespace {

constexpr uint32_t kSourceWidth = 6000, kSourceHeight = 4000;
constexpr uint32_t kTargetWidth = 1620, kTargetHeight = 1080;
constexpr uint32_t kStripRows = 64;

double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

// Reduces `source` (pixelBytes a pixel, rows packed) strip by strip into `target`.
void Reduce(const std::vector<uint8_t>& source, uint32_t pixelBytes, bool portable,
            std::vector<uint8_t>& target) {
    AreaReduction reduction;
    if (!BeginAreaReduction(reduction, kSourceWidth, kSourceHeight, kTargetWidth, kTargetHeight)) std::abort();
    reduction.portable = portable;
    const size_t rowBytes = size_t{kSourceWidth} * pixelBytes;
    for (uint32_t first = 0; first < kSourceHeight; first += kStripRows) {
        const uint32_t rows = std::min(kStripRows, kSourceHeight - first);
        const uint8_t* strip = source.data() + first * rowBytes;
        if (pixelBytes == 4)
            ReduceAreaRows(reduction, strip, rowBytes, rows, target.data(), size_t{kTargetWidth} * 4);
        else
            ReduceOpaqueBgrRows(reduction, strip, rowBytes, rows, target.data(), size_t{kTargetWidth} * 4);
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    // Photograph-like enough for integer loops whose cost does not depend on the values.
    std::vector<uint8_t> bgra(size_t{kSourceWidth} * kSourceHeight * 4);
    std::vector<uint8_t> bgr(size_t{kSourceWidth} * kSourceHeight * 3);
    std::mt19937 random(7);
    for (size_t i = 0, j = 0; i < bgra.size(); i += 4, j += 3) {
        const uint32_t v = random();
        bgra[i] = bgr[j] = static_cast<uint8_t>(v);
        bgra[i + 1] = bgr[j + 1] = static_cast<uint8_t>(v >> 8);
        bgra[i + 2] = bgr[j + 2] = static_cast<uint8_t>(v >> 16);
        bgra[i + 3] = 255;
    }
    std::vector<uint8_t> copy(bgra.size());
    std::vector<uint8_t> outputs[4];
    for (auto& out : outputs) out.assign(size_t{kTargetWidth} * kTargetHeight * 4, 0);
    struct Path {
        const char* name;
        uint32_t pixelBytes;
        bool portable;
    };
    const Path paths[] = {{"portable, BGRA rows", 4, true},
                          {"vector, BGRA rows", 4, false},
                          {"portable, BGR rows", 3, true},
                          {"vector, BGR rows", 3, false}};
    double best[4] = {1e30, 1e30, 1e30, 1e30};
    double bestCopy[2] = {1e30, 1e30};  // the 4-byte and the 3-byte picture
    for (int round = 0; round < rounds; ++round) {  // alternating, best of each
        for (int c = 0; c < 2; ++c) {
            const std::vector<uint8_t>& from = c == 0 ? bgra : bgr;
            const double t0 = CpuMilliseconds();
            std::memcpy(copy.data(), from.data(), from.size());
            const double t1 = CpuMilliseconds();
            bestCopy[c] = std::min(bestCopy[c], t1 - t0);
        }
        for (int p = 0; p < 4; ++p) {
            const double t0 = CpuMilliseconds();
            Reduce(paths[p].pixelBytes == 4 ? bgra : bgr, paths[p].pixelBytes, paths[p].portable, outputs[p]);
            const double t1 = CpuMilliseconds();
            best[p] = std::min(best[p], t1 - t0);
        }
    }
    std::printf("%ux%u to %ux%u in %u-row strips, best of %d rounds, CPU time\n", kSourceWidth, kSourceHeight,
                kTargetWidth, kTargetHeight, kStripRows, rounds);
    std::printf("memcpy of the source: BGRA %.1f ms, BGR %.1f ms\n", bestCopy[0], bestCopy[1]);
    for (int p = 0; p < 4; ++p)
        std::printf("%-20s %7.1f ms  (%.1f x its memcpy)\n", paths[p].name, best[p],
                    best[p] / bestCopy[paths[p].pixelBytes == 4 ? 0 : 1]);
    const bool same = outputs[0] == outputs[1] && outputs[0] == outputs[2] && outputs[0] == outputs[3];
    std::printf("all four results identical: %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
