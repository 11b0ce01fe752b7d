// The terrain model's module-level storage: the field and the tables, static for the program's
// life. The arithmetic takes these as arguments; the handlers and the frame tick pass them in.
#pragma once

#include "terrain/HeightField.h"
#include "terrain/Tables.h"

namespace Terrain {
extern THeightArray HeightArray;
extern TSqrtTable SqrtTable;
extern TTrigTable SinTable;
extern TTrigTable CosTable;
extern TMapPixelTable MapPixel;
extern TShadePixelTable ShadePixel;
extern TBrushProfile BrushProfile;
extern uint8_t BrushMode; // 0 before the first choice, then 1 Gaussian, 2 triangle, 3 square

// Zeroes everything above, as at program start, for a process that makes more than one main
// window (the tests).
void Restart();
} // namespace Terrain
