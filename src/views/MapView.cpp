// The map view's drawing around the brush arithmetic.
#include "views/MapView.h"

#include "views/SurfaceLock.h"

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
                 decltype(TDrawCores::ApplyBrush) brush) {
    {
        TSurfaceLock lock(view->BackSurface());
        if (lock.Locked())
            brush(field, lock.Surface(), cx, cy, params, profile, sqrtTable, mapPixel);
    }
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
