// Plain transcriptions of the brush and the two renderer passes, one position at a time in
// extended precision: the oracle the fast code is checked against. Also test tables and surfaces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "util/Geometry.h"
#include "util/Exceptions.h"
#include "util/Fnc.h"
#include "util/Surface.h"
#include "views/core/Brush.h"
#include "views/core/Projection.h"

namespace Ref {

// Entry k = nearbyint(sqrt(k)) in extended precision, low 8 bits.
void MakeSqrtTable(TSqrtTable& table);
// The ramps as a 5-6-5 surface matches them (black is 0; MapPixel[1 ... 3] are 0 too).
void MakeRgb565Ramps(TMapPixelTable& mapPixel, TShadePixelTable& shadePixel);
// The profile rows of the three brush shapes: 1 Gaussian, 2 triangle, 3 square.
TBrushProfile Profile(int brushMode);

// The brush on every cell in x-then-y order, d² and R² wrapping at 32 bits.
void ApplyBrush(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                const TBrushParams& params, const TBrushProfile& profile,
                const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel);

// The projection pass, every position computed from scratch in long double.
void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out);
// The same for several fields at once (outs[i] from fields[i]): one pass of the arithmetic.
void ProjectFields(const std::vector<const THeightArray*>& fields, const TCamera& camera,
                   const TTrigTable& sinTable, const TTrigTable& cosTable, const TRect& clip,
                   const std::vector<TProjHeightArray*>& outs);

// The drawing pass, one bar pixel at a time.
void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip);

// A varied field of rolling hills with some fine noise, the same for the same seed.
THeightArray SmoothField(uint32_t seed);
// Every cell random in 0 ... 255.
THeightArray NoiseField(uint32_t seed);

// A zero-filled 16-bit surface in memory with a chosen pitch.
struct TMemorySurface {
    explicit TMemorySurface(int32_t pitch = 640, int32_t width = 320, int32_t height = 240);
    std::vector<uint8_t> Bytes;
    TLockedSurface Lock;
    uint16_t Pixel(int32_t x, int32_t y) const; // at x * (Pitch div 320) + y * Pitch
};

} // namespace Ref

// The message of the error the call raises, "" when none.
template <class F> std::string ErrorOf(F call) {
    try {
        call();
    } catch (const Exception& e) {
        return e.what();
    }
    return "";
}

// The tables the views' tests and benchmarks draw with (5-6-5 ramps).
struct TViewTables {
    TSqrtTable Sqrt;
    TTrigTable Sin, Cos;
    TMapPixelTable MapPixel;
    TShadePixelTable ShadePixel;
    TViewTables() {
        Ref::MakeSqrtTable(Sqrt);
        MakeTrigTables(Sin, Cos);
        Ref::MakeRgb565Ramps(MapPixel, ShadePixel);
    }
};
