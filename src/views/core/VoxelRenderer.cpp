// The renderer's choices: which kernels its options allow, and whether a frame is turned over an
// angle grid's rows, over each column's reach, or computed position by position.
#include "views/core/VoxelRenderer.h"

#include <algorithm>

#include "views/core/X86Kernels.h"

namespace {

bool Allows(TSimd options, TSimd level) {
    return static_cast<uint8_t>(level) <= static_cast<uint8_t>(options) && CpuHas(level);
}

} // namespace

TVoxelRenderer::TVoxelRenderer(const TRendererOptions& options)
    : FOptions(options), FTurnKernels{&ColumnSamplesPlain, &LookUpPlain},
      FBarsKernels(PlainBarsKernels), FCache(std::make_unique<TCameraCache>()),
      FTurn(std::make_unique<TTurn>()) {
    FOptions.Simd = std::min(FOptions.Simd, CpuSimd());
    [[maybe_unused]] const TSimd turn = std::min(FOptions.Simd, FOptions.TurnSimd);
    [[maybe_unused]] const TSimd bars = std::min(FOptions.Simd, FOptions.BarsSimd);
#if VOXEL_X86
    if (Allows(turn, TSimd::Avx2))
        FTurnKernels = {&ColumnSamplesAvx2, &LookUpAvx2, &TurnColumnAvx2};
    if (Allows(turn, TSimd::Avx512))
        FTurnKernels = {&ColumnSamplesAvx512, &LookUpAvx512, &TurnColumnAvx512};
    if (Allows(bars, TSimd::Avx2)) {
        // SSE2 comes with every x86-64; portable means no intrinsics at all.
        FBarsKernels.StripToSurface = &StripToSurfaceAvx2;
        FBarsKernels.BlankRows = &BlankRowsAvx2;
        FBarsKernels.BlankColumn = &BlankColumnAvx2;
    }
    if (Allows(bars, TSimd::Avx512)) FBarsKernels.BlankColumn = &BlankColumnAvx512;
#endif
    if (FOptions.AngleGrids) FGrids = std::make_unique<TAngleGrids>(FOptions.GridBudget);
}

void TVoxelRenderer::ProjectField(const THeightArray& field, const TCamera& camera,
                                  const TTrigTable& sinTable, const TTrigTable& cosTable,
                                  const TRect& clip, TProjHeightArray& out) {
    out.fill(0);
    const int32_t angle = camera.CamRot % 360; // an angle outside the tables is taken mod 360
    const float cf = cosTable[angle], sf = sinTable[angle];
    TCameraCache& k = *FCache;
    if (k.Update(camera, clip) && FGrids) FGrids->Forget();
    if (!k.Usable || !SmallTurn(cf, sf)) {
        ProjectEveryPosition(field, camera, cf, sf, k.FieldClip, out);
        return;
    }
    if (k.FieldClip.Empty()) return;
    FTurn->Set(k, cf, sf);
    if (FGrids)
        FGrids->Project(angle, *FTurn, FTurnKernels, field, out);
    else
        TurnColumns(*FTurn, FTurnKernels, nullptr, field, out);
}

void TVoxelRenderer::UseCache(const TCameraCache& built) {
    *FCache = built;
    if (FGrids) FGrids->Forget();
}

void TVoxelRenderer::DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
                              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
                              const TRect& clip) const {
    DrawBarsWith(FBarsKernels, proj, surface, mapPixel, shadePixel, clip);
}
