// The arithmetic cores the views call, as one replaceable set: a renderer's passes and the brush
// by default; a benchmark puts the plain transcriptions in their place.
#pragma once

#include <functional>

#include "util/Surface.h"
#include "views/core/Brush.h"
#include "views/core/Projection.h"

class TVoxelRenderer;

struct TDrawCores {
    std::function<void(const THeightArray& field, const TCamera& camera,
                       const TTrigTable& sinTable, const TTrigTable& cosTable, const TRect& clip,
                       TProjHeightArray& out)>
        ProjectField;
    std::function<void(const TProjHeightArray& proj, const TLockedSurface& surface,
                       const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
                       const TRect& clip)>
        DrawBars;
    void (*ApplyBrush)(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                       const TBrushParams& params, const TBrushProfile& profile,
                       const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel);
    // Whether DrawBars writes the whole clip of a surface marked blank when BarsWriteWholeClip
    // holds (the renderer's blank path); a transcription that looks at each pixel does not.
    bool BarsWriteBlankClip = false;
};

// The renderer's two passes and ApplyBrush; the renderer must outlive the cores.
TDrawCores RendererCores(TVoxelRenderer& renderer);
