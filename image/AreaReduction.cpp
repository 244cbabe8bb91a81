#include "image/AreaReduction.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || defined(_M_AMD64)
#include <emmintrin.h>
#define AREA_REDUCTION_SSE2 1
#endif

namespace {

constexpr uint32_t kChannels = 4;

// ---- The portable loops: the reference the vector ones match to the bit ----

// One source row reduced across into r.rowSums, target columns from `fromColumn`
// on. A 3-byte pixel counts as alpha 255.
template <uint32_t kPixelBytes>
void SumAcross(AreaReduction& r, const uint8_t* row, uint32_t fromColumn) {
    for (uint32_t x = fromColumn; x < r.targetWidth; ++x) {
        const uint8_t* p = row + static_cast<size_t>(r.firstColumn[x]) * kPixelBytes;
        uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
        for (uint32_t w = r.weightStart[x]; w < r.weightStart[x + 1]; ++w, p += kPixelBytes) {
            const uint32_t weight = r.weights[w];
            c0 += weight * p[0];
            c1 += weight * p[1];
            c2 += weight * p[2];
            c3 += weight * (kPixelBytes == 4 ? p[3] : 255u);
        }
        uint32_t* out = &r.rowSums[static_cast<size_t>(x) * kChannels];
        out[0] = c0;
        out[1] = c1;
        out[2] = c2;
        out[3] = c3;
    }
}

void AddDown(std::vector<uint64_t>& sums, const std::vector<uint32_t>& rowSums, uint64_t weight) {
    for (size_t i = 0; i < sums.size(); ++i) sums[i] += weight * rowSums[i];
}

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

// ---- The vector loops ----
#ifdef AREA_REDUCTION_SSE2

// Where every lane stays exact: a weight is at most targetWidth and is a
// signed 16-bit factor; a column's sum across is at most 255 x sourceWidth,
// and the whole rows of one target row (at most sourceHeight / targetHeight
// of them) add up to at most that many times as much, in a signed 32-bit
// lane; a sum down is at most 255 x the source's area, whole in a double,
// and the reciprocal's error stays below 1 / area (see Quotients).
constexpr uint32_t kMaxPairWeight = 32767;
constexpr uint64_t kMaxLaneSum = 0x7FFFFFFF;
constexpr uint64_t kMaxExactArea = uint64_t{1} << 40;
constexpr uint32_t kMaxPairsPerColumn = 64;

bool VectorLoopsExact(const AreaReduction& r) {
    const uint64_t wholeRows = r.sourceHeight / r.targetHeight;
    return r.targetWidth <= kMaxPairWeight && uint64_t{255} * r.sourceWidth * wholeRows <= kMaxLaneSum &&
           uint64_t{r.sourceWidth} * r.sourceHeight <= kMaxExactArea;
}

void BuildPairTables(AreaReduction& r) {
    uint32_t pairs = 0;
    for (uint32_t x = 0; x < r.targetWidth; ++x)
        pairs = std::max(pairs, (r.weightStart[x + 1] - r.weightStart[x] + 1) / 2);
    if (pairs > kMaxPairsPerColumn) return;  // a shrink this deep is rare: the portable loops serve it
    r.pairsPerColumn = pairs;
    r.pairWeights.assign(static_cast<size_t>(r.targetWidth) * pairs * 4, 0);
    const uint64_t s = r.sourceWidth;
    bool inside4 = true, inside3 = true;
    for (uint32_t x = 0; x < r.targetWidth; ++x) {
        uint32_t* column = &r.pairWeights[static_cast<size_t>(x) * pairs * 4];
        for (uint32_t w = r.weightStart[x], k = 0; w < r.weightStart[x + 1]; ++w, ++k)
            for (uint32_t lane = 0; lane < 4; ++lane)
                column[k / 2 * 4 + lane] |= r.weights[w] << (k % 2 ? 16 : 0);
        // The last pair loads 8 bytes from pixel first + 2 * (pairs - 1) on.
        const uint64_t lastLoad = r.firstColumn[x] + 2 * (uint64_t{pairs} - 1);
        inside4 = inside4 && lastLoad * 4 + 8 <= s * 4;
        inside3 = inside3 && lastLoad * 3 + 8 <= s * 3;
        if (inside4) r.pairedColumns4 = x + 1;
        if (inside3) r.pairedColumns3 = x + 1;
    }
    r.wholeRowSums.assign(r.rowSums.size(), 0);
    r.exactSums[0].assign(r.rowSums.size(), 0.0);
    r.exactSums[1].assign(r.rowSums.size(), 0.0);
}

// One column's sum across, two source pixels at a time: their channels
// interleaved into 16-bit lanes (b0 b1 g0 g1 r0 r1 a0 a1) meet the pair's
// weights (w0 w1 w0 w1 ...) in one multiply-add.
template <uint32_t kPixelBytes, uint32_t kPairs>
inline __m128i ColumnSum(const uint8_t* p, const uint32_t* weights, uint32_t pairs) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    const uint32_t count = kPairs ? kPairs : pairs;
    for (uint32_t k = 0; k < count; ++k, p += 2 * kPixelBytes) {
        const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        const __m128i paired =
            _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_epi64(two, 8 * kPixelBytes)), zero);
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 4 * k));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(paired, w));
    }
    return sum;
}

// As SumAcross, for the paired columns (the others go the portable way),
// into r.rowSums; or, for a whole row (`whole`), added to r.wholeRowSums.
template <uint32_t kPixelBytes, uint32_t kPairs>
void SumAcrossPaired(AreaReduction& r, const uint8_t* row, bool whole) {
    const uint32_t columns = kPixelBytes == 4 ? r.pairedColumns4 : r.pairedColumns3;
    // With 3-byte pixels the fourth lane sums bytes of the next pixel; it
    // becomes the sum of alpha 255 over the column's weights, whose total is
    // sourceWidth.
    const __m128i colour = _mm_set_epi32(kPixelBytes == 4 ? -1 : 0, -1, -1, -1);
    const __m128i opaque = _mm_set_epi32(kPixelBytes == 4 ? 0 : static_cast<int>(255 * r.sourceWidth), 0, 0, 0);
    const uint32_t pairs = r.pairsPerColumn;
    const uint32_t* weights = r.pairWeights.data();
    const uint32_t* firstColumn = r.firstColumn.data();
    __m128i* out = reinterpret_cast<__m128i*>(whole ? static_cast<void*>(r.wholeRowSums.data())
                                                    : static_cast<void*>(r.rowSums.data()));
    for (uint32_t x = 0; x < columns; ++x, weights += 4 * pairs) {
        __m128i sum = ColumnSum<kPixelBytes, kPairs>(row + static_cast<size_t>(firstColumn[x]) * kPixelBytes,
                                                     weights, pairs);
        if (kPixelBytes == 3) sum = _mm_or_si128(_mm_and_si128(sum, colour), opaque);
        if (whole) sum = _mm_add_epi32(sum, _mm_loadu_si128(out + x));
        _mm_storeu_si128(out + x, sum);
    }
    SumAcross<kPixelBytes>(r, row, columns);
    if (whole)
        for (size_t i = static_cast<size_t>(columns) * kChannels; i < r.rowSums.size(); ++i)
            r.wholeRowSums[i] += static_cast<int32_t>(r.rowSums[i]);
}

template <uint32_t kPixelBytes>
void SumAcrossVector(AreaReduction& r, const uint8_t* row, bool whole) {
    // The usual shrinks, with their pair count fixed, need no loop control.
    switch (r.pairsPerColumn) {
        case 1: return SumAcrossPaired<kPixelBytes, 1>(r, row, whole);
        case 2: return SumAcrossPaired<kPixelBytes, 2>(r, row, whole);
        case 3: return SumAcrossPaired<kPixelBytes, 3>(r, row, whole);
        case 4: return SumAcrossPaired<kPixelBytes, 4>(r, row, whole);
        default: return SumAcrossPaired<kPixelBytes, 0>(r, row, whole);
    }
}

// As AddDown, in doubles: every product and sum is a whole number below 2^53.
void AddDownExact(std::vector<double>& sums, const std::vector<uint32_t>& rowSums, uint64_t weight) {
    const __m128d w = _mm_set1_pd(static_cast<double>(weight));
    double* s = sums.data();
    const uint32_t* v = rowSums.data();
    for (size_t i = 0; i < rowSums.size(); i += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + i));
        const __m128d low = _mm_cvtepi32_pd(four);
        const __m128d high = _mm_cvtepi32_pd(_mm_unpackhi_epi64(four, four));
        _mm_storeu_pd(s + i, _mm_add_pd(_mm_loadu_pd(s + i), _mm_mul_pd(low, w)));
        _mm_storeu_pd(s + i + 2, _mm_add_pd(_mm_loadu_pd(s + i + 2), _mm_mul_pd(high, w)));
    }
}

// floor((sum + total / 2) / total) of two sums, in the two low 32-bit lanes.
// With n = sum + total / 2 below 256 x total, n x (1 / total) rounded twice,
// plus kNudge rounded once, is off from n / total by less than
// 2^-44 + 2^-46; n / total is a whole q plus at most 1 - 1 / total, and
// 1 / total is at least 2^-40: adding kNudge lifts every estimate to q or
// above and keeps it below q + 1, so truncating gives q.
constexpr double kNudge = 1.0 / (uint64_t{1} << 42);
inline __m128i Quotients(__m128d sums, __m128d half, __m128d inverse) {
    const __m128d n = _mm_add_pd(sums, half);
    return _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(n, inverse), _mm_set1_pd(kNudge)));
}

void EmitPendingRowExact(AreaReduction& r, uint8_t* target, size_t targetStride) {
    const uint64_t total = static_cast<uint64_t>(r.sourceWidth) * r.sourceHeight;
    const __m128d half = _mm_set1_pd(static_cast<double>(total / 2));
    const __m128d inverse = _mm_set1_pd(1.0 / static_cast<double>(total));
    const __m128d rowWeight = _mm_set1_pd(static_cast<double>(r.targetHeight));
    uint8_t* out = target + static_cast<size_t>(r.pendingRow) * targetStride;
    const double* sums = r.exactSums[0].data();
    const int32_t* wholeRows = r.wholeRowSums.data();
    for (size_t i = 0; i < r.exactSums[0].size(); i += 4) {
        const __m128i rows = _mm_loadu_si128(reinterpret_cast<const __m128i*>(wholeRows + i));
        const __m128d low = _mm_add_pd(_mm_loadu_pd(sums + i), _mm_mul_pd(_mm_cvtepi32_pd(rows), rowWeight));
        const __m128d high = _mm_add_pd(_mm_loadu_pd(sums + i + 2),
                                        _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(rows, rows)), rowWeight));
        const __m128i four =
            _mm_unpacklo_epi64(Quotients(low, half, inverse), Quotients(high, half, inverse));
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(four, four), four);
        const int32_t pixel = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + i, &pixel, 4);
    }
    std::swap(r.exactSums[0], r.exactSums[1]);
    std::fill(r.exactSums[1].begin(), r.exactSums[1].end(), 0.0);
    std::fill(r.wholeRowSums.begin(), r.wholeRowSums.end(), 0);
    ++r.pendingRow;
}

#endif  // AREA_REDUCTION_SSE2

template <uint32_t kPixelBytes>
void ReduceRows(AreaReduction& r, const uint8_t* rows, size_t rowStride, uint32_t rowCount, uint8_t* target,
                size_t targetStride) {
#ifdef AREA_REDUCTION_SSE2
    const bool vector = !r.portable && r.pairsPerColumn != 0;
#endif
    const uint64_t sy = r.sourceHeight, dy = r.targetHeight;
    for (uint32_t n = 0; n < rowCount && r.nextSourceRow < r.sourceHeight; ++n) {
        const uint8_t* row = rows + static_cast<size_t>(n) * rowStride;
        // Down: source row j spans [j * dy, (j + 1) * dy), target row y spans
        // [y * sy, (y + 1) * sy); a row overlaps at most two target rows.
        const uint64_t j = r.nextSourceRow;
        const uint64_t begin = j * dy, end = (j + 1) * dy;
        ++r.nextSourceRow;
#ifdef AREA_REDUCTION_SSE2
        // A row inside the pending target row only adds to it, at weight dy.
        const bool whole = vector && begin >= r.pendingRow * sy && end <= (r.pendingRow + 1) * sy;
        if (vector) SumAcrossVector<kPixelBytes>(r, row, whole);
        else
#else
        const bool whole = false;
#endif
            SumAcross<kPixelBytes>(r, row, 0);
        for (int k = 0; k < 2 && !whole; ++k) {
            const uint64_t y = r.pendingRow + static_cast<uint64_t>(k);
            if (y >= dy) break;
            const uint64_t lo = std::max(begin, y * sy), hi = std::min(end, (y + 1) * sy);
            if (hi <= lo) continue;
#ifdef AREA_REDUCTION_SSE2
            if (vector) AddDownExact(r.exactSums[k], r.rowSums, hi - lo);
            else
#endif
                AddDown(r.sums[k], r.rowSums, hi - lo);
        }
        while (r.pendingRow < r.targetHeight && end >= (static_cast<uint64_t>(r.pendingRow) + 1) * sy) {
#ifdef AREA_REDUCTION_SSE2
            if (vector) EmitPendingRowExact(r, target, targetStride);
            else
#endif
                EmitPendingRow(r, target, targetStride);
        }
    }
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
#ifdef AREA_REDUCTION_SSE2
    if (VectorLoopsExact(r)) BuildPairTables(r);
#endif
    return true;
}

void ReduceAreaRows(AreaReduction& r, const uint8_t* rows, size_t rowStride, uint32_t rowCount,
                    uint8_t* target, size_t targetStride) {
    ReduceRows<4>(r, rows, rowStride, rowCount, target, targetStride);
}

void ReduceOpaqueBgrRows(AreaReduction& r, const uint8_t* rows, size_t rowStride, uint32_t rowCount,
                         uint8_t* target, size_t targetStride) {
    ReduceRows<3>(r, rows, rowStride, rowCount, target, targetStride);
}
