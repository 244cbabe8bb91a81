#pragma once
// Shrinking a picture by area averaging: each target pixel is the mean of the
// source area it covers, partly covered source pixels counting by the part
// covered. This is the reduction used where the platform's scaler only
// samples points. Pure: standard library only.
//
// Weights are exact integers (a source pixel is targetWidth x targetHeight
// units, a target pixel sourceWidth x sourceHeight units), so the result does
// not depend on the order of the axes or on a mirror: reducing a turned or
// flipped picture gives the turned or flipped reduction, to the bit.
#include <cstddef>
#include <cstdint>
#include <vector>

// The state of one reduction, fed source rows in order, strip by strip; it
// holds two target rows of sums, never the source picture.
struct AreaReduction {
    uint32_t sourceWidth = 0, sourceHeight = 0;
    uint32_t targetWidth = 0, targetHeight = 0;
    uint32_t nextSourceRow = 0;
    uint32_t pendingRow = 0;  // the first target row not yet written
    // Per target column: its first source column, and where its run of
    // weights starts in `weights` (targetWidth + 1 entries).
    std::vector<uint32_t> firstColumn;
    std::vector<uint32_t> weightStart;
    std::vector<uint32_t> weights;
    std::vector<uint32_t> rowSums;   // one source row reduced across, 4 per target column
    std::vector<uint64_t> sums[2];   // target rows pendingRow and pendingRow + 1
};

// Prepares a reduction of a sourceWidth x sourceHeight picture of 4-byte
// pixels (four 8-bit channels, averaged each on its own: premultiplied BGRA
// stays premultiplied) to targetWidth x targetHeight. False unless
// 1 <= target <= source on both axes.
bool BeginAreaReduction(AreaReduction& reduction, uint32_t sourceWidth, uint32_t sourceHeight,
                        uint32_t targetWidth, uint32_t targetHeight);

// Takes the next `rowCount` source rows (`rowStride` bytes apart) and writes
// each target row they complete to target + row * targetStride, rounded to
// the nearest value (halves up). Rows beyond the picture's height are ignored.
// After the last source row every target row has been written.
void ReduceAreaRows(AreaReduction& reduction, const uint8_t* rows, size_t rowStride,
                    uint32_t rowCount, uint8_t* target, size_t targetStride);
