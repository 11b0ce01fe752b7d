// The map view's drawing: the colour ramps and first paint, the brush stroke with its lock and
// present, and the reset of the field.
#pragma once

#include <vector>

#include "present/DXDraw.h"
#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "views/RevealMemo.h"
#include "views/core/DrawCores.h"

// Builds MapPixel and ShadePixel by matching colours on the view's back surface.
void BuildColourRamps(TDXDraw* view, TMapPixelTable& mapPixel, TShadePixelTable& shadePixel);

// Paints every cell with PutPixel and presents (the view's initialisation clears it after;
// a field taken whole is shown with it).
void PaintWholeMap(TDXDraw* view, const THeightArray& field, const TMapPixelTable& mapPixel);

// One stroke: lock, brush, unlock, present. A failed lock skips the brush but still presents;
// an error from the brush unlocks and leaves without presenting. With a memo, a reveal that
// would paint nothing new (see TRevealMemo) is left out; the present still comes.
void DrawMapView(TDXDraw* view, THeightArray& field, int32_t cx, int32_t cy,
                 const TBrushParams& params, const TBrushProfile& profile,
                 const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel,
                 decltype(TDrawCores::ApplyBrush) brush = &ApplyBrush,
                 TRevealMemo* memo = nullptr);

// Repaints these cells of the field (an undo or redo) and presents.
void RepaintMapCells(TDXDraw* view, const THeightArray& field, const std::vector<uint32_t>& cells,
                     const TMapPixelTable& mapPixel);

// Clears the field, fills the map view with MapPixel[0] and presents it.
void ResetHeightArray(TDXDraw* view, THeightArray& field, const TMapPixelTable& mapPixel);
