#pragma once
// Turning photographs upright: the EXIF orientation table, a reader for the
// orientation stored in a JPEG's own Exif block, and the turn itself applied
// to 32-bit pixels. Pure: standard library only.
#include <cstddef>
#include <cstdint>

// The values of WIC's WICBitmapTransformOptions, repeated here so the rules
// stay Windows-free (the Windows side checks they agree). Rotations are
// clockwise. A combined value flips first and then rotates the flipped
// picture, as IWICBitmapFlipRotator does ("the flip is done before the
// rotation"), so our own turn and the platform's give the same picture.
constexpr uint32_t kTransformRotate0 = 0;
constexpr uint32_t kTransformRotate90 = 1;
constexpr uint32_t kTransformRotate180 = 2;
constexpr uint32_t kTransformRotate270 = 3;
constexpr uint32_t kTransformFlipHorizontal = 8;
constexpr uint32_t kTransformFlipVertical = 16;

// EXIF tag 274 to the transform that shows the picture upright:
// 1 -> 0, 2 -> 8, 3 -> 2, 4 -> 16, 5 -> 11, 6 -> 1, 7 -> 9, 8 -> 3; any other
// value (0, 9 and above) -> 0 (as stored).
uint32_t OrientationTransform(uint32_t orientation);

// True when the transform turns by 90 or 270 degrees (width and height swap).
bool TransformSwapsAxes(uint32_t transform);

// Orientation from a JPEG file's first bytes: the first APP1 segment that
// starts with "Exif\0\0" before the scan data, its TIFF header (either byte
// order), IFD0, tag 274 stored as one SHORT. True with *orientation set when
// such an entry exists; false for anything else (not a JPEG, no Exif block,
// another type or count, a segment or table running past `size`). Never reads
// outside data[0, size).
bool ReadJpegExifOrientation(const uint8_t* data, size_t size, uint16_t* orientation);

// Applies `transform` to a strip of a width x height picture of 4-byte pixels:
// the source rows firstRow to firstRow + rowCount - 1, held in `rows` (row
// stride rowStride bytes, first held row = firstRow), land where the turned
// picture has them in `target` (targetStride bytes per row; the target is
// height x width when the transform swaps axes, else width x height). Calling
// it for consecutive strips covering every row fills the whole target.
void TransformPixelRows(const uint8_t* rows, size_t rowStride, uint32_t width, uint32_t height,
                        uint32_t firstRow, uint32_t rowCount, uint32_t transform, uint8_t* target,
                        size_t targetStride);
