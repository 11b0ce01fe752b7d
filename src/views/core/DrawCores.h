// The arithmetic cores the views call, as one replaceable set: the main window's renderer and
// the brush by default; a benchmark puts the plain transcriptions in their place.
#pragma once

#include "util/Surface.h"
#include "views/core/Brush.h"
#include "views/core/Projection.h"

struct TDrawCores {
    void (*ProjectField)(const THeightArray& field, const TCamera& camera,
                         const TTrigTable& sinTable, const TTrigTable& cosTable, const TRect& clip,
                         TProjHeightArray& out);
    void (*DrawBars)(const TProjHeightArray& proj, const TLockedSurface& surface,
                     const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
                     const TRect& clip);
    void (*ApplyBrush)(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                       const TBrushParams& params, const TBrushProfile& profile,
                       const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel);
};
