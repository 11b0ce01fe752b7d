// The map view's drawing around the brush arithmetic.
#include "views/MapView.h"

#include <cstdlib>
#include <optional>

#include "views/SurfaceLock.h"

namespace {

// The pixels a brush centred on (cx, cy) can write: its disc's bounding box while no square of
// a distance can wrap at 32 bits (far beyond the map); beyond that, anywhere.
std::optional<QRect> BrushBox(int32_t cx, int32_t cy, int32_t radius) {
    constexpr int64_t Far = 10000;
    if (radius < 0) return QRect();
    if (radius > Far || std::llabs(cx) > Far || std::llabs(cy) > Far) return std::nullopt;
    return QRect(cx - radius, cy - radius, 2 * radius + 1, 2 * radius + 1);
}

} // namespace

void BuildColourRamps(TDXDraw* view, TMapPixelTable& mapPixel, TShadePixelTable& shadePixel) {
    TDirectDrawSurface* surface = view->BackSurface();
    MakeColourRamps([surface](uint32_t colour) { return MatchColor(surface, colour); }, mapPixel,
                    shadePixel);
}

void PaintWholeMap(TDXDraw* view, const THeightArray& field, const TMapPixelTable& mapPixel) {
    for (int32_t x = 0; x < MapWidth; ++x)
        for (int32_t y = 0; y < MapHeight; ++y)
            PutPixel(view->BackSurface(), x, y, mapPixel[field[CellIndex(x, y)]]);
    FlipView(view);
}

void DrawMapView(TDXDraw* view, THeightArray& field, int32_t cx, int32_t cy,
                 const TBrushParams& params, const TBrushProfile& profile,
                 const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel,
                 decltype(TDrawCores::ApplyBrush) brush, TRevealMemo* memo) {
    TDirectDrawSurface* surface = view->BackSurface();
    // Only reveals of an ordinary disc are remembered; every other stroke forgets.
    const bool reveal = memo != nullptr && params.Mode == bmNone && surface != nullptr &&
                        BrushBox(cx, cy, params.Radius).has_value();
    if (reveal && memo->Same(surface, field, cx, cy, params, mapPixel, brush)) {
        FlipView(view);
        return;
    }
    if (memo != nullptr) memo->Forget();
    std::optional<QRect> box; // where this stroke wrote, when it did
    {
        TSurfaceLock lock(surface);
        if (lock.Locked()) {
            brush(field, lock.Surface(), cx, cy, params, profile, sqrtTable, mapPixel);
            box = BrushBox(cx, cy, params.Radius);
        }
    }
    if (reveal && box) memo->Remember(surface, field, cx, cy, params, mapPixel, brush);
    if (box)
        FlipView(view, *box);
    else
        FlipView(view);
}

void RepaintMapCells(TDXDraw* view, const THeightArray& field, const std::vector<uint32_t>& cells,
                     const TMapPixelTable& mapPixel) {
    {
        TSurfaceLock lock(view->BackSurface());
        if (lock.Locked()) PaintCells(field, lock.Surface(), cells.data(), cells.size(), mapPixel);
    }
    FlipView(view);
}


void ResetHeightArray(TDXDraw* view, THeightArray& field, const TMapPixelTable& mapPixel) {
    field.fill(0);
    FillSurface(view->BackSurface(), mapPixel[0]);
    FlipView(view);
}
