// The production cores: a renderer's passes, reached through the renderer they were made for.
#include "views/core/DrawCores.h"

#include "views/core/VoxelRenderer.h"

TDrawCores RendererCores(TVoxelRenderer& renderer) {
    return {[&renderer](const THeightArray& field, const TCamera& camera,
                        const TTrigTable& sinTable, const TTrigTable& cosTable, const TRect& clip,
                        TProjHeightArray& out) {
                renderer.ProjectField(field, camera, sinTable, cosTable, clip, out);
            },
            [&renderer](const TProjHeightArray& proj, const TLockedSurface& surface,
                        const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
                        const TRect& clip) {
                renderer.DrawBars(proj, surface, mapPixel, shadePixel, clip);
            },
            &ApplyBrush, true};
}
