// Storage of the field and the tables: zero-filled at program start, never reallocated.
#include "terrain/TerrainState.h"

namespace Terrain {
THeightArray HeightArray{};
TSqrtTable SqrtTable{};
TTrigTable SinTable{};
TTrigTable CosTable{};
TMapPixelTable MapPixel{};
TShadePixelTable ShadePixel{};
TBrushProfile BrushProfile{};
uint8_t BrushMode = 0;
} // namespace Terrain
