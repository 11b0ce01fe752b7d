// The reveal memo: the inputs of a reveal compared in full, the cells only under its disc's box
// (a reveal reads no other).
#include "views/RevealMemo.h"

#include <algorithm>
#include <cstring>

namespace {
// The box of cells a disc around (cx, cy) reads: columns xFirst ... xLast, rows yFirst ... yLast
// of each (none when yFirst > yLast).
struct TDiscBox {
    int32_t XFirst, XLast, YFirst, YLast;
};

TDiscBox DiscBox(int32_t cx, int32_t cy, const TBrushParams& params) {
    const int32_t rows = std::clamp(params.Rows, 0, MapHeight);
    return {std::max(0, cx - params.Radius), std::min(MapWidth - 1, cx + params.Radius),
            std::max(0, cy - params.Radius), std::min(rows - 1, cy + params.Radius)};
}
} // namespace

void TRevealMemo::DiscCells(const THeightArray& field, int32_t cx, int32_t cy,
                            const TBrushParams& params, std::vector<uint8_t>& cells) {
    cells.clear();
    const TDiscBox box = DiscBox(cx, cy, params);
    if (box.YFirst > box.YLast) return;
    for (int32_t x = box.XFirst; x <= box.XLast; ++x) {
        const uint8_t* column = field.data() + CellIndex(x, 0);
        cells.insert(cells.end(), column + box.YFirst, column + box.YLast + 1);
    }
}

// The cells now against those remembered, column by column in place: no copy each frame.
bool TRevealMemo::SameCells(const THeightArray& field, int32_t cx, int32_t cy,
                            const TBrushParams& params) const {
    const TDiscBox box = DiscBox(cx, cy, params);
    if (box.YFirst > box.YLast) return FCells.empty();
    const size_t height = static_cast<size_t>(box.YLast - box.YFirst + 1);
    if (FCells.size() != height * static_cast<size_t>(box.XLast - box.XFirst + 1)) return false;
    const uint8_t* kept = FCells.data();
    for (int32_t x = box.XFirst; x <= box.XLast; ++x, kept += height)
        if (std::memcmp(field.data() + CellIndex(x, 0) + box.YFirst, kept, height) != 0)
            return false;
    return true;
}

bool TRevealMemo::Same(const TDirectDrawSurface* surface, const THeightArray& field, int32_t cx,
                       int32_t cy, const TBrushParams& params, const TMapPixelTable& mapPixel,
                       TBrush brush) const {
    if (!FValid || surface != FSurface || surface->Writes() != FWrites || cx != FX ||
        cy != FY || brush != FBrush || params.Radius != FParams.Radius ||
        params.Divisor != FParams.Divisor || params.Mode != FParams.Mode ||
        params.Rows != FParams.Rows || mapPixel != FMapPixel)
        return false;
    return SameCells(field, cx, cy, params);
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
