#include "image/AreaReduction.h"

#include <algorithm>

namespace {

constexpr uint32_t kChannels = 4;

void EmitPendingRow(AreaReduction& r, uint8_t* target, size_t targetStride) {
    const uint64_t total = static_cast<uint64_t>(r.sourceWidth) * r.sourceHeight;
    uint8_t* out = target + static_cast<size_t>(r.pendingRow) * targetStride;
    std::vector<uint64_t>& sums = r.sums[0];
    for (size_t i = 0; i < sums.size(); ++i)
        out[i] = static_cast<uint8_t>((sums[i] + total / 2) / total);
    // The next row's sums move up; the row after starts empty.
    std::swap(r.sums[0], r.sums[1]);
    std::fill(r.sums[1].begin(), r.sums[1].end(), 0);
    ++r.pendingRow;
}

}  // namespace

bool BeginAreaReduction(AreaReduction& r, uint32_t sourceWidth, uint32_t sourceHeight,
                        uint32_t targetWidth, uint32_t targetHeight) {
    if (targetWidth < 1 || targetHeight < 1 || targetWidth > sourceWidth ||
        targetHeight > sourceHeight)
        return false;
    r = AreaReduction{};
    r.sourceWidth = sourceWidth;
    r.sourceHeight = sourceHeight;
    r.targetWidth = targetWidth;
    r.targetHeight = targetHeight;
    // Source column i spans [i * D, (i + 1) * D), target column x spans
    // [x * S, (x + 1) * S): the weight of i in x is the length of the overlap.
    const uint64_t s = sourceWidth, d = targetWidth;
    r.firstColumn.resize(targetWidth);
    r.weightStart.resize(targetWidth + 1);
    r.weights.reserve(sourceWidth + targetWidth);
    for (uint64_t x = 0; x < d; ++x) {
        const uint64_t begin = x * s, end = (x + 1) * s;
        r.firstColumn[x] = static_cast<uint32_t>(begin / d);
        r.weightStart[x] = static_cast<uint32_t>(r.weights.size());
        for (uint64_t i = begin / d; i * d < end; ++i)
            r.weights.push_back(static_cast<uint32_t>(std::min(end, (i + 1) * d) - std::max(begin, i * d)));
    }
    r.weightStart[targetWidth] = static_cast<uint32_t>(r.weights.size());
    r.rowSums.assign(static_cast<size_t>(targetWidth) * kChannels, 0);
    r.sums[0].assign(r.rowSums.size(), 0);
    r.sums[1].assign(r.rowSums.size(), 0);
    return true;
}

void ReduceAreaRows(AreaReduction& r, const uint8_t* rows, size_t rowStride, uint32_t rowCount,
                    uint8_t* target, size_t targetStride) {
    const uint64_t sy = r.sourceHeight, dy = r.targetHeight;
    for (uint32_t n = 0; n < rowCount && r.nextSourceRow < r.sourceHeight; ++n) {
        const uint8_t* row = rows + static_cast<size_t>(n) * rowStride;
        // Across: each target column's weighted sum of its source columns.
        for (uint32_t x = 0; x < r.targetWidth; ++x) {
            const uint8_t* p = row + static_cast<size_t>(r.firstColumn[x]) * kChannels;
            uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
            for (uint32_t w = r.weightStart[x]; w < r.weightStart[x + 1]; ++w, p += kChannels) {
                const uint32_t weight = r.weights[w];
                c0 += weight * p[0];
                c1 += weight * p[1];
                c2 += weight * p[2];
                c3 += weight * p[3];
            }
            uint32_t* out = &r.rowSums[static_cast<size_t>(x) * kChannels];
            out[0] = c0;
            out[1] = c1;
            out[2] = c2;
            out[3] = c3;
        }
        // Down: source row j spans [j * dy, (j + 1) * dy), target row y spans
        // [y * sy, (y + 1) * sy); a row overlaps at most two target rows.
        const uint64_t j = r.nextSourceRow;
        const uint64_t begin = j * dy, end = (j + 1) * dy;
        for (int k = 0; k < 2; ++k) {
            const uint64_t y = r.pendingRow + static_cast<uint64_t>(k);
            if (y >= dy) break;
            const uint64_t lo = std::max(begin, y * sy), hi = std::min(end, (y + 1) * sy);
            if (hi <= lo) continue;
            const uint64_t weight = hi - lo;
            std::vector<uint64_t>& sums = r.sums[k];
            for (size_t i = 0; i < sums.size(); ++i) sums[i] += weight * r.rowSums[i];
        }
        ++r.nextSourceRow;
        while (r.pendingRow < r.targetHeight &&
               end >= (static_cast<uint64_t>(r.pendingRow) + 1) * sy)
            EmitPendingRow(r, target, targetStride);
    }
}
