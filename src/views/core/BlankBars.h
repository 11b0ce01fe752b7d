// Bars on a blank surface.
//
// When the clip holds only 0 and every bar colour is non-zero, a pixel is occupied exactly when
// a nearer bar of its column drew it, and the nearer bars of a column cover every row from the
// highest top among them (the "sky") down to the current row. A bar therefore draws rows
// max(its top, clip top) ... min(its bottom, sky - 1), with no pixel to look at; the rows from
// its bottom down to the sky stay empty. So a drawing bar fills the segment [from, sky) of its
// column with its colours followed by zeros, and the segments of a column's drawing bars
// partition the rows from the last one's top down to the clip's bottom.
//
// Columns are built eight at a time in a small column-major strip, and the strip is then turned
// into the surface's rows. The plain kernel copies each segment in fixed runs of 16 rows from a
// descending colour sequence (no loop whose length the branch predictor has to guess per bar);
// the AVX2 one finds the bars that show sixteen rows at a time (no nearer top at or above
// theirs) and writes only their segments; the AVX-512 one finds each row's segment with a running
// maximum, with no branch per bar.
#pragma once

#include <cstdint>

#include "terrain/HeightField.h"

namespace BlankBars {
constexpr int32_t StripColumns = 8;
constexpr int32_t Run = 16;       // rows copied at once
constexpr int32_t StripPad = 2 * Run; // rows before row 0 that two runs may spill into
constexpr int32_t StripRows = StripPad + MapHeight;
// Colours of one parity from the top value down to 1 or 2, then zeros for a whole column.
constexpr int32_t SequencePad = 2 * Run;
constexpr int32_t SequenceLength = SequencePad + 128 + MapHeight + Run;
} // namespace BlankBars

struct TBlankBars {
    const uint8_t* Proj;
    uint8_t* Bits;
    int64_t Pitch, BytesPerPixel;
    const uint16_t* Sequence[2]; // [v & 1]: colours of 254, 252 ... 2 and of 255, 253 ... 1
    const uint16_t* Colour;      // of each value, 256 entries
    int32_t Left, Right, Top, Bottom;
};

// One column x into its strip column (row 0 at column[0]).
using TBlankColumn = void (*)(const TBlankBars& b, int32_t x, uint16_t* column);
// Rows Top ... Bottom of a strip of n columns into the surface at column x0.
using TStripToSurface = void (*)(const TBlankBars& b, const uint16_t (*strip)[BlankBars::StripRows],
                                 int32_t n, int32_t x0);
// Whether the 2-byte pixels [left, right] of every row top ... bottom hold 0 (pitch apart).
using TBlankRows = bool (*)(const uint8_t* bits, int64_t pitch, int32_t left, int32_t right,
                            int32_t top, int32_t bottom);

// The plain kernels.
void BlankColumnPlain(const TBlankBars& b, int32_t x, uint16_t* column);
void StripToSurfacePlain(const TBlankBars& b, const uint16_t (*strip)[BlankBars::StripRows],
                         int32_t n, int32_t x0);
bool BlankRowsPlain(const uint8_t* bits, int64_t pitch, int32_t left, int32_t right, int32_t top,
                    int32_t bottom);
