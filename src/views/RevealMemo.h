// What the last reveal of the map view (a brush in no mode: it changes no height and paints the
// disc's cells as they are) drew from, so that the same reveal again is left out: under a
// resting cursor it would paint the very pixels already there.
#pragma once

#include <cstdint>
#include <vector>

#include "present/DirectDraw.h"
#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "views/core/DrawCores.h"

class TRevealMemo {
  public:
    using TBrush = decltype(TDrawCores::ApplyBrush);

    // Whether this reveal would paint nothing new on surface: the last one remembered had the
    // same centre, parameters, brush, colours and cells under its disc, and nothing has written
    // to the surface since it did.
    bool Same(const TDirectDrawSurface* surface, const THeightArray& field, int32_t cx,
              int32_t cy, const TBrushParams& params, const TMapPixelTable& mapPixel,
              TBrush brush) const;
    // Remembers a reveal that has just completed on surface (its lock released).
    void Remember(const TDirectDrawSurface* surface, const THeightArray& field, int32_t cx,
                  int32_t cy, const TBrushParams& params, const TMapPixelTable& mapPixel,
                  TBrush brush);
    void Forget() { FValid = false; }

  private:
    // The cells a disc around (cx, cy) reads, column by column, appended to cells.
    static void DiscCells(const THeightArray& field, int32_t cx, int32_t cy,
                          const TBrushParams& params, std::vector<uint8_t>& cells);
    bool SameCells(const THeightArray& field, int32_t cx, int32_t cy,
                   const TBrushParams& params) const;

    bool FValid = false;
    const TDirectDrawSurface* FSurface = nullptr;
    uint64_t FWrites = 0;
    int32_t FX = 0, FY = 0;
    TBrushParams FParams;
    TMapPixelTable FMapPixel{};
    TBrush FBrush = nullptr;
    std::vector<uint8_t> FCells;
};
