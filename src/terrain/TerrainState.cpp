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

void Restart() {
    HeightArray.fill(0);
    SqrtTable.fill(0);
    SinTable.fill(0);
    CosTable.fill(0);
    MapPixel.fill(0);
    ShadePixel.fill(0);
    BrushProfile.fill(0);
    BrushMode = 0;
}
} // namespace Terrain
