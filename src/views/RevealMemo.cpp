// The reveal memo: the inputs of a reveal compared in full, the cells only under its disc's box
// (a reveal reads no other).
#include "views/RevealMemo.h"

#include <algorithm>

void TRevealMemo::DiscCells(const THeightArray& field, int32_t cx, int32_t cy,
                            const TBrushParams& params, std::vector<uint8_t>& cells) {
    cells.clear();
    const int32_t rows = std::clamp(params.Rows, 0, MapHeight);
    const int32_t xFirst = std::max(0, cx - params.Radius);
    const int32_t xLast = std::min(MapWidth - 1, cx + params.Radius);
    const int32_t yFirst = std::max(0, cy - params.Radius);
    const int32_t yLast = std::min(rows - 1, cy + params.Radius);
    if (yFirst > yLast) return;
    for (int32_t x = xFirst; x <= xLast; ++x) {
        const uint8_t* column = field.data() + CellIndex(x, 0);
        cells.insert(cells.end(), column + yFirst, column + yLast + 1);
    }
}

bool TRevealMemo::Same(const TDirectDrawSurface* surface, const THeightArray& field, int32_t cx,
                       int32_t cy, const TBrushParams& params, const TMapPixelTable& mapPixel,
                       TBrush brush) const {
    if (!FValid || surface != FSurface || surface->Writes() != FWrites || cx != FX ||
        cy != FY || brush != FBrush || params.Radius != FParams.Radius ||
        params.Divisor != FParams.Divisor || params.Mode != FParams.Mode ||
        params.Rows != FParams.Rows || mapPixel != FMapPixel)
        return false;
    DiscCells(field, cx, cy, params, FScratch);
    return FScratch == FCells;
}

void TRevealMemo::Remember(const TDirectDrawSurface* surface, const THeightArray& field,
                           int32_t cx, int32_t cy, const TBrushParams& params,
                           const TMapPixelTable& mapPixel, TBrush brush) {
    FValid = true;
    FSurface = surface;
    FWrites = surface->Writes();
    FX = cx;
    FY = cy;
    FParams = params;
    FMapPixel = mapPixel;
    FBrush = brush;
    DiscCells(field, cx, cy, params, FCells);
}
