// Figures for the per-frame arithmetic of the views: the brush and the renderer's two passes,
// each beside its plain reference, with the reference-to-production ratio printed at the end.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "RatioReporter.h"
#include "support/ref/Reference.h"
#include "util/Fnc.h"

namespace {

struct TTables {
    TSqrtTable Sqrt;
    TTrigTable Sin, Cos;
    TMapPixelTable MapPixel;
    TShadePixelTable ShadePixel;
    TTables() {
        Ref::MakeSqrtTable(Sqrt);
        MakeTrigTables(Sin, Cos);
        Ref::MakeRgb565Ramps(MapPixel, ShadePixel);
    }
};

const TTables& Tables() {
    static const TTables tables;
    return tables;
}

using TBrushFn = void (*)(THeightArray&, const TLockedSurface&, int32_t, int32_t,
                          const TBrushParams&, const TBrushProfile&, const TSqrtTable&,
                          const TMapPixelTable&);
using TProjectFn = void (*)(const THeightArray&, const TCamera&, const TTrigTable&,
                            const TTrigTable&, const TRect&, TProjHeightArray&);
using TBarsFn = void (*)(const TProjHeightArray&, const TLockedSurface&, const TMapPixelTable&,
                         const TShadePixelTable&, const TRect&);

// One brush stroke per iteration at the centre, raising and lowering in turn.
void BrushBench(benchmark::State& state, TBrushFn brush) {
    const TTables& t = Tables();
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
void ScreenBench(benchmark::State& state, TProjectFn project, TBarsFn bars) {
    const TTables& t = Tables();
    const THeightArray field = Ref::SmoothField(11);
    Ref::TMemorySurface surface;
    TProjHeightArray proj{};
    const TCamera camera;
    const TRect clip{0, 0, 319, 239};
    uint16_t angle = 0;
    for (auto _ : state) {
        TCamera turned = camera;
        turned.CamRot = angle;
        std::memset(surface.Bytes.data(), 0, surface.Bytes.size());
        project(field, turned, t.Sin, t.Cos, clip, proj);
        bars(proj, surface.Lock, t.MapPixel, t.ShadePixel, clip);
        angle = static_cast<uint16_t>((angle + 1) % 360);
        benchmark::DoNotOptimize(surface.Bytes.data());
        benchmark::ClobberMemory();
    }
}

// The projection alone, the angle stepping as in a frame.
void ProjectBench(benchmark::State& state, TProjectFn project) {
    const TTables& t = Tables();
    const THeightArray field = Ref::SmoothField(11);
    TProjHeightArray proj{};
    TCamera camera;
    for (auto _ : state) {
        project(field, camera, t.Sin, t.Cos, TRect{0, 0, 319, 239}, proj);
        camera.CamRot = static_cast<uint16_t>((camera.CamRot + 1) % 360);
        benchmark::DoNotOptimize(proj.data());
        benchmark::ClobberMemory();
    }
}

// The bars alone, over the projection of every angle in turn.
void BarsBench(benchmark::State& state, TBarsFn bars) {
    const TTables& t = Tables();
    const THeightArray field = Ref::SmoothField(11);
    static std::vector<TProjHeightArray> frames = [&] {
        std::vector<TProjHeightArray> all(360);
        TCamera camera;
        for (uint16_t a = 0; a < 360; ++a) {
            camera.CamRot = a;
            ProjectField(field, camera, t.Sin, t.Cos, TRect{0, 0, 319, 239}, all[a]);
        }
        return all;
    }();
    Ref::TMemorySurface surface;
    size_t angle = 0;
    for (auto _ : state) {
        std::memset(surface.Bytes.data(), 0, surface.Bytes.size());
        bars(frames[angle], surface.Lock, t.MapPixel, t.ShadePixel, TRect{0, 0, 319, 239});
        angle = (angle + 1) % 360;
        benchmark::DoNotOptimize(surface.Bytes.data());
        benchmark::ClobberMemory();
    }
}

void BM_ProjectField(benchmark::State& state) { ProjectBench(state, &ProjectField); }
void BM_RefProjectField(benchmark::State& state) { ProjectBench(state, &Ref::ProjectField); }
void BM_DrawBars(benchmark::State& state) { BarsBench(state, &DrawBars); }
// The portable code paths, for machines without the wide instruction sets.
void BM_DrawBarsPortable(benchmark::State& state) {
    UseWideInstructions(false);
    BarsBench(state, &DrawBars);
    UseWideInstructions(true);
}
void BM_ProjectFieldPortable(benchmark::State& state) {
    UseWideInstructions(false);
    ProjectBench(state, &ProjectField);
    UseWideInstructions(true);
}
void BM_RefDrawBars(benchmark::State& state) { BarsBench(state, &Ref::DrawBars); }

void BM_ApplyBrush(benchmark::State& state) { BrushBench(state, &ApplyBrush); }
void BM_RefApplyBrush(benchmark::State& state) { BrushBench(state, &Ref::ApplyBrush); }
void BM_DrawScreenCore(benchmark::State& state) { ScreenBench(state, &ProjectField, &DrawBars); }
void BM_RefDrawScreenCore(benchmark::State& state) {
    ScreenBench(state, &Ref::ProjectField, &Ref::DrawBars);
}

BENCHMARK(BM_ApplyBrush)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefApplyBrush)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
// Whole turns, so every angle counts the same.
BENCHMARK(BM_DrawScreenCore)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawScreenCore)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectField)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefProjectField)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBars)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawBars)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawBarsPortable)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ProjectFieldPortable)->Iterations(3600)->Unit(benchmark::kMicrosecond);

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
