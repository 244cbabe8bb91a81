#include "image/AreaReduction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "image/Orientation.h"

namespace {

// A width x height picture of 4-byte pixels, rows packed.
struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> bytes;
};

// Reduced through the portable or the vector loops; from the 4-byte pixels,
// or (opaqueBgr) from only their first three bytes, rows `pad` bytes apart
// beyond the pixels.
Picture Reduce(const Picture& source, uint32_t width, uint32_t height, uint32_t stripRows,
               bool portable = true, bool opaqueBgr = false, size_t pad = 0) {
    Picture out{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 4, 0xEE)};
    const size_t pixelBytes = opaqueBgr ? 3 : 4, stride = source.width * pixelBytes + pad;
    std::vector<uint8_t> rows(stride * source.height);
    for (size_t i = 0; i < static_cast<size_t>(source.width) * source.height; ++i)
        std::memcpy(&rows[i / source.width * stride + i % source.width * pixelBytes], &source.bytes[i * 4],
                    pixelBytes);
    AreaReduction reduction;
    EXPECT_TRUE(BeginAreaReduction(reduction, source.width, source.height, width, height));
    reduction.portable = portable;
    for (uint32_t first = 0; first < source.height; first += stripRows) {
        const uint32_t count = std::min(stripRows, source.height - first);
        // Each strip in a buffer of its own, as long as its rows and no longer:
        // a read past its end is a fault the sanitizers see.
        const std::vector<uint8_t> strip(rows.begin() + first * stride,
                                         rows.begin() + (first + count) * stride - pad);
        (opaqueBgr ? ReduceOpaqueBgrRows : ReduceAreaRows)(reduction, strip.data(), stride, count,
                                                           out.bytes.data(), width * 4);
    }
    return out;
}

// One channel value per pixel, the same in all four channels.
Picture Grey(uint32_t width, uint32_t height, std::vector<int> values) {
    Picture p{width, height, {}};
    for (int v : values)
        for (int c = 0; c < 4; ++c) p.bytes.push_back(static_cast<uint8_t>(v));
    return p;
}

std::vector<int> FirstChannel(const Picture& p) {
    std::vector<int> out;
    for (size_t i = 0; i < p.bytes.size(); i += 4) out.push_back(p.bytes[i]);
    return out;
}

TEST(AreaReduction, AveragesWhatEachPixelCovers) {
    struct Case {
        const char* what;
        uint32_t sw, sh;
        std::vector<int> source;
        uint32_t tw, th;
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"same size: a copy", 3, 1, {0, 77, 255}, 3, 1, {0, 77, 255}},
        {"halves: pairs averaged", 4, 1, {0, 255, 10, 20}, 2, 1, {128, 15}},
        {"one-pixel stripes become flat grey, not a pattern", 6, 2,
         {0, 255, 0, 255, 0, 255, 0, 255, 0, 255, 0, 255}, 3, 1, {128, 128, 128}},
        // 3 -> 2: the middle pixel is split between both targets.
        {"thirds across", 3, 1, {0, 90, 240}, 2, 1, {30, 190}},
        {"thirds down", 1, 3, {0, 90, 240}, 1, 2, {30, 190}},
        {"to one pixel", 2, 2, {10, 20, 30, 41}, 1, 1, {25}},
        {"5 -> 2 both ways", 5, 2, {0, 0, 100, 200, 200, 0, 0, 100, 200, 200}, 2, 1, {20, 180}},
    };
    for (const Case& c : cases) {
        for (uint32_t strip : {1u, 2u, 64u}) {
            SCOPED_TRACE(testing::Message() << c.what << ", strips of " << strip);
            const Picture out = Reduce(Grey(c.sw, c.sh, c.source), c.tw, c.th, strip);
            EXPECT_EQ(FirstChannel(out), c.expected);
        }
    }
}

TEST(AreaReduction, VectorLoopsAndOpaqueRowsGiveThePortableBytes) {
    // Random pictures of random sizes, and the sizes where the paired loads
    // reach the end of a row or the sums their largest: the vector loops, and
    // the 3-byte rows of an opaque picture, give the portable loops' bytes.
    struct Case {
        uint32_t sw, sh, tw, th, strip;
    };
    std::vector<Case> cases = {{1, 1, 1, 1, 1},       {2, 1, 1, 1, 1},        {3, 2, 2, 1, 64},
                               {5, 5, 5, 5, 3},       {7, 3, 2, 2, 2},        {9, 1, 4, 1, 1},
                               {6000, 2, 1620, 1, 1}, {4000, 9, 1440, 3, 4},  {333, 700, 1, 1, 64},
                               {700, 333, 699, 1, 7}, {65, 63, 64, 62, 64},   {2000, 3, 3, 2, 2}};
    std::mt19937 random(24);
    for (int n = 0; n < 40; ++n) {
        const uint32_t sw = 1 + random() % 300, sh = 1 + random() % 120;
        cases.push_back({sw, sh, 1 + static_cast<uint32_t>(random() % sw),
                         1 + static_cast<uint32_t>(random() % sh), 1 + static_cast<uint32_t>(random() % 70)});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sw << "x" << c.sh << " to " << c.tw << "x" << c.th);
        Picture source{c.sw, c.sh, std::vector<uint8_t>(static_cast<size_t>(c.sw) * c.sh * 4)};
        for (uint8_t& b : source.bytes) b = static_cast<uint8_t>(random());
        const Picture portable = Reduce(source, c.tw, c.th, c.strip);
        EXPECT_EQ(Reduce(source, c.tw, c.th, c.strip, false).bytes, portable.bytes);
        for (size_t i = 3; i < source.bytes.size(); i += 4) source.bytes[i] = 255;
        const Picture opaque = Reduce(source, c.tw, c.th, c.strip);
        for (bool portableLoops : {true, false})
            for (size_t pad : {0, 5})
                EXPECT_EQ(Reduce(source, c.tw, c.th, c.strip, portableLoops, true, pad).bytes, opaque.bytes)
                    << (portableLoops ? "portable" : "vector") << " BGR, pad " << pad;
    }
}

TEST(AreaReduction, RoundsHalvesUpAtLargeAreas) {
    // One column of an odd, large number of rows shrunk to one pixel: k rows
    // one step brighter put the mean just below, at and just above a half,
    // where a quotient taken through a reciprocal would slip by one.
    const uint32_t rows = 999999;
    struct Case {
        uint32_t brighter;
        int expected;
    };
    const Case cases[] = {{rows / 2, 100}, {rows / 2 + 1, 101}, {0, 100}, {rows, 101}, {rows - 1, 101}, {1, 100}};
    for (const Case& c : cases) {
        Picture column{1, rows, std::vector<uint8_t>(size_t{rows} * 4, 100)};
        for (uint32_t i = 0; i < c.brighter; ++i) column.bytes[size_t{i} * 4 + 1] = 101;
        for (bool portable : {true, false})
            EXPECT_EQ(Reduce(column, 1, 1, 4096, portable).bytes[1], c.expected) << c.brighter;
    }
}

TEST(AreaReduction, RefusesToEnlargeOrEmpty) {
    AreaReduction reduction;
    EXPECT_FALSE(BeginAreaReduction(reduction, 4, 4, 5, 4));
    EXPECT_FALSE(BeginAreaReduction(reduction, 4, 4, 4, 5));
    EXPECT_FALSE(BeginAreaReduction(reduction, 4, 4, 0, 2));
    EXPECT_TRUE(BeginAreaReduction(reduction, 4, 4, 4, 4));
}

TEST(AreaReduction, ReducingThenTurningIsTurningThenReducing) {
    // An asymmetric picture whose every channel differs: a reduction made
    // before the EXIF turn must equal the one made after it, for every turn.
    const uint32_t w = 23, h = 17, tw = 9, th = 7;
    Picture source{w, h, std::vector<uint8_t>(w * h * 4)};
    std::mt19937 random(7);
    for (uint8_t& b : source.bytes) b = static_cast<uint8_t>(random());
    for (uint32_t orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const uint32_t transform = OrientationTransform(orientation);
        const bool swap = TransformSwapsAxes(transform);
        auto turn = [&](const Picture& p) {
            Picture out{swap ? p.height : p.width, swap ? p.width : p.height,
                        std::vector<uint8_t>(p.bytes.size())};
            TransformPixelRows(p.bytes.data(), p.width * 4, p.width, p.height, 0, p.height, transform,
                               out.bytes.data(), out.width * 4);
            return out;
        };
        const Picture reducedFirst = turn(Reduce(source, tw, th, 5));
        const Picture turned = turn(source);
        const Picture turnedFirst = Reduce(turned, swap ? th : tw, swap ? tw : th, 3);
        ASSERT_EQ(reducedFirst.width, turnedFirst.width);
        EXPECT_EQ(reducedFirst.bytes, turnedFirst.bytes);
    }
}

}  // namespace
