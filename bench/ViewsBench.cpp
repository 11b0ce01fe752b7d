// Figures for the per-frame arithmetic of the views: the brush and the renderer's two passes,
// each beside its plain reference, the renderer timed per options value, with the
// reference-to-production ratio printed at the end.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "RatioReporter.h"
#include "support/ref/Reference.h"
#include "views/core/VoxelRenderer.h"

namespace {

const TViewTables& Tables() {
    static const TViewTables tables;
    return tables;
}

const TRect FullClip{0, 0, 319, 239};

// Options from the arguments: the level (0 portable, 1 AVX2, 2 AVX-512), then angle grids.
TRendererOptions OptionsOf(const benchmark::State& state) {
    TRendererOptions options;
    options.Simd = static_cast<TSimd>(state.range(0));
    options.AngleGrids = state.range(1) != 0;
    return options;
}
// The portable level with the other options at their defaults.
TRendererOptions Portable() {
    TRendererOptions options;
    options.Simd = TSimd::Portable;
    return options;
}

// One brush stroke per iteration at the centre, raising and lowering in turn.
template <class F> void BrushBench(benchmark::State& state, F brush) {
    const TViewTables& t = Tables();
    THeightArray field = Ref::SmoothField(7);
    Ref::TMemorySurface surface;
    const TBrushProfile profile = Ref::Profile(1);
    TBrushParams params;
    params.Radius = static_cast<int32_t>(state.range(0));
    uint8_t mode = bmRaise;
    for (auto _ : state) {
        params.Mode = mode;
        brush(field, surface.Lock, 160, 120, params, profile, t.Sqrt, t.MapPixel);
        mode = mode == bmRaise ? bmLower : bmRaise;
        benchmark::DoNotOptimize(field.data());
        benchmark::ClobberMemory();
    }
}

// One frame per iteration: background fill, projection and bars, the angle one degree further.
template <class P, class B> void ScreenBench(benchmark::State& state, P project, B bars) {
    const TViewTables& t = Tables();
    const THeightArray field = Ref::SmoothField(11);
    Ref::TMemorySurface surface;
    TProjHeightArray proj{};
    TCamera camera;
    for (auto _ : state) {
        std::memset(surface.Bytes.data(), 0, surface.Bytes.size());
        project(field, camera, t.Sin, t.Cos, FullClip, proj);
        bars(proj, surface.Lock, t.MapPixel, t.ShadePixel, FullClip);
        camera.CamRot = static_cast<uint16_t>((camera.CamRot + 1) % 360);
        benchmark::DoNotOptimize(surface.Bytes.data());
        benchmark::ClobberMemory();
    }
}

// The projection alone, the angle stepping as in a frame.
template <class P> void ProjectBench(benchmark::State& state, P project) {
    const TViewTables& t = Tables();
    const THeightArray field = Ref::SmoothField(11);
    TProjHeightArray proj{};
    TCamera camera;
    for (auto _ : state) {
        project(field, camera, t.Sin, t.Cos, FullClip, proj);
        camera.CamRot = static_cast<uint16_t>((camera.CamRot + 1) % 360);
        benchmark::DoNotOptimize(proj.data());
        benchmark::ClobberMemory();
    }
}

// The bars alone, over the projection of every angle in turn.
template <class B> void BarsBench(benchmark::State& state, B bars) {
    const TViewTables& t = Tables();
    static const std::vector<TProjHeightArray> frames = [&] {
        const THeightArray field = Ref::SmoothField(11);
        std::vector<TProjHeightArray> all(360);
        TCamera camera;
        for (uint16_t a = 0; a < 360; ++a) {
            camera.CamRot = a;
            Ref::ProjectField(field, camera, t.Sin, t.Cos, FullClip, all[a]);
        }
        return all;
    }();
    Ref::TMemorySurface surface;
    size_t angle = 0;
    for (auto _ : state) {
        std::memset(surface.Bytes.data(), 0, surface.Bytes.size());
        bars(frames[angle], surface.Lock, t.MapPixel, t.ShadePixel, FullClip);
        angle = (angle + 1) % 360;
        benchmark::DoNotOptimize(surface.Bytes.data());
        benchmark::ClobberMemory();
    }
}

// The renderer's projection with the options of the arguments (a whole turn first, outside
// the timing, so grids that fit are built).
void RendererProjectBench(benchmark::State& state, const TRendererOptions& options) {
    TVoxelRenderer renderer(options);
    const auto project = [&](auto&&... a) { renderer.ProjectField(a...); };
    const THeightArray field = Ref::SmoothField(11);
    TCamera camera;
    TProjHeightArray proj;
    for (uint16_t a = 0; a < 360; ++a, camera.CamRot = a)
        project(field, camera, Tables().Sin, Tables().Cos, FullClip, proj);
    ProjectBench(state, project);
}
void RendererBarsBench(benchmark::State& state, const TRendererOptions& options) {
    const TVoxelRenderer renderer(options);
    BarsBench(state, [&](auto&&... a) { renderer.DrawBars(a...); });
}
void BM_ProjectField(benchmark::State& state) { RendererProjectBench(state, {}); }
void BM_ProjectFieldPortable(benchmark::State& state) { RendererProjectBench(state, Portable()); }
void BM_RendererProject(benchmark::State& state) { RendererProjectBench(state, OptionsOf(state)); }
void BM_RefProjectField(benchmark::State& state) { ProjectBench(state, &Ref::ProjectField); }
void BM_DrawBars(benchmark::State& state) { RendererBarsBench(state, {}); }
void BM_DrawBarsPortable(benchmark::State& state) { RendererBarsBench(state, Portable()); }
void BM_RendererBars(benchmark::State& state) { RendererBarsBench(state, OptionsOf(state)); }
void BM_RefDrawBars(benchmark::State& state) { BarsBench(state, &Ref::DrawBars); }

void BM_ApplyBrush(benchmark::State& state) { BrushBench(state, &ApplyBrush); }
void BM_RefApplyBrush(benchmark::State& state) { BrushBench(state, &Ref::ApplyBrush); }
void BM_DrawScreenCore(benchmark::State& state) {
    TVoxelRenderer renderer;
    ScreenBench(state, [&](auto&&... a) { renderer.ProjectField(a...); },
                [&](auto&&... a) { renderer.DrawBars(a...); });
}
void BM_RefDrawScreenCore(benchmark::State& state) {
    ScreenBench(state, &Ref::ProjectField, &Ref::DrawBars);
}

// The levels this processor runs, each with and without angle grids.
void EveryLevel(benchmark::internal::Benchmark* b) {
    for (const TSimd simd : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512})
        if (CpuHas(simd))
            for (const int grids : {0, 1}) b->Args({static_cast<int>(simd), grids});
}

BENCHMARK(BM_ApplyBrush)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefApplyBrush)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
// Whole turns, so every angle counts the same.
BENCHMARK(BM_DrawScreenCore)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawScreenCore)->Iterations(360)->Unit(benchmark::kMicrosecond);
// The default options, then the portable level with the default grids, then every options value
// (BM_Renderer*/level/grids).
BENCHMARK(BM_ProjectField)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefProjectField)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBars)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawBars)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectFieldPortable)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBarsPortable)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RendererProject)->Apply(EveryLevel)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RendererBars)->Apply(EveryLevel)->Iterations(3600)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("BM_ApplyBrush/50", "BM_RefApplyBrush/50");
    reporter.PrintRatio("BM_ApplyBrush/200", "BM_RefApplyBrush/200");
    reporter.PrintRatio("BM_DrawScreenCore/iterations:3600", "BM_RefDrawScreenCore/iterations:360");
    reporter.PrintRatio("BM_ProjectField/iterations:3600", "BM_RefProjectField/iterations:360");
    reporter.PrintRatio("BM_DrawBars/iterations:3600", "BM_RefDrawBars/iterations:3600");
    benchmark::Shutdown();
    return 0;
}
