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
//
// Two sets of loops give the same bytes: the portable ones (64-bit sums, one
// division a channel) and, where the processor has SSE2 (every x64 one) and
// the sizes keep every sum exact in their lanes, the vector ones (16-bit
// weights into 32-bit sums across, whole numbers below 2^53 in doubles down,
// and a product by the reciprocal, nudged within its proven error, in place
// of the division).
struct AreaReduction {
    uint32_t sourceWidth = 0, sourceHeight = 0;
    uint32_t targetWidth = 0, targetHeight = 0;
    uint32_t nextSourceRow = 0;
    uint32_t pendingRow = 0;  // the first target row not yet written
    // Set between BeginAreaReduction and the first rows to run the portable
    // loops even where the vector ones could (tests and benchmarks compare them).
    bool portable = false;
    // Per target column: its first source column, and where its run of
    // weights starts in `weights` (targetWidth + 1 entries).
    std::vector<uint32_t> firstColumn;
    std::vector<uint32_t> weightStart;
    std::vector<uint32_t> weights;
    std::vector<uint32_t> rowSums;   // one source row reduced across, 4 per target column
    std::vector<uint64_t> sums[2];   // target rows pendingRow and pendingRow + 1 (portable)
    // The vector loops' tables, empty where they cannot run. Every target
    // column takes the same number of pairs of adjacent source columns
    // (pairsPerColumn; the pairs past its own weights weigh 0), each pair's
    // two 16-bit weights in one entry, four times over (one 16-byte load),
    // column after column; how many leading target columns read only inside
    // a row of 4-byte and of 3-byte pixels when each pair is loaded as 8
    // bytes (the last ones go the portable way).
    std::vector<uint32_t> pairWeights;
    uint32_t pairsPerColumn = 0;
    uint32_t pairedColumns4 = 0, pairedColumns3 = 0;
    // Sums down of the pending target row: its whole source rows (weight
    // targetHeight each, counted once) and its partial ones, weighted.
    std::vector<int32_t> wholeRowSums;
    std::vector<double> exactSums[2];  // as `sums`, partial rows only
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

// As ReduceAreaRows, from rows of opaque 3-byte pixels (B, G, R: alpha 255,
// for which premultiplying changes nothing): the target receives exactly the
// bytes ReduceAreaRows gives for the same rows with a fourth byte 255 added,
// without that 4-byte picture ever being made.
void ReduceOpaqueBgrRows(AreaReduction& reduction, const uint8_t* rows, size_t rowStride,
                         uint32_t rowCount, uint8_t* target, size_t targetStride);
