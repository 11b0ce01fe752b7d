// Exactness of the fast renderer: projection buffer and bars identical to the plain
// transcription at every angle, for camera heights across the spin's range (1 ... 1000), for
// every options value that behaves differently (kernels, angle grids, grid budgets).
// VOXEL_SWEEP_STEP=n takes every n-th angle only: the sanitizer tree looks for memory faults
// there, not for the rare half-way angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <tuple>

#include "ViewsTestSupport.h"

namespace {

constexpr TRect FullClip{0, 0, 319, 239};

// Camera height, and which half turn (0: 0 ... 179 degrees, 1: 180 ... 359).
class ProjectionSweep : public testing::TestWithParam<std::tuple<int32_t, int32_t>> {};

TEST_P(ProjectionSweep, EveryAngleMatchesTheReference) {
    static const TViewTables t;
    THeightArray zero{}, full, varied = Ref::SmoothField(2024);
    full.fill(255);
    const std::vector<const THeightArray*> fields{&zero, &full, &varied};
    TCamera camera;
    const auto [height, half] = GetParam();
    camera.CameraZ = height;
    camera.HorizonOffset = HorizonOffsetFor(camera.CameraZ, camera.CameraY);
    std::vector<TVoxelRenderer> renderers = EveryRenderer();
    std::vector<TProjHeightArray> plain(3);
    const char* step = std::getenv("VOXEL_SWEEP_STEP");
    const int32_t every = step != nullptr ? std::max(1, std::atoi(step)) : 1;
    for (int32_t angle = half * 180; angle < half * 180 + 180; angle += every) {
        camera.CamRot = static_cast<uint16_t>(angle);
        Ref::ProjectFields(fields, camera, t.Sin, t.Cos, FullClip,
                           {&plain[0], &plain[1], &plain[2]});
        for (size_t f = 0; f < fields.size(); ++f) {
            Ref::TMemorySurface plainSurface;
            Ref::DrawBars(plain[f], plainSurface.Lock, t.MapPixel, t.ShadePixel, FullClip);
            for (TVoxelRenderer& renderer : renderers) {
                TProjHeightArray fast;
                renderer.ProjectField(*fields[f], camera, t.Sin, t.Cos, FullClip, fast);
                ASSERT_EQ(FirstDifference(fast, plain[f]), "")
                    << "angle " << angle << " field " << f << " " << renderer.Options();
                // The bars depend on the kernels' level only: drawn once per level.
                if (renderer.Options().AngleGrids) continue;
                Ref::TMemorySurface fastSurface;
                renderer.DrawBars(fast, fastSurface.Lock, t.MapPixel, t.ShadePixel, FullClip);
                ASSERT_EQ(FirstDifference(fastSurface.Bytes, plainSurface.Bytes, 640), "")
                    << "angle " << angle << " field " << f << " " << renderer.Options();
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(CameraHeights, ProjectionSweep,
                         testing::Combine(testing::Values(1, 2, 60, 240, 479, 480, 600, 1000),
                                          testing::Values(0, 1)));

} // namespace
