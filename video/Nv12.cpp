#include "video/Nv12.h"

#include <cstring>
#include <new>

// Vector paths: SSE2 on every x86-64 processor, AVX2 where the processor and
// the system support it (chosen once at run time). Other targets use the
// one-pixel path only.
#if defined(__SSE2__) || defined(_M_X64)
#define KESTRELON_NV12_SSE2 1
#include <emmintrin.h>
#endif
#if defined(_M_X64) && defined(_MSC_VER)
#define KESTRELON_NV12_AVX2 1
#define KESTRELON_AVX2_FUNCTION
#include <immintrin.h>
#include <intrin.h>
#elif defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define KESTRELON_NV12_AVX2 1
#define KESTRELON_AVX2_FUNCTION __attribute__((target("avx2")))
#include <immintrin.h>
#endif

namespace {

const Nv12Coefficients kCoefficientSets[3] = {
    {1.596, 0.391, 0.813, 2.018},
    {1.793, 0.213, 0.534, 2.112},
    {1.67867, 0.18733, 0.65042, 2.14177},
};

// The same rows as exact fractions (numerator / denominator). They decide, per
// chroma pair, the integer offset the double formula adds to Y', and where the
// exact value is an integer, that the double formula must be asked itself.
struct ExactCoefficients {
    int64_t a, b, c, d, denominator;
};
const ExactCoefficients kExactSets[3] = {
    {1596, 391, 813, 2018, 1000},
    {1793, 213, 534, 2112, 1000},
    {167867, 18733, 65042, 214177, 100000},
};

constexpr int kChromaPairs = 65536;

inline uint8_t Limit(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

int SetIndex(int colorPrimaries) { return (colorPrimaries == 1 || colorPrimaries == 2) ? colorPrimaries : 0; }

inline int ScaledLuma(int y) { return Limit((y - 16) * 255 / 219); }

// The formula itself, in double precision and in its own order of operations.
inline void FormulaPixel(int scaledLuma, int u, int v, const Nv12Coefficients& k, uint8_t* out) {
    const double y = scaledLuma;
    const double r = y + k.a * v;
    const double g = y - k.b * u - k.c * v;
    const double b = y + k.d * u;
    out[0] = Limit(static_cast<int>(b));
    out[1] = Limit(static_cast<int>(g));
    out[2] = Limit(static_cast<int>(r));
    out[3] = 255;
}

int64_t FloorDiv(int64_t n, int64_t d) {
    int64_t q = n / d;
    if (n % d != 0 && n < 0) --q;
    return q;
}

// One entry per chroma pair, indexed by U | V << 8 (the pair's two bytes read
// little-endian). Its eight bytes are what a pixel of the pair adds to Y' and
// then takes away, both with byte saturation: B+, G+, R+, 255 (alpha), B-, G-,
// R-, flag. A channel's offset o becomes o+ = min(max(o, 0), 255) and
// o- = min(max(-o, 0), 255), so sat(sat(Y' + o+) - o-) = Limit(Y' + o) for
// every Y' in 0..255. The flag byte (1) marks a pair whose offsets do not hold
// for every Y'; its pixels are redone with the formula.
struct ChromaTable {
    uint64_t entries[kChromaPairs];
};
constexpr int kFlagByte = 7;

uint64_t PackEntry(const int (&offsets)[3], bool irregular) {
    uint64_t e = static_cast<uint64_t>(255) << 24 | static_cast<uint64_t>(irregular ? 1 : 0) << 56;
    for (int c = 0; c < 3; ++c) {
        const int o = offsets[c];
        e |= static_cast<uint64_t>(Limit(o)) << (8 * c);
        e |= static_cast<uint64_t>(Limit(-o)) << (8 * (c + 4));
    }
    return e;
}

inline uint8_t EntryByte(uint64_t entry, int n) { return static_cast<uint8_t>(entry >> (8 * n)); }

ChromaTable* BuildChromaTable(int set) {
    ChromaTable* table = new (std::nothrow) ChromaTable;
    if (!table) return nullptr;
    const ExactCoefficients& e = kExactSets[set];
    const Nv12Coefficients& k = kCoefficientSets[set];
    for (int index = 0; index < kChromaPairs; ++index) {
        const int u = (index & 0xFF) - 128;
        const int v = (index >> 8) - 128;
        const int64_t numerators[3] = {e.d * u, -(e.b * u + e.c * v), e.a * v};  // B, G, R
        int offsets[3];
        bool onInteger = false;
        for (int c = 0; c < 3; ++c) {
            offsets[c] = static_cast<int>(FloorDiv(numerators[c], e.denominator));
            onInteger = onInteger || numerators[c] % e.denominator == 0;
        }
        // Away from integers the double formula's rounding (far below 1e-5)
        // cannot cross one; on an exact integer it may land either side.
        bool irregular = false;
        for (int y = 0; onInteger && y < 256 && !irregular; ++y) {
            uint8_t px[4];
            FormulaPixel(y, u, v, k, px);
            for (int c = 0; c < 3; ++c) irregular = irregular || px[c] != Limit(y + offsets[c]);
        }
        table->entries[index] = PackEntry(offsets, irregular);
    }
    return table;
}

// Each row's table is built on its first use and kept for the process.
const ChromaTable* ChromaTableFor(int set) {
    switch (set) {
        case 1: {
            static const ChromaTable* const bt709 = BuildChromaTable(1);
            return bt709;
        }
        case 2: {
            static const ChromaTable* const bt2020 = BuildChromaTable(2);
            return bt2020;
        }
        default: {
            static const ChromaTable* const standard = BuildChromaTable(0);
            return standard;
        }
    }
}

inline uint32_t PairIndex(const uint8_t* uv) { return static_cast<uint32_t>(uv[0]) | uv[1] << 8; }

inline void EntryPixel(int scaledLuma, uint64_t entry, uint8_t* px) {
    for (int c = 0; c < 3; ++c) {
        const int up = scaledLuma + EntryByte(entry, c);
        px[c] = Limit((up > 255 ? 255 : up) - EntryByte(entry, c + 4));
    }
    px[3] = 255;
}

// The pixels of one row pair, from `from` to the end, one at a time.
void ConvertColumnsScalar(const uint8_t* y0, const uint8_t* y1, const uint8_t* uv, uint32_t from,
                          uint32_t width, const ChromaTable& table, const Nv12Coefficients& k,
                          uint8_t* out0, uint8_t* out1) {
    for (uint32_t x = from; x < width; ++x) {
        const uint8_t* pair = uv + (x & ~1u);
        const uint64_t entry = table.entries[PairIndex(pair)];
        const bool irregular = EntryByte(entry, kFlagByte) != 0;
        const uint8_t* rows[2] = {y0, y1};
        uint8_t* outs[2] = {out0, out1};
        for (int row = 0; row < 2; ++row) {
            const int y = ScaledLuma(rows[row][x]);
            uint8_t* px = outs[row] + 4 * static_cast<size_t>(x);
            if (irregular)
                FormulaPixel(y, pair[0] - 128, pair[1] - 128, k, px);
            else
                EntryPixel(y, entry, px);
        }
    }
}

// Redoes with the formula the pixels of irregular pairs in columns [0, width).
void FixIrregularPairs(const uint8_t* y0, const uint8_t* y1, const uint8_t* uv, uint32_t width,
                       const ChromaTable& table, const Nv12Coefficients& k, uint8_t* out0,
                       uint8_t* out1) {
    for (uint32_t x = 0; x < width; x += 2) {
        if (!EntryByte(table.entries[PairIndex(uv + x)], kFlagByte)) continue;
        const int u = uv[x] - 128;
        const int v = uv[x + 1] - 128;
        for (uint32_t i = x; i < x + 2; ++i) {
            FormulaPixel(ScaledLuma(y0[i]), u, v, k, out0 + 4 * static_cast<size_t>(i));
            FormulaPixel(ScaledLuma(y1[i]), u, v, k, out1 + 4 * static_cast<size_t>(i));
        }
    }
}

// A vector pass over a row pair converts whole groups of columns, returns the
// first column it left to the scalar pass and tells whether it met an
// irregular pair.
struct VectorPass {
    uint32_t done = 0;
    bool irregular = false;
};

#if KESTRELON_NV12_SSE2
// Y' of eight 16-bit luma samples: (max(Y, 16) - 16) * 255 / 219 through a
// multiply-high (exact for every Y, checked by the tests), limited to 255.
inline __m128i ScaledLuma8(__m128i y) {
    const __m128i m = _mm_subs_epu16(y, _mm_set1_epi16(16));
    const __m128i n = _mm_mullo_epi16(m, _mm_set1_epi16(255));
    const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(n, _mm_set1_epi16(19153)), 6);
    return _mm_min_epi16(q, _mm_set1_epi16(255));
}

inline __m128i ScaledLuma16(__m128i y) {
    const __m128i zero = _mm_setzero_si128();
    return _mm_packus_epi16(ScaledLuma8(_mm_unpacklo_epi8(y, zero)), ScaledLuma8(_mm_unpackhi_epi8(y, zero)));
}

// Two pairs' entries side by side.
inline __m128i LoadTwoEntries(const ChromaTable& table, const uint8_t* pairs) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&table.entries[PairIndex(pairs)]));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&table.entries[PairIndex(pairs + 2)]));
    return _mm_unpacklo_epi64(a, b);
}

// Four pixels: Y' in all four bytes of each, plus the pair's B+ G+ R+ 255 and
// minus its B- G- R- flag, saturating.
inline __m128i FourPixels(__m128i luma4, __m128i entries) {
    const __m128i plus = _mm_shuffle_epi32(entries, _MM_SHUFFLE(2, 2, 0, 0));
    const __m128i minus = _mm_shuffle_epi32(entries, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm_subs_epu8(_mm_adds_epu8(luma4, plus), minus);
}

inline void StoreSixteen(uint8_t* out, __m128i luma, const __m128i (&e)[4]) {
    const __m128i lo = _mm_unpacklo_epi8(luma, luma);
    const __m128i hi = _mm_unpackhi_epi8(luma, luma);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), FourPixels(_mm_unpacklo_epi16(lo, lo), e[0]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), FourPixels(_mm_unpackhi_epi16(lo, lo), e[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), FourPixels(_mm_unpacklo_epi16(hi, hi), e[2]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), FourPixels(_mm_unpackhi_epi16(hi, hi), e[3]));
}

VectorPass ConvertColumnsSse2(const uint8_t* y0, const uint8_t* y1, const uint8_t* uv, uint32_t width,
                              const ChromaTable& table, uint8_t* out0, uint8_t* out1) {
    __m128i seen = _mm_setzero_si128();
    uint32_t x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i e[4] = {LoadTwoEntries(table, uv + x), LoadTwoEntries(table, uv + x + 4),
                              LoadTwoEntries(table, uv + x + 8), LoadTwoEntries(table, uv + x + 12)};
        seen = _mm_or_si128(seen, _mm_or_si128(_mm_or_si128(e[0], e[1]), _mm_or_si128(e[2], e[3])));
        StoreSixteen(out0 + 4 * static_cast<size_t>(x),
                     ScaledLuma16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y0 + x))), e);
        StoreSixteen(out1 + 4 * static_cast<size_t>(x),
                     ScaledLuma16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y1 + x))), e);
    }
    alignas(16) uint8_t bytes[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(bytes), seen);
    return VectorPass{x, bytes[kFlagByte] != 0 || bytes[8 + kFlagByte] != 0};
}
#endif

#if KESTRELON_NV12_AVX2
KESTRELON_AVX2_FUNCTION inline __m256i ScaledLuma16x(__m256i y) {
    const __m256i m = _mm256_subs_epu16(y, _mm256_set1_epi16(16));
    const __m256i n = _mm256_mullo_epi16(m, _mm256_set1_epi16(255));
    const __m256i q = _mm256_srli_epi16(_mm256_mulhi_epu16(n, _mm256_set1_epi16(19153)), 6);
    return _mm256_min_epi16(q, _mm256_set1_epi16(255));
}

// Y' of 32 luma bytes, in their own order (the unpacks and the pack stay
// within each 128-bit half, so the order comes back as it was).
KESTRELON_AVX2_FUNCTION inline __m256i ScaledLuma32(const uint8_t* y) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(y));
    const __m256i zero = _mm256_setzero_si256();
    return _mm256_packus_epi16(ScaledLuma16x(_mm256_unpacklo_epi8(v, zero)),
                               ScaledLuma16x(_mm256_unpackhi_epi8(v, zero)));
}

// Four pairs' entries: pairs 0 and 1 in the low half, 2 and 3 in the high half.
KESTRELON_AVX2_FUNCTION inline __m256i LoadFourEntries(const ChromaTable& table, const uint8_t* pairs) {
    return _mm256_set_epi64x(static_cast<long long>(table.entries[PairIndex(pairs + 6)]),
                             static_cast<long long>(table.entries[PairIndex(pairs + 4)]),
                             static_cast<long long>(table.entries[PairIndex(pairs + 2)]),
                             static_cast<long long>(table.entries[PairIndex(pairs)]));
}

KESTRELON_AVX2_FUNCTION inline __m256i EightPixels(__m256i luma8, __m256i entries) {
    const __m256i plus = _mm256_shuffle_epi32(entries, _MM_SHUFFLE(2, 2, 0, 0));
    const __m256i minus = _mm256_shuffle_epi32(entries, _MM_SHUFFLE(3, 3, 1, 1));
    return _mm256_subs_epu8(_mm256_adds_epu8(luma8, plus), minus);
}

// 32 pixels of one row. `luma` holds their Y'; pixels 8g..8g+7 take Y' bytes
// from the half that holds them, four copies each, and the entries e[g].
KESTRELON_AVX2_FUNCTION inline void StoreThirtyTwo(uint8_t* out, __m256i luma, const __m256i (&e)[4]) {
    const __m256i firstFour = _mm256_setr_epi8(0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3,  //
                                               4, 4, 4, 4, 5, 5, 5, 5, 6, 6, 6, 6, 7, 7, 7, 7);
    const __m256i lastFour = _mm256_add_epi8(firstFour, _mm256_set1_epi8(8));
    const __m256i low = _mm256_permute4x64_epi64(luma, _MM_SHUFFLE(1, 0, 1, 0));
    const __m256i high = _mm256_permute4x64_epi64(luma, _MM_SHUFFLE(3, 2, 3, 2));
    __m256i* o = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(o, EightPixels(_mm256_shuffle_epi8(low, firstFour), e[0]));
    _mm256_storeu_si256(o + 1, EightPixels(_mm256_shuffle_epi8(low, lastFour), e[1]));
    _mm256_storeu_si256(o + 2, EightPixels(_mm256_shuffle_epi8(high, firstFour), e[2]));
    _mm256_storeu_si256(o + 3, EightPixels(_mm256_shuffle_epi8(high, lastFour), e[3]));
}

KESTRELON_AVX2_FUNCTION VectorPass ConvertColumnsAvx2(const uint8_t* y0, const uint8_t* y1,
                                                      const uint8_t* uv, uint32_t width,
                                                      const ChromaTable& table, uint8_t* out0,
                                                      uint8_t* out1) {
    __m256i seen = _mm256_setzero_si256();
    uint32_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i e[4] = {LoadFourEntries(table, uv + x), LoadFourEntries(table, uv + x + 8),
                              LoadFourEntries(table, uv + x + 16), LoadFourEntries(table, uv + x + 24)};
        seen = _mm256_or_si256(seen, _mm256_or_si256(_mm256_or_si256(e[0], e[1]), _mm256_or_si256(e[2], e[3])));
        StoreThirtyTwo(out0 + 4 * static_cast<size_t>(x), ScaledLuma32(y0 + x), e);
        StoreThirtyTwo(out1 + 4 * static_cast<size_t>(x), ScaledLuma32(y1 + x), e);
    }
    alignas(32) uint8_t bytes[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(bytes), seen);
    bool irregular = false;
    for (int i = kFlagByte; i < 32; i += 8) irregular = irregular || bytes[i] != 0;
    return VectorPass{x, irregular};
}

bool CpuHasAvx2() {
#if defined(_MSC_VER)
    int info[4] = {};
    __cpuid(info, 0);
    if (info[0] < 7) return false;
    __cpuid(info, 1);
    const bool osSavesYmm = (info[2] & (1 << 27)) && (info[2] & (1 << 28)) && (_xgetbv(0) & 6) == 6;
    __cpuidex(info, 7, 0);
    return osSavesYmm && (info[1] & (1 << 5));
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");  // includes the system's saving of the YMM state
#endif
}
#endif

VectorPass ConvertColumnsVector(const uint8_t* y0, const uint8_t* y1, const uint8_t* uv, uint32_t width,
                                const ChromaTable& table, uint8_t* out0, uint8_t* out1) {
#if KESTRELON_NV12_AVX2
    static const bool avx2 = CpuHasAvx2();
    if (avx2) {
        VectorPass pass = ConvertColumnsAvx2(y0, y1, uv, width, table, out0, out1);
#if KESTRELON_NV12_SSE2
        // The 16-column tail of a width that is not a multiple of 32.
        const uint32_t rest = width - pass.done;
        if (rest >= 16) {
            const VectorPass tail = ConvertColumnsSse2(y0 + pass.done, y1 + pass.done, uv + pass.done, rest,
                                                       table, out0 + 4 * static_cast<size_t>(pass.done),
                                                       out1 + 4 * static_cast<size_t>(pass.done));
            pass.done += tail.done;
            pass.irregular = pass.irregular || tail.irregular;
        }
#endif
        return pass;
    }
#endif
#if KESTRELON_NV12_SSE2
    return ConvertColumnsSse2(y0, y1, uv, width, table, out0, out1);
#else
    (void)y0, (void)y1, (void)uv, (void)width, (void)table, (void)out0, (void)out1;
    return VectorPass{};
#endif
}

}  // namespace

int CoefficientRowOf(const StreamColour& colour) {
    constexpr uint32_t kMatrixBt709 = 1, kMatrixBt601 = 2, kMatrixSmpte240 = 3, kMatrixBt2020Ten = 4,
                       kMatrixBt2020Twelve = 5;
    constexpr uint32_t kPrimariesBt709 = 2, kPrimariesBt2020 = 9;
    // The largest standard-definition frame (576 lines, 1024 wide at 16:9).
    constexpr uint32_t kLargestSdWidth = 1024, kLargestSdHeight = 576;
    if (colour.hasMatrix) {
        switch (colour.matrix) {
            case kMatrixBt601: return 0;
            case kMatrixBt709:
            case kMatrixSmpte240: return 1;
            case kMatrixBt2020Ten:
            case kMatrixBt2020Twelve: return 2;
            default: break;  // unknown: not a description
        }
    }
    if (colour.hasPrimaries)
        return colour.primaries == kPrimariesBt709 ? 1 : (colour.primaries == kPrimariesBt2020 ? 2 : 0);
    return colour.width > kLargestSdWidth || colour.height > kLargestSdHeight ? 1 : 0;
}

const Nv12Coefficients& CoefficientsFor(int colorPrimaries) {
    return kCoefficientSets[SetIndex(colorPrimaries)];
}

size_t Nv12FrameBytes(uint32_t width, uint32_t height) {
    if (width == 0 || height == 0 || (width & 1) || (height & 1) || width > kMaxFrameSide ||
        height > kMaxFrameSide)
        return 0;
    return static_cast<size_t>(width) * height / 2 * 3;
}

uint32_t Nv12BufferStride(size_t bytes, uint32_t width, uint32_t height) {
    if (Nv12FrameBytes(width, height) == 0) return 0;
    const size_t rows = static_cast<size_t>(height) / 2 * 3;
    if (bytes % rows != 0 || bytes / rows <= width || bytes / rows > 2 * static_cast<size_t>(kMaxFrameSide))
        return width;
    return static_cast<uint32_t>(bytes / rows);
}

bool PackNv12Rows(const uint8_t* src, size_t srcBytes, uint32_t width, uint32_t height, uint32_t stride,
                  std::unique_ptr<uint8_t[]>& packed) {
    const size_t frameBytes = Nv12FrameBytes(width, height);
    const size_t rows = static_cast<size_t>(height) / 2 * 3;
    // The last row need not carry its padding.
    if (!src || frameBytes == 0 || stride < width || srcBytes < static_cast<size_t>(stride) * (rows - 1) + width)
        return false;
    packed.reset(new (std::nothrow) uint8_t[frameBytes]);
    if (!packed) return false;
    for (size_t row = 0; row < rows; ++row)
        std::memcpy(packed.get() + row * width, src + row * stride, width);
    return true;
}

size_t BgraPictureBytes(uint32_t width, uint32_t height) {
    if (Nv12FrameBytes(width, height) == 0) return 0;
    return static_cast<size_t>(width) * height * 4;
}

bool ConvertNv12Frame(const uint8_t* nv12, size_t nv12Bytes, uint32_t width, uint32_t height,
                      int colorPrimaries, uint8_t* bgra, size_t bgraBytes) {
    const size_t frameBytes = Nv12FrameBytes(width, height);
    if (!nv12 || !bgra || frameBytes == 0 || nv12Bytes < frameBytes ||
        bgraBytes < BgraPictureBytes(width, height))
        return false;
    const int set = SetIndex(colorPrimaries);
    const ChromaTable* table = ChromaTableFor(set);
    if (!table) return false;
    const Nv12Coefficients& k = kCoefficientSets[set];
    const size_t stride = width;
    const uint8_t* chroma = nv12 + stride * height;
    for (uint32_t y = 0; y < height; y += 2) {
        const uint8_t* y0 = nv12 + stride * y;
        const uint8_t* y1 = y0 + stride;
        const uint8_t* uv = chroma + stride * (y / 2);
        uint8_t* out0 = bgra + stride * 4 * y;
        uint8_t* out1 = out0 + stride * 4;
        const VectorPass pass = ConvertColumnsVector(y0, y1, uv, width, *table, out0, out1);
        if (pass.irregular) FixIrregularPairs(y0, y1, uv, pass.done, *table, k, out0, out1);
        ConvertColumnsScalar(y0, y1, uv, pass.done, width, *table, k, out0, out1);
    }
    return true;
}

bool RotatePicture(BgraPicture& picture, uint32_t rotation) {
    if (rotation != 90 && rotation != 180 && rotation != 270) return true;
    const uint32_t w = picture.width;
    const uint32_t h = picture.height;
    if (!picture.pixels || w == 0 || h == 0) return true;
    std::unique_ptr<uint8_t[]> turned(new (std::nothrow) uint8_t[static_cast<size_t>(w) * h * 4]);
    if (!turned) return false;
    const uint32_t* src = reinterpret_cast<const uint32_t*>(picture.pixels.get());
    uint32_t* dst = reinterpret_cast<uint32_t*>(turned.get());
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t* row = src + static_cast<size_t>(y) * w;
        for (uint32_t x = 0; x < w; ++x) {
            size_t to;
            if (rotation == 90)
                to = static_cast<size_t>(x) * h + (h - 1 - y);        // (H-1-y, x), H wide
            else if (rotation == 270)
                to = static_cast<size_t>(w - 1 - x) * h + y;          // (y, W-1-x), H wide
            else
                to = static_cast<size_t>(h - 1 - y) * w + (w - 1 - x);  // (W-1-x, H-1-y)
            dst[to] = row[x];
        }
    }
    picture.pixels = std::move(turned);
    if (rotation != 180) {
        picture.width = h;
        picture.height = w;
    }
    return true;
}

bool IsFillGreen(const uint8_t* px) { return px[1] >= 131 && px[0] <= 19 && px[2] <= 19; }

void FindGreenEdgeCrop(const BgraPicture& picture, uint32_t* cropWidth, uint32_t* cropHeight) {
    constexpr uint32_t kLongestBand = 50;  // a distance of 50 from the edge: at most 49 cut
    const uint32_t w = picture.width;
    const uint32_t h = picture.height;
    uint32_t keptWidth = w;
    uint32_t keptHeight = h;
    const uint8_t* p = picture.pixels.get();
    if (p) {
        for (uint32_t x = w - 1; x >= 1 && x < w; --x) {
            if (!IsFillGreen(p + 4 * static_cast<size_t>(x))) {
                if (w - x <= kLongestBand) keptWidth = x + 1;
                break;
            }
        }
        for (uint32_t y = h - 1; y >= 1 && y < h; --y) {
            if (!IsFillGreen(p + 4 * static_cast<size_t>(y) * w)) {
                if (h - y <= kLongestBand) keptHeight = y + 1;
                break;
            }
        }
    }
    if (cropWidth) *cropWidth = keptWidth;
    if (cropHeight) *cropHeight = keptHeight;
}

bool CropPicture(BgraPicture& picture, uint32_t cropWidth, uint32_t cropHeight) {
    if (!picture.pixels || cropWidth == 0 || cropHeight == 0 || cropWidth > picture.width ||
        cropHeight > picture.height)
        return false;
    if (cropWidth == picture.width && cropHeight == picture.height) return true;
    std::unique_ptr<uint8_t[]> kept(new (std::nothrow) uint8_t[static_cast<size_t>(cropWidth) * cropHeight * 4]);
    if (!kept) return false;
    for (uint32_t y = 0; y < cropHeight; ++y)
        std::memcpy(kept.get() + static_cast<size_t>(y) * cropWidth * 4,
                    picture.pixels.get() + static_cast<size_t>(y) * picture.width * 4,
                    static_cast<size_t>(cropWidth) * 4);
    picture.pixels = std::move(kept);
    picture.width = cropWidth;
    picture.height = cropHeight;
    return true;
}

bool BuildPosterPicture(const uint8_t* nv12, size_t nv12Bytes, uint32_t width, uint32_t height,
                        int colorPrimaries, uint32_t rotation, BgraPicture& out) {
    out = BgraPicture{};
    const size_t bytes = BgraPictureBytes(width, height);
    if (bytes == 0 || !nv12 || nv12Bytes < Nv12FrameBytes(width, height)) return false;
    BgraPicture picture;
    picture.pixels.reset(new (std::nothrow) uint8_t[bytes]);
    if (!picture.pixels) return false;
    picture.width = width;
    picture.height = height;
    if (!ConvertNv12Frame(nv12, nv12Bytes, width, height, colorPrimaries, picture.pixels.get(), bytes))
        return false;
    if (!RotatePicture(picture, rotation)) return false;
    uint32_t cropWidth = 0;
    uint32_t cropHeight = 0;
    FindGreenEdgeCrop(picture, &cropWidth, &cropHeight);
    if (!CropPicture(picture, cropWidth, cropHeight)) return false;
    out = std::move(picture);
    return true;
}
