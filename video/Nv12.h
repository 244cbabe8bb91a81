#pragma once
// The poster frame's pixel work: NV12 to BGRA, the upright turn and the crop of
// the green fill band at the right and bottom edges.
//
// Conversion contract, for every pixel (x, y) of a width x height NV12 frame
// (luma plane, stride width, then the interleaved U V plane, stride width,
// height / 2 rows):
//   Y' = (Y - 16) * 255 / 219 in integers, truncated toward zero, limited to 0..255
//   U' = U - 128, V' = V - 128 of the pixel's 2 x 2 block
//   R = Y' + a*V',  G = Y' - b*U' - c*V',  B = Y' + d*U'
// evaluated in double precision in that order, each truncated toward zero and
// limited to 0..255; alpha is 255. The result equals that formula for every
// (Y, U, V); the work is done with exact integer offsets per chroma pair, and
// with the formula itself for the few pairs whose offset is not the same for
// every Y'.
//
// Every entry point checks its buffer sizes and refuses (false, nothing
// written) rather than read or write outside a buffer.
// Pure: no Windows types.
#include <cstddef>
#include <cstdint>
#include <memory>

// One row of coefficients: R = Y' + a V', G = Y' - b U' - c V', B = Y' + d U'.
struct Nv12Coefficients {
    double a, b, c, d;
};

// colorPrimaries 0 (standard definition), 1 (BT.709), 2 (BT.2020); any other
// value gives the standard-definition row.
const Nv12Coefficients& CoefficientsFor(int colorPrimaries);

// What a video stream's media types say about its colour, for choosing the
// coefficient row. The values are Media Foundation's: MFVideoTransferMatrix
// for `matrix` (BT.709 1, BT.601 2, SMPTE 240M 3, BT.2020 4 and 5) and
// MFVideoPrimaries for `primaries` (BT.709 2, BT.2020 9).
struct StreamColour {
    bool hasMatrix = false;
    uint32_t matrix = 0;
    bool hasPrimaries = false;
    uint32_t primaries = 0;
    uint32_t width = 0, height = 0;
};

// The coefficient row (colorPrimaries) for a stream. The matrix says how
// Y'CbCr was made from R'G'B', so it decides where it names one: BT.601 0,
// BT.709 and SMPTE 240M 1 (240M's weights are within 0.001 of BT.709's),
// BT.2020 2. Otherwise (no matrix, or an unknown one) the primaries, as
// before: BT.709 1, BT.2020 2, any other value 0. Without either, the frame
// size: larger than standard definition (1024 x 576) 1, else 0.
int CoefficientRowOf(const StreamColour& colour);

// Bytes of an NV12 frame and of a BGRA picture of the given size; 0 when the
// size cannot be a frame (zero or odd width or height, or larger than
// kMaxFrameSide on a side).
constexpr uint32_t kMaxFrameSide = 16384;
size_t Nv12FrameBytes(uint32_t width, uint32_t height);
size_t BgraPictureBytes(uint32_t width, uint32_t height);

// The distance in bytes between the rows of an NV12 frame of width x height
// that fills a buffer of `bytes` bytes: width, unless the buffer holds exactly
// height * 3 / 2 rows of a longer stride, as a pipeline that pads each row
// (to 4 bytes, say) delivers it. 0 when the size cannot be a frame.
uint32_t Nv12BufferStride(size_t bytes, uint32_t width, uint32_t height);

// Copies an NV12 frame whose rows lie `stride` bytes apart into a tightly
// packed frame (stride width). False when the size is refused, the stride is
// shorter than the width, or `src` is shorter than the frame it describes.
bool PackNv12Rows(const uint8_t* src, size_t srcBytes, uint32_t width, uint32_t height, uint32_t stride,
                  std::unique_ptr<uint8_t[]>& packed);

// Converts one frame. False (nothing written) when the size is refused by
// Nv12FrameBytes or either buffer is shorter than the frame needs.
bool ConvertNv12Frame(const uint8_t* nv12, size_t nv12Bytes, uint32_t width, uint32_t height,
                      int colorPrimaries, uint8_t* bgra, size_t bgraBytes);

// A tightly packed BGRA picture (stride width * 4).
struct BgraPicture {
    std::unique_ptr<uint8_t[]> pixels;
    uint32_t width = 0;
    uint32_t height = 0;
};

// Turns `picture` upright for the stream's rotation: 90 is a quarter turn
// clockwise ((x, y) goes to (H-1-y, x) in an H x W picture), 270 a quarter turn
// counter-clockwise ((x, y) to (y, W-1-x)), 180 a half turn; any other value
// leaves it as it is. False only when the turned buffer cannot be allocated
// (the picture is then unchanged).
bool RotatePicture(BgraPicture& picture, uint32_t rotation);

// A pixel of the green that a zero-filled NV12 area converts to:
// G >= 131, B <= 19, R <= 19 (bytes B, G, R, A).
bool IsFillGreen(const uint8_t* bgraPixel);

// The size that cuts away a green fill band of at most 49 columns at the right
// (judged on the top row) and 49 rows at the bottom (judged on the left
// column). A band of 50 or more, no band, a picture green throughout or a side
// of 1 keeps that side.
void FindGreenEdgeCrop(const BgraPicture& picture, uint32_t* cropWidth, uint32_t* cropHeight);

// Keeps the top-left cropWidth x cropHeight pixels. False (unchanged) when the
// crop is larger than the picture or the buffer cannot be allocated.
bool CropPicture(BgraPicture& picture, uint32_t cropWidth, uint32_t cropHeight);

// The whole poster: convert, turn upright, crop. False when the frame is
// refused (see ConvertNv12Frame) or memory runs out; `out` is then empty.
bool BuildPosterPicture(const uint8_t* nv12, size_t nv12Bytes, uint32_t width, uint32_t height,
                        int colorPrimaries, uint32_t rotation, BgraPicture& out);
