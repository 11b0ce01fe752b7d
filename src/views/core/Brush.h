// The brush: raises or lowers every cell within the radius by its profile band and repaints
// the footprint into a locked 16-bit surface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "util/Surface.h"

enum TButtonMode : uint8_t { bmNone = 0, bmRaise = 1, bmLower = 2 };

struct TBrushParams {
    int32_t Radius = 50;   // BrushRangeMin
    uint8_t Divisor = 1;   // HeightArrayDiv
    uint8_t Mode = bmNone; // ButtonMode
    int32_t Rows = 240;    // the map view control's height: rows visited
};

// Applies the brush centred on (cx, cy) and writes MapPixel[h] of every touched cell at
// Bits + x * (Pitch div 320) + y * Pitch. Raises EDivByZero (radius or divisor 0) at the first
// cell that needs the division, after the cells before it in x-then-y order are done.
// A negative radius does nothing. A change that would take a height out of 0 ... 255 is
// refused (also for negative profile entries); pixels outside Width x Height are not written.
void ApplyBrush(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                const TBrushParams& params, const TBrushProfile& profile,
                const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel);

// Repaints these cells (field indices) with MapPixel of their heights, as the brush's repaint
// does; pixels outside Width x Height are not written.
void PaintCells(const THeightArray& field, const TLockedSurface& surface, const uint32_t* cells,
                std::size_t count, const TMapPixelTable& mapPixel);
