// Figures for the panel's three tools on the whole field: one click's field work per iteration
// (the step and the repaint that follow are the same as a paste's).
#include <benchmark/benchmark.h>

#include "support/ref/Reference.h"
#include "terrain/FieldNoise.h"
#include "terrain/FieldRandom.h"
#include "terrain/Landscape.h"
#include "terrain/LevelOut.h"

namespace {

// 평준화 over a field that keeps its hills: each pass starts from the same one.
void BM_LevelOut(benchmark::State& state) {
    const THeightArray start = Ref::SmoothField(7);
    THeightArray field;
    for (auto _ : state) {
        field = start;
        LevelOut(field);
        benchmark::DoNotOptimize(field.data());
        benchmark::ClobberMemory();
    }
}

// 잡음 at 변화 억제 1, the widest amounts, a new click's stream each time.
void BM_AddNoise(benchmark::State& state) {
    const THeightArray start = Ref::SmoothField(7);
    THeightArray field;
    uint32_t click = 0;
    for (auto _ : state) {
        field = start;
        AddNoise(field, 1, ClickSeed(7, ++click));
        benchmark::DoNotOptimize(field.data());
        benchmark::ClobberMemory();
    }
}

// 자동생성: a new landscape per click.
void BM_GenerateLandscape(benchmark::State& state) {
    THeightArray field;
    uint32_t click = 0;
    for (auto _ : state) {
        GenerateLandscape(field, ClickSeed(7, ++click));
        benchmark::DoNotOptimize(field.data());
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_LevelOut)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AddNoise)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateLandscape)->Unit(benchmark::kMicrosecond);

} // namespace
