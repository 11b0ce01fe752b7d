// The voxel renderer as one object: the projection pass that samples the field into a buffer of
// scaled heights and the drawing pass that turns them into vertical bars, with everything they
// keep between frames (the camera cache, the angle grids) and the kernels its options choose.
#pragma once

#include <cstddef>
#include <memory>

#include "util/CpuFeatures.h"
#include "views/core/AngleGrids.h"
#include "views/core/Bars.h"
#include "views/core/Projection.h"

struct TRendererOptions {
    TSimd Simd = KernelSimd(); // widest kernels used; capped at what the processor runs
    bool AngleGrids = true; // keep each angle's turned grid, within the budget
    size_t GridBudget = 360 * TAngleGrids::OneGrid; // bytes of the angle grids: every angle
    // Within Simd, the widest kernels of the turn and of the bars each: the fastest level of
    // one part is not always the fastest of the other.
    TSimd TurnSimd = TSimd::Avx512, BarsSimd = TSimd::Avx512;
};

class TVoxelRenderer {
  public:
    explicit TVoxelRenderer(const TRendererOptions& options = {});

    const TRendererOptions& Options() const { return FOptions; }

    // Clears out and fills it from the field as seen from the camera. Raises EZeroDivide when
    // CameraZ is 0. CamRot is taken modulo 360. Samples outside the clip or the field, or whose
    // rounding leaves 32 bits, give 0.
    void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                      const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out);

    // Takes a copy of a cache another renderer or its owner built, sparing this renderer the
    // build when both project with the same camera and clip (the angle aside); the angle grids
    // kept so far are forgotten, as on any rebuild.
    void UseCache(const TCameraCache& built);

    // Draws the bars, nearest row first, into a locked 16-bit surface already filled with
    // black. Only pixels inside both the clip and the surface's Width x Height are read or
    // written.
    void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
                  const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
                  const TRect& clip) const;

  private:
    TRendererOptions FOptions;
    TTurnKernels FTurnKernels;
    TBarsKernels FBarsKernels;
    std::unique_ptr<TCameraCache> FCache;
    std::unique_ptr<TTurn> FTurn;
    std::unique_ptr<TAngleGrids> FGrids; // none without angle grids
};
