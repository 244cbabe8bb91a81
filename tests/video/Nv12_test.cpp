// The poster's pixel work against the conversion formula itself, every
// (Y, U, V) under every coefficient row, and the turn and crop of the poster.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "video/Nv12.h"

namespace {

// The exhaustive checks hold the conversion to the formula with the row it is
// given; RowsFollowFromTheStandards holds each row to its standard.
using Row = Nv12Coefficients;
const Row& RowFor(int set) { return CoefficientsFor(set); }

int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// The formula as written: integer Y' truncated toward zero, then the three
// channels in double precision, truncated toward zero and limited.
void Expected(int Y, int U, int V, const Row& k, uint8_t out[4]) {
    const int yq = Clamp255((Y - 16) * 255 / 219);
    const int u = U - 128;
    const int v = V - 128;
    const double r = yq + k.a * v;
    const double g = yq - k.b * u - k.c * v;
    const double b = yq + k.d * u;
    out[0] = static_cast<uint8_t>(Clamp255(static_cast<int>(b)));
    out[1] = static_cast<uint8_t>(Clamp255(static_cast<int>(g)));
    out[2] = static_cast<uint8_t>(Clamp255(static_cast<int>(r)));
    out[3] = 255;
}

struct Frame {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> nv12;
    uint8_t* Y(uint32_t x, uint32_t y) { return &nv12[static_cast<size_t>(y) * width + x]; }
    uint8_t* UV(uint32_t x, uint32_t y) {
        return &nv12[static_cast<size_t>(width) * height + static_cast<size_t>(y / 2) * width + (x & ~1u)];
    }
};

Frame MakeFrame(uint32_t width, uint32_t height) {
    Frame f;
    f.width = width;
    f.height = height;
    f.nv12.assign(static_cast<size_t>(width) * height * 3 / 2, 0);
    return f;
}

// Compares a converted frame with the formula; returns the number of wrong pixels.
size_t CountMismatches(Frame& f, const std::vector<uint8_t>& bgra, const Row& k) {
    size_t wrong = 0;
    for (uint32_t y = 0; y < f.height; ++y)
        for (uint32_t x = 0; x < f.width; ++x) {
            uint8_t want[4];
            const uint8_t* uv = f.UV(x, y);
            Expected(*f.Y(x, y), uv[0], uv[1], k, want);
            if (std::memcmp(want, &bgra[(static_cast<size_t>(y) * f.width + x) * 4], 4) != 0) {
                if (wrong < 5)
                    ADD_FAILURE() << "pixel Y=" << int(*f.Y(x, y)) << " U=" << int(uv[0])
                                  << " V=" << int(uv[1]) << " at " << x << "," << y;
                ++wrong;
            }
        }
    return wrong;
}

// Every (Y, U, V) exactly once per coefficient row. Frame n (0..255) holds,
// for each V (a row pair) and each j (0..63), a block with
// U = (n + 37 j) mod 256 and luma j, j+64, j+128, j+192; over all frames each
// (U, V) meets all 256 lumas. blocksPerRow lays the same blocks out wide (the
// vector path, neighbouring pairs differing) or two pixels wide (the one-pixel
// path).
void CheckEveryCombination(int colorPrimaries, uint32_t blocksPerRow) {
    const uint32_t blocks = 256 * 64;
    const uint32_t width = blocksPerRow * 2;
    const uint32_t height = blocks / blocksPerRow * 2;
    Frame f = MakeFrame(width, height);
    std::vector<uint8_t> bgra(static_cast<size_t>(width) * height * 4);
    size_t wrong = 0;
    for (int n = 0; n < 256 && wrong == 0; ++n) {
        for (uint32_t i = 0; i < blocks; ++i) {
            const uint32_t v = i / 64, j = i % 64;
            const uint32_t bx = (i % blocksPerRow) * 2, by = (i / blocksPerRow) * 2;
            *f.Y(bx, by) = static_cast<uint8_t>(j);
            *f.Y(bx + 1, by) = static_cast<uint8_t>(j + 64);
            *f.Y(bx, by + 1) = static_cast<uint8_t>(j + 128);
            *f.Y(bx + 1, by + 1) = static_cast<uint8_t>(j + 192);
            f.UV(bx, by)[0] = static_cast<uint8_t>((n + 37 * j) & 255);
            f.UV(bx, by)[1] = static_cast<uint8_t>(v);
        }
        ASSERT_TRUE(ConvertNv12Frame(f.nv12.data(), f.nv12.size(), width, height, colorPrimaries,
                                     bgra.data(), bgra.size()));
        wrong += CountMismatches(f, bgra, RowFor(colorPrimaries));
    }
    EXPECT_EQ(wrong, 0u) << "coefficient row " << colorPrimaries << ", " << width << " wide";
}

TEST(Nv12, EveryCombinationStandardDefinition) { CheckEveryCombination(0, 64); }
TEST(Nv12, EveryCombinationBt709) { CheckEveryCombination(1, 64); }
TEST(Nv12, EveryCombinationBt2020) { CheckEveryCombination(2, 64); }
TEST(Nv12, EveryCombinationNarrowVectorPath) {
    for (int set = 0; set < 3; ++set) CheckEveryCombination(set, 8);
}
TEST(Nv12, EveryCombinationOnePixelPath) {
    for (int set = 0; set < 3; ++set) CheckEveryCombination(set, 2);
}

TEST(Nv12, RandomFramesOfEveryWidthMatchTheFormula) {
    std::mt19937 random(7);
    for (uint32_t width = 2; width <= 66; width += 2) {
        for (int set = 0; set < 3; ++set) {
            Frame f = MakeFrame(width, 6);
            for (uint8_t& b : f.nv12) b = static_cast<uint8_t>(random());
            std::vector<uint8_t> bgra(static_cast<size_t>(width) * 6 * 4);
            ASSERT_TRUE(ConvertNv12Frame(f.nv12.data(), f.nv12.size(), width, 6, set, bgra.data(),
                                         bgra.size()));
            EXPECT_EQ(CountMismatches(f, bgra, RowFor(set)), 0u) << width << " wide, row " << set;
        }
    }
}

// Each row from its standard's luma weights Kr and Kb (Kg = 1 - Kr - Kb): on
// Y' already stretched to full range, a = 2(1-Kr), b = 2(1-Kb)Kb/Kg,
// c = 2(1-Kr)Kr/Kg and d = 2(1-Kb), each times 255/224 for limited-range
// chroma. The three-decimal rows in use lie within 0.0011 of that (BT.709's
// c, 0.534 against 0.53291, the farthest); BT.2020's five-decimal row closer.
TEST(Nv12, RowsFollowFromTheStandards) {
    const struct {
        int primaries;
        double kr, kb, tolerance;
    } cases[] = {
        {0, 0.299, 0.114, 0.0012},     // BT.601
        {1, 0.2126, 0.0722, 0.0012},   // BT.709
        {2, 0.2627, 0.0593, 0.00001},  // BT.2020
        {-1, 0.299, 0.114, 0.0012},    // unknown values: BT.601
        {3, 0.299, 0.114, 0.0012},
        {1000, 0.299, 0.114, 0.0012},
    };
    for (const auto& c : cases) {
        const double kg = 1 - c.kr - c.kb, chroma = 255.0 / 224.0;
        const Row& k = CoefficientsFor(c.primaries);
        EXPECT_NEAR(k.a, 2 * (1 - c.kr) * chroma, c.tolerance) << c.primaries;
        EXPECT_NEAR(k.b, 2 * (1 - c.kb) * c.kb / kg * chroma, c.tolerance) << c.primaries;
        EXPECT_NEAR(k.c, 2 * (1 - c.kr) * c.kr / kg * chroma, c.tolerance) << c.primaries;
        EXPECT_NEAR(k.d, 2 * (1 - c.kb) * chroma, c.tolerance) << c.primaries;
    }
}

TEST(Nv12, RefusesFramesItCannotConvertSafely) {
    struct Case {
        uint32_t width, height;
        ptrdiff_t nv12Slack, bgraSlack;  // bytes more (or fewer) than the frame needs
        const char* what;
    };
    const Case cases[] = {
        {4, 4, 0, 0, "exact buffers"},
        {4, 4, -1, 0, "decoded buffer one byte short"},
        {4, 4, 0, -1, "picture buffer one byte short"},
        {5, 4, 64, 64, "odd width"},
        {4, 3, 64, 64, "odd height"},
        {0, 4, 64, 64, "no width (size missing from the type)"},
        {4, 0, 64, 64, "no height"},
        {kMaxFrameSide + 2, 2, 0, 0, "wider than any frame"},
    };
    for (const Case& c : cases) {
        const size_t need = static_cast<size_t>(c.width) * c.height * 3 / 2;
        const size_t out = static_cast<size_t>(c.width) * c.height * 4;
        std::vector<uint8_t> nv12(need + c.nv12Slack + 1, 16);
        std::vector<uint8_t> bgra(out + c.bgraSlack + 8, 0xAB);
        const bool ok = ConvertNv12Frame(nv12.data(), need + c.nv12Slack, c.width, c.height, 0,
                                         bgra.data(), out + c.bgraSlack);
        const bool sizeOk = c.width % 2 == 0 && c.height % 2 == 0 && c.width > 0 && c.height > 0 &&
                            c.width <= kMaxFrameSide;
        const bool expectOk = sizeOk && c.nv12Slack >= 0 && c.bgraSlack >= 0;
        EXPECT_EQ(ok, expectOk) << c.what;
        // Nothing is ever written past the picture, and nothing at all when refused.
        for (size_t i = expectOk ? out : 0; i < bgra.size(); ++i)
            ASSERT_EQ(bgra[i], 0xAB) << c.what << " byte " << i;
        BgraPicture picture;
        // The poster makes its own picture buffer: only the decoded buffer can be short.
        const bool posterOk = sizeOk && c.nv12Slack >= 0;
        EXPECT_EQ(BuildPosterPicture(nv12.data(), need + c.nv12Slack, c.width, c.height, 0, 0, picture),
                  posterOk)
            << c.what;
        EXPECT_EQ(static_cast<bool>(picture.pixels), posterOk) << c.what;
    }
    uint8_t one[8] = {};
    EXPECT_FALSE(ConvertNv12Frame(nullptr, 6, 2, 2, 0, one, sizeof one));
    EXPECT_FALSE(ConvertNv12Frame(one, 6, 2, 2, 0, nullptr, 16));
}

// Rows padded by the pipeline: the stride follows from the buffer's length,
// and packing keeps each row's pixels and drops its padding.
TEST(Nv12, PaddedRowsArePacked) {
    const struct {
        size_t bytes;
        uint32_t width, height, stride;
    } cases[] = {
        {854 * 480 * 3 / 2, 854, 480, 854},   // tight
        {856 * 480 * 3 / 2, 854, 480, 856},   // rows padded to 4 bytes
        {864 * 480 * 3 / 2, 854, 480, 864},   // rows padded to 32 bytes
        {854 * 480 * 3 / 2 + 7, 854, 480, 854},  // slack that is no whole row: tight
        {854 * 480 * 3 / 2 - 2, 854, 480, 854},  // short: judged elsewhere
        {1366 * 1080 * 3 / 2, 1366, 1080, 1366},
        {1368 * 1080 * 3 / 2, 1366, 1080, 1368},
        {100, 0, 480, 0},                     // no frame size
        {100, 5, 4, 0},                       // odd width
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " bytes, " << c.width << "x" << c.height);
        EXPECT_EQ(Nv12BufferStride(c.bytes, c.width, c.height), c.stride);
    }

    // 6 x 4 in rows of 8: each row holds its number, padding 0xEE.
    const uint32_t w = 6, h = 4, stride = 8, rows = h / 2 * 3;
    std::vector<uint8_t> padded(stride * rows, 0xEE);
    for (uint32_t r = 0; r < rows; ++r) std::memset(&padded[r * stride], static_cast<int>(r), w);
    std::unique_ptr<uint8_t[]> packed;
    ASSERT_TRUE(PackNv12Rows(padded.data(), padded.size(), w, h, stride, packed));
    for (uint32_t i = 0; i < w * rows; ++i) ASSERT_EQ(packed[i], i / w) << i;
    // The last row may end without its padding; a byte less is too short.
    EXPECT_TRUE(PackNv12Rows(padded.data(), stride * (rows - 1) + w, w, h, stride, packed));
    EXPECT_FALSE(PackNv12Rows(padded.data(), stride * (rows - 1) + w - 1, w, h, stride, packed));
    EXPECT_FALSE(PackNv12Rows(padded.data(), padded.size(), w, h, w - 2, packed));
    EXPECT_FALSE(PackNv12Rows(nullptr, padded.size(), w, h, stride, packed));
}

// ---- turning and cropping ----

BgraPicture Numbered(uint32_t w, uint32_t h) {
    BgraPicture p;
    p.width = w;
    p.height = h;
    p.pixels.reset(new uint8_t[static_cast<size_t>(w) * h * 4]);
    for (uint32_t i = 0; i < w * h; ++i) {
        p.pixels[i * 4] = static_cast<uint8_t>(i);
        p.pixels[i * 4 + 1] = 0;
        p.pixels[i * 4 + 2] = 0;
        p.pixels[i * 4 + 3] = 255;
    }
    return p;
}

std::vector<int> Numbers(const BgraPicture& p) {
    std::vector<int> n;
    for (uint32_t i = 0; i < p.width * p.height; ++i) n.push_back(p.pixels[i * 4]);
    return n;
}

TEST(PosterTurn, QuarterAndHalfTurns) {
    // Source, 3 wide and 2 high:  0 1 2
    //                             3 4 5
    struct Case {
        uint32_t rotation, width, height;
        std::vector<int> rows;
    };
    const Case cases[] = {
        {0, 3, 2, {0, 1, 2, 3, 4, 5}},
        {90, 2, 3, {3, 0, 4, 1, 5, 2}},   // clockwise
        {180, 3, 2, {5, 4, 3, 2, 1, 0}},
        {270, 2, 3, {2, 5, 1, 4, 0, 3}},  // counter-clockwise
        {45, 3, 2, {0, 1, 2, 3, 4, 5}},
        {360, 3, 2, {0, 1, 2, 3, 4, 5}},
    };
    for (const Case& c : cases) {
        BgraPicture p = Numbered(3, 2);
        ASSERT_TRUE(RotatePicture(p, c.rotation));
        EXPECT_EQ(p.width, c.width) << c.rotation;
        EXPECT_EQ(p.height, c.height) << c.rotation;
        EXPECT_EQ(Numbers(p), c.rows) << c.rotation;
    }
}

TEST(PosterTurn, Rotation90Of1920x1080IsUprightPortrait) {
    Frame f = MakeFrame(1920, 1080);
    std::memset(f.nv12.data(), 200, 1920 * 1080);                        // bright luma
    std::memset(f.nv12.data() + 1920 * 1080, 128, 1920 * 1080 / 2);     // grey chroma
    *f.Y(0, 0) = 16;                                                     // one dark corner pixel
    BgraPicture p;
    ASSERT_TRUE(BuildPosterPicture(f.nv12.data(), f.nv12.size(), 1920, 1080, 0, 90, p));
    EXPECT_EQ(p.width, 1080u);
    EXPECT_EQ(p.height, 1920u);
    // The top-left source pixel ends at the top-right after a clockwise turn.
    EXPECT_EQ(p.pixels[(1080 - 1) * 4 + 1], 0);
    EXPECT_EQ(p.pixels[1], 214);
}

// A frame of the given size whose right `greenColumns` and bottom `greenRows`
// are zero-filled NV12 (which converts to fill green) and the rest mid grey.
Frame GreenEdged(uint32_t w, uint32_t h, uint32_t greenColumns, uint32_t greenRows) {
    Frame f = MakeFrame(w, h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const bool green = x >= w - greenColumns || y >= h - greenRows;
            *f.Y(x, y) = green ? 0 : 120;
            f.UV(x, y)[0] = f.UV(x, y)[1] = green ? 0 : 128;
        }
    return f;
}

TEST(PosterCrop, GreenBandsAtTheEdges) {
    struct Case {
        uint32_t width, height, greenColumns, greenRows, wantWidth, wantHeight;
        const char* what;
    };
    const Case cases[] = {
        {1920, 1088, 0, 8, 1920, 1080, "1920x1088 with 8 zero rows"},
        {640, 360, 60, 0, 640, 360, "60 green columns are kept"},
        {640, 360, 50, 0, 640, 360, "50 green columns are kept"},
        {640, 360, 48, 0, 592, 360, "48 green columns are cut"},
        {640, 360, 2, 2, 638, 358, "2 columns and 2 rows"},
        {640, 360, 0, 0, 640, 360, "no band"},
        {64, 64, 64, 64, 64, 64, "green throughout keeps the size"},
    };
    for (const Case& c : cases) {
        Frame f = GreenEdged(c.width, c.height, c.greenColumns, c.greenRows);
        BgraPicture p;
        ASSERT_TRUE(BuildPosterPicture(f.nv12.data(), f.nv12.size(), c.width, c.height, 0, 0, p))
            << c.what;
        EXPECT_EQ(p.width, c.wantWidth) << c.what;
        EXPECT_EQ(p.height, c.wantHeight) << c.what;
    }
    // Fill green is what zeros convert to under the standard row.
    uint8_t px[4];
    Expected(0, 0, 0, RowFor(0), px);
    EXPECT_TRUE(IsFillGreen(px));
    EXPECT_EQ(px[1], 154);
}

TEST(PosterCrop, GreenTestBoundaries) {
    struct Case {
        uint8_t b, g, r;
        bool green;
    };
    const Case cases[] = {{0, 131, 0, true},   {0, 130, 0, false}, {19, 255, 19, true},
                          {20, 200, 0, false}, {0, 200, 20, false}, {0, 154, 0, true}};
    for (const Case& c : cases) {
        const uint8_t px[4] = {c.b, c.g, c.r, 255};
        EXPECT_EQ(IsFillGreen(px), c.green) << int(c.b) << "," << int(c.g) << "," << int(c.r);
    }
}

TEST(PosterCrop, ScansOnlyTheTopRowAndLeftColumn) {
    // Green only at the right of the bottom row and the bottom of the right
    // column: the top row and left column are not green, nothing is cut.
    BgraPicture p = Numbered(8, 8);
    for (uint32_t i = 1; i < 8; ++i) {
        uint8_t* bottom = &p.pixels[(7 * 8 + i) * 4];
        uint8_t* right = &p.pixels[(i * 8 + 7) * 4];
        bottom[0] = right[0] = 0;
        bottom[1] = right[1] = 154;
    }
    uint32_t w = 0, h = 0;
    FindGreenEdgeCrop(p, &w, &h);
    EXPECT_EQ(w, 8u);
    EXPECT_EQ(h, 8u);
    BgraPicture one = Numbered(1, 1);
    one.pixels[1] = 154;
    one.pixels[0] = 0;
    FindGreenEdgeCrop(one, &w, &h);
    EXPECT_EQ(w, 1u);
    EXPECT_EQ(h, 1u);
}

TEST(PosterCrop, CropRefusesToGrow) {
    BgraPicture p = Numbered(4, 4);
    EXPECT_FALSE(CropPicture(p, 5, 4));
    EXPECT_FALSE(CropPicture(p, 4, 0));
    ASSERT_TRUE(CropPicture(p, 2, 3));
    EXPECT_EQ(p.width, 2u);
    EXPECT_EQ(p.height, 3u);
    EXPECT_EQ(Numbers(p), (std::vector<int>{0, 1, 4, 5, 8, 9}));
}

TEST(PosterCrop, BlackFrameIsOpaqueBlack) {
    Frame f = MakeFrame(32, 18);
    std::memset(f.nv12.data(), 16, 32 * 18);
    std::memset(f.nv12.data() + 32 * 18, 128, 32 * 18 / 2);
    for (int set = 0; set < 3; ++set) {
        BgraPicture p;
        ASSERT_TRUE(BuildPosterPicture(f.nv12.data(), f.nv12.size(), 32, 18, set, 0, p));
        ASSERT_EQ(p.width, 32u);
        ASSERT_EQ(p.height, 18u);
        for (uint32_t i = 0; i < 32 * 18; ++i) {
            const uint8_t* px = &p.pixels[i * 4];
            ASSERT_TRUE(px[0] == 0 && px[1] == 0 && px[2] == 0 && px[3] == 255) << "pixel " << i;
        }
    }
}

}  // namespace
