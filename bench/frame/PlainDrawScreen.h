// DrawScreen's projection and bars written straight from the algorithm, as a developer would
// write them first: the yardstick the frame benchmark measures the renderer against. Built at
// -O2 (bench/CMakeLists.txt), like an ordinary release build.
#pragma once

#include "util/Surface.h"
#include "views/core/Projection.h"

namespace Plain {

// Every position worked out in full in double precision, rounded to nearest with ties to even.
// Extended precision decides only exact ties, which the benchmark's field does not meet (the
// benchmark checks the pixels); in extended precision the pass takes about twice as long, so
// double is the stricter yardstick.
void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out);

// Each entry's bar pixel by pixel, nearest row first, stopping at the first pixel already set.
void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip);

} // namespace Plain
