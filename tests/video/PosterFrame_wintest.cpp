// The poster frame from real clips: the first frame, converted, as a WIC
// bitmap of the right size and colour; nothing for a file without video.
#include <mferror.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "app/DrawingResources.h"
#include "tests/video/FakeSourceReader.h"

#include "tests/video/VideoFixture.h"
#include "video/MediaSource.h"
#include "video/PosterFrame.h"

namespace {

using PosterFrameTest = videotest::VideoTest;

// The poster as the program makes it: read on its worker from the file the
// state names, then taken in. True when the read ended (poster or not).
bool MadePoster(PlayerState& state) {
    BeginPosterFrame(state);
    return CollectPosterFrame(state, 20000);
}

// The BGRA bytes of one pixel of the poster.
std::vector<uint8_t> PosterPixel(IWICBitmap* bitmap, UINT x, UINT y) {
    std::vector<uint8_t> px(4);
    WICRect one{static_cast<INT>(x), static_cast<INT>(y), 1, 1};
    bitmap->CopyPixels(&one, 4, 4, px.data());
    return px;
}

TEST_F(PosterFrameTest, FirstFrameOfAFlatClip) {
    const struct {
        const char* size;
        UINT width, height;
    } cases[] = {{"320x180", 320, 180}, {"854x480", 854, 480}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        const std::wstring clip = testclips::FlatColour(c.size);
        REQUIRE_CLIP(clip);
        PlayerState& state = Fresh(clip);
        EXPECT_TRUE(MadePoster(state));
        ASSERT_NE(state.posterBitmap, nullptr);
        EXPECT_EQ(state.posterWidth, c.width);
        EXPECT_EQ(state.posterHeight, c.height);
        UINT w = 0, h = 0;
        state.posterBitmap->GetSize(&w, &h);
        EXPECT_EQ(w, c.width);
        EXPECT_EQ(h, c.height);
        WICPixelFormatGUID format{};
        state.posterBitmap->GetPixelFormat(&format);
        EXPECT_TRUE(format == GUID_WICPixelFormat32bppPBGRA);
        // The clip was made from R 48, G 80, B 192; encoding and the conversion
        // each round a little. Corners and centre alike: no green band was
        // left, and rows are not skewed.
        const UINT r = c.width - 1, b = c.height - 1;
        for (auto [x, y] : {std::pair<UINT, UINT>{c.width / 2, c.height / 2}, {0, 0}, {r, b}, {r, 0}, {0, b}}) {
            const std::vector<uint8_t> px = PosterPixel(state.posterBitmap, x, y);
            EXPECT_NEAR(px[0], 192, 8) << x << "," << y;
            EXPECT_NEAR(px[1], 80, 8) << x << "," << y;
            EXPECT_NEAR(px[2], 48, 8) << x << "," << y;
            EXPECT_EQ(px[3], 255);
        }
    }
}

// An HD clip encoded and tagged BT.709 (under Wine the tags do not reach the
// media types, and the HD size decides): the poster takes the BT.709 row and
// shows the colour the clip was made from (the standard row would turn this
// red into about R 186, G 23, B 42).
TEST_F(PosterFrameTest, Bt709ClipKeepsItsColours) {
    const std::wstring clip = testclips::FlatColourBt709();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    EXPECT_TRUE(MadePoster(state));
    EXPECT_EQ(state.colorPrimaries, 1);
    ASSERT_NE(state.posterBitmap, nullptr);
    const std::vector<uint8_t> px = PosterPixel(state.posterBitmap, 640, 360);
    EXPECT_NEAR(px[0], 40, 6);
    EXPECT_NEAR(px[1], 40, 6);
    EXPECT_NEAR(px[2], 200, 6);
}

TEST_F(PosterFrameTest, MisnamedFileGetsItsPosterThroughTheHint) {
    const std::wstring clip = testclips::FlatColour();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    // The bytes come from the real file; the name only guides the choice of source.
    wcscpy_s(state.filePath, L"Z:\\no\\such\\folder\\clip.mp4");
    EXPECT_TRUE(MadePoster(state));
    EXPECT_NE(state.posterBitmap, nullptr);
}

// No poster from a file the pipeline reads without finding a picture, nor
// from one that gives no media source at all.
TEST_F(PosterFrameTest, NoPosterWithoutVideo) {
    const std::wstring clip = testclips::AudioOnly();
    REQUIRE_CLIP(clip);
    PlayerState& state = Fresh(clip);
    EXPECT_TRUE(MadePoster(state));
    EXPECT_EQ(state.posterBitmap, nullptr);
    wcscpy_s(state.diskPath, L"Z:\\no\\such\\file.mp4");
    wcscpy_s(state.filePath, state.diskPath);
    EXPECT_TRUE(MadePoster(state));
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

// The type the poster asks for (NV12) says nothing about colour: the row
// comes from the stream's output type, else its native type, else from the
// frame size (HD is BT.709). Y 120, U 90, V 200 gives R 235 with the standard
// row, 250 with the BT.709 row and 241 (121 + 1.67867 * 72) with the BT.2020 row.
TEST(PosterRead, CoefficientRowComesFromTheStream) {
    videotest::StartPlatformOnce();
    const struct {
        const char* what;
        UINT32 width, height, current, native;
        int32_t row;
        uint8_t red;
        UINT32 currentMatrix, nativeMatrix;  // MF_MT_YUV_MATRIX, 0: none
    } cases[] = {
        {"no primaries anywhere", 16, 8, 0, 0, 0, 235},
        {"BT.709 on the output type", 16, 8, MFVideoPrimaries_BT709, 0, 1, 250},
        {"BT.709 on the native type", 16, 8, 0, MFVideoPrimaries_BT709, 1, 250},
        {"BT.2020 on the native type", 16, 8, 0, MFVideoPrimaries_BT2020, 2, 241},
        {"the output type first", 16, 8, MFVideoPrimaries_BT709, MFVideoPrimaries_BT2020, 1, 250},
        {"BT.601 primaries", 16, 8, 0, MFVideoPrimaries_SMPTE170M, 0, 235},
        {"SD frame without primaries", 1024, 576, 0, 0, 0, 235},
        {"HD frame without primaries", 1280, 720, 0, 0, 1, 250},
        {"HD frame tagged BT.601", 1280, 720, 0, MFVideoPrimaries_SMPTE170M, 0, 235},
        // The matrix says how the stream's Y'CbCr was made: it decides.
        {"BT.601 matrix over BT.709 primaries", 1280, 720, MFVideoPrimaries_BT709, 0, 0, 235, 0,
         MFVideoTransferMatrix_BT601},
        {"BT.709 matrix over BT.2020 primaries", 16, 8, 0, MFVideoPrimaries_BT2020, 1, 250,
         MFVideoTransferMatrix_BT709, 0},
        {"BT.2020 matrix on the native type", 16, 8, MFVideoPrimaries_BT709, 0, 2, 241, 0,
         MFVideoTransferMatrix_BT2020_10},
        {"SMPTE 240M matrix on an SD frame", 16, 8, 0, 0, 1, 250, MFVideoTransferMatrix_SMPTE240M, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto* reader = new FakeSourceReader();
        reader->width = reader->stride = c.width;
        reader->height = c.height;
        reader->currentPrimaries = c.current;
        reader->nativePrimaries = c.native;
        reader->currentMatrix = c.currentMatrix;
        reader->nativeMatrix = c.nativeMatrix;
        PlayerState state;
        state.colorPrimaries = 7;
        EXPECT_TRUE(ReadPosterFrame(state, reader, 10000));
        EXPECT_TRUE(reader->askedForNv12.load());
        EXPECT_EQ(state.colorPrimaries, c.row);
        ASSERT_NE(state.posterBitmap, nullptr);
        EXPECT_EQ(PosterPixel(state.posterBitmap, 3, 3)[2], c.red);
        SafeRelease(&state.posterBitmap);
        reader->Release();
    }
}

// Frames whose width is not a multiple of 4 can arrive with rows padded to 4
// bytes; the poster follows the rows, not the width.
TEST(PosterRead, PaddedRowsKeepTheirPicture) {
    videotest::StartPlatformOnce();
    const struct {
        UINT32 width, height, stride;
    } cases[] = {{18, 8, 20}, {16, 8, 16}, {854, 480, 856}, {426, 270, 428}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " in rows of " << c.stride);
        auto* reader = new FakeSourceReader();
        reader->width = c.width;
        reader->height = c.height;
        reader->stride = c.stride;
        PlayerState state;
        EXPECT_TRUE(ReadPosterFrame(state, reader, 10000));
        ASSERT_NE(state.posterBitmap, nullptr);
        EXPECT_EQ(state.posterWidth, c.width);
        EXPECT_EQ(state.posterHeight, c.height);
        const std::vector<uint8_t> corner = PosterPixel(state.posterBitmap, 0, 0);
        for (auto [x, y] : {std::pair<UINT, UINT>{c.width - 1, 0}, {c.width - 1, c.height - 1},
                            {0, c.height - 1}, {c.width / 2, c.height / 2}})
            EXPECT_EQ(PosterPixel(state.posterBitmap, x, y), corner) << x << "," << y;
        SafeRelease(&state.posterBitmap);
        reader->Release();
    }
}

// A decoder that will not give NV12: its frames are not read as NV12 anyway.
TEST(PosterRead, DecoderWithoutNv12GivesNoPoster) {
    videotest::StartPlatformOnce();
    auto* reader = new FakeSourceReader();
    reader->setTypeResult = MF_E_INVALIDMEDIATYPE;
    PlayerState state;
    EXPECT_TRUE(ReadPosterFrame(state, reader, 10000));  // the read ended: nothing is stuck
    EXPECT_EQ(state.posterBitmap, nullptr);
    EXPECT_EQ(reader->readsDone.load(), 0);
    SafeRelease(&state.posterBitmap);
    reader->Release();
}

// A decoder that never delivers the first frame: the read is given up on
// within its limit (the gate is still shut when it returns), the pipeline
// counts as stuck, and the late frame changes nothing in the state.
TEST(PosterRead, StalledFirstFrameIsGivenUp) {
    videotest::StartPlatformOnce();
    auto* reader = new FakeSourceReader();
    const HANDLE gate = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE reading = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    reader->reading = reading;
    reader->readGate = gate;
    // Opens the gate once the read returned, or after 20 s for a read that
    // waits without a limit (which then fails below instead of hanging).
    std::atomic<bool> openedBeforeReturn{false};
    std::thread keeper([&] {
        if (WaitForSingleObject(returned, 20000) != WAIT_OBJECT_0) openedBeforeReturn = true;
        SetEvent(gate);
    });
    PlayerState state;

    const bool finished = ReadPosterFrame(state, reader, 300);
    SetEvent(returned);
    keeper.join();

    EXPECT_FALSE(finished);
    EXPECT_FALSE(openedBeforeReturn.load()) << "the read waited for the stalled decoder";
    EXPECT_EQ(WaitForSingleObject(reading, 0), WAIT_OBJECT_0) << "the read had begun";
    EXPECT_TRUE(VideoPipelineStuck());
    // The abandoned worker finishes now that the gate is open, into its own record.
    for (int i = 0; i < 500 && reader->readsDone.load() == 0; ++i) Sleep(10);
    EXPECT_EQ(reader->readsDone.load(), 1);
    Sleep(50);
    EXPECT_EQ(state.posterBitmap, nullptr);
    reader->Release();
    CloseHandle(gate);
    CloseHandle(reading);
    CloseHandle(returned);
}

}  // namespace
