// The poster frame from real clips: the first frame, converted, as a WIC
// bitmap of the right size and colour; nothing for a file without video.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/video/VideoFixture.h"
#include "video/PosterFrame.h"

namespace {

using PosterFrameTest = videotest::VideoTest;

// The BGRA bytes of one pixel of the poster.
std::vector<uint8_t> PosterPixel(IWICBitmap* bitmap, UINT x, UINT y) {
    std::vector<uint8_t> px(4);
    WICRect one{static_cast<INT>(x), static_cast<INT>(y), 1, 1};
    bitmap->CopyPixels(&one, 4, 4, px.data());
    return px;
}

TEST_F(PosterFrameTest, FirstFrameOfAFlatClip) {
    const std::wstring clip = testclips::FlatColour();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    EXPECT_TRUE(MakePosterFrame(state, state.diskPath, state.filePath));
    ASSERT_NE(state.posterBitmap, nullptr);
    EXPECT_EQ(state.posterWidth, 320u);
    EXPECT_EQ(state.posterHeight, 180u);
    UINT w = 0, h = 0;
    state.posterBitmap->GetSize(&w, &h);
    EXPECT_EQ(w, 320u);
    EXPECT_EQ(h, 180u);
    WICPixelFormatGUID format{};
    state.posterBitmap->GetPixelFormat(&format);
    EXPECT_TRUE(format == GUID_WICPixelFormat32bppPBGRA);
    // The clip was made from R 48, G 80, B 192; encoding and the conversion
    // each round a little. Corners and centre alike: no green band was left.
    for (auto [x, y] : {std::pair<UINT, UINT>{160, 90}, {0, 0}, {319, 179}, {319, 0}, {0, 179}}) {
        const std::vector<uint8_t> px = PosterPixel(state.posterBitmap, x, y);
        EXPECT_NEAR(px[0], 192, 8) << x << "," << y;
        EXPECT_NEAR(px[1], 80, 8) << x << "," << y;
        EXPECT_NEAR(px[2], 48, 8) << x << "," << y;
        EXPECT_EQ(px[3], 255);
    }
}

TEST_F(PosterFrameTest, MisnamedFileGetsItsPosterThroughTheHint) {
    const std::wstring clip = testclips::FlatColour();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    // The bytes come from the real file; the name only guides the choice of source.
    EXPECT_TRUE(MakePosterFrame(state, state.diskPath, L"Z:\\no\\such\\folder\\clip.mp4"));
    EXPECT_NE(state.posterBitmap, nullptr);
}

TEST_F(PosterFrameTest, NoPosterWithoutVideo) {
    const std::wstring clip = testclips::AudioOnly();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    EXPECT_TRUE(MakePosterFrame(state, clip.c_str(), clip.c_str()));
    EXPECT_EQ(state.posterBitmap, nullptr);
    EXPECT_TRUE(MakePosterFrame(state, L"Z:\\no\\such\\file.mp4", L"Z:\\no\\such\\file.mp4"));
    EXPECT_EQ(state.posterBitmap, nullptr);
}

TEST(PosterConversion, UsesTheStatesCoefficientRow) {
    // One 2x2 block, Y 120, U 90, V 200: the rows differ in R.
    const uint8_t nv12[6] = {120, 120, 120, 120, 90, 200};
    PlayerState state;
    uint8_t standard[16], bt709[16];
    state.colorPrimaries = 0;
    ASSERT_TRUE(ConvertNv12ToBgra(state, nv12, sizeof nv12, 2, 2, standard, sizeof standard));
    state.colorPrimaries = 1;
    ASSERT_TRUE(ConvertNv12ToBgra(state, nv12, sizeof nv12, 2, 2, bt709, sizeof bt709));
    // Y' = (120 - 16) * 255 / 219 = 121 and V' = 72: R = 121 + 1.596 * 72 = 235.9
    // in the standard row and 121 + 1.793 * 72 = 250.1 in the BT.709 row.
    EXPECT_EQ(standard[2], 235);
    EXPECT_EQ(bt709[2], 250);
    EXPECT_FALSE(ConvertNv12ToBgra(state, nv12, 5, 2, 2, bt709, sizeof bt709));
}

}  // namespace
