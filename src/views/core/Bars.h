// The drawing pass's arithmetic: bars, nearest row first, with the one-test occlusion rule, on
// a general surface, and the faster construction for a blank one (see BlankBars.h).
#pragma once

#include <cstdint>

#include "terrain/Tables.h"
#include "util/Geometry.h"
#include "util/Surface.h"
#include "views/core/BlankBars.h"
#include "views/core/Projection.h"

// The kernels the drawing pass may use; the plain ones run anywhere.
struct TBarsKernels {
    TBlankColumn BlankColumn;
    TStripToSurface StripToSurface;
    TBlankRows BlankRows;
};
extern const TBarsKernels PlainBarsKernels;

// The colour a bar of value v (1 to 255) draws.
inline uint16_t BarColour(int32_t v, const TMapPixelTable& mapPixel,
                          const TShadePixelTable& shadePixel) {
    return static_cast<uint16_t>(v > 32 ? mapPixel[v] : shadePixel[v] & 0xFFFF);
}

// Whether a surface the caller counts as blank gets every pixel of the clip written by
// DrawBarsWith (each within the surface and the map's Columns x Rows): so when every bar colour
// is non-zero, and a black fill before it can then be left out.
bool BarsWriteWholeClip(const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel);

// Draws the bars, nearest row first, into a locked 16-bit surface already filled with black.
// Only pixels inside both the clip and the surface's Width x Height are read or written.
void DrawBarsWith(const TBarsKernels& kernels, const TProjHeightArray& proj,
                  const TLockedSurface& surface, const TMapPixelTable& mapPixel,
                  const TShadePixelTable& shadePixel, const TRect& clip);
