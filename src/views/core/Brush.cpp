// The brush: a bounding-box walk over the disc for ordinary centres and radii, and the plain
// walk over every cell where 32-bit wrap-around makes the footprint something else than a disc.
#include "views/core/Brush.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "util/Exceptions.h"

namespace {

constexpr int32_t Columns = 320;
constexpr int32_t MaxRows = 240;
// Largest r with r * r < 2^31: squares up to it never wrap.
constexpr int64_t NoWrapLimit = 46340;

// The change of a cell at height h by step, or none when the result would leave 0 ... 255.
// Raising tests h + delta < 256 and lowering delta <= h; together with the lower bound (for
// negative profile entries) both are "the result stays a byte".
inline int32_t Stepped(int32_t h, int32_t step) {
    const int32_t v = h + step;
    return static_cast<uint32_t>(v) <= 255u ? v : h;
}

// The signed change for a profile delta in this mode, limited to +-256 (beyond that a change
// can never apply) so it adds to a height without overflow.
int32_t StepFor(int32_t delta, uint8_t mode) {
    int64_t step = 0;
    if (mode == bmRaise) step = delta;
    else if (mode == bmLower) step = -static_cast<int64_t>(delta);
    return static_cast<int32_t>(std::clamp<int64_t>(step, -256, 256));
}

inline void PutPixel16(uint8_t* address, uint16_t value) { std::memcpy(address, &value, 2); }

// Every cell in x-then-y order with the arithmetic as it stands: d² and R² wrap at 32 bits,
// the divisions raise EDivByZero at the first cell that needs them.
void BrushEveryCell(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                    const TBrushParams& params, int32_t rows, const TBrushProfile& profile,
                    const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel) {
    const int32_t R = params.Radius;
    const int32_t r2 = static_cast<int32_t>(static_cast<uint32_t>(R) * static_cast<uint32_t>(R));
    const int64_t bytesPerPixel = surface.Pitch / Columns;
    for (int32_t x = 0; x < Columns; ++x) {
        const uint32_t dx = static_cast<uint32_t>(x) - static_cast<uint32_t>(cx);
        for (int32_t y = 0; y < rows; ++y) {
            const uint32_t dy = static_cast<uint32_t>(y) - static_cast<uint32_t>(cy);
            const int32_t d2 = static_cast<int32_t>(dx * dx + dy * dy);
            if (d2 > r2) continue;
            const int32_t dist = (d2 >= 0 && d2 < 65536) ? sqrtTable[d2] : sqrtTable[65535];
            const int32_t band = std::min(CheckedDiv(dist * 12, R), 11);
            const int32_t delta = CheckedDiv(profile[band], params.Divisor);
            uint8_t& cell = field[CellIndex(x, y)];
            cell = static_cast<uint8_t>(Stepped(cell, StepFor(delta, params.Mode)));
            if (surface.Bits != nullptr && x < surface.Width && y < surface.Height)
                PutPixel16(surface.Bits + x * bytesPerPixel + y * int64_t{surface.Pitch},
                           mapPixel[cell]);
        }
    }
}

} // namespace

void ApplyBrush(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                const TBrushParams& params, const TBrushProfile& profile,
                const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel) {
    const int32_t R = params.Radius;
    if (R < 0) return; // outside what the bands cover: no cell, no pixel, no error
    const int32_t rows = std::clamp(params.Rows, 0, MaxRows);
    if (rows == 0) return;

    // The disc shortcut holds when no d² of a visited cell and not R² wraps, no division
    // can fail, and every pixel of the visited rows lies on the surface.
    const int64_t farX = std::max(std::abs(int64_t{cx}), std::abs(int64_t{Columns - 1} - cx));
    const int64_t farY = std::max(std::abs(int64_t{cy}), std::abs(int64_t{rows - 1} - cy));
    const bool noWrap = R <= NoWrapLimit && farX <= NoWrapLimit && farY <= NoWrapLimit &&
                        farX * farX + farY * farY < (int64_t{1} << 31);
    const bool wholeSurface = surface.Bits != nullptr && surface.Width >= Columns &&
                              surface.Height >= rows;
    if (!noWrap || R == 0 || params.Divisor == 0 || !wholeSurface) {
        BrushEveryCell(field, surface, cx, cy, params, rows, profile, sqrtTable, mapPixel);
        return;
    }

    // Signed change per table distance: band = min(dist * 12 div R, 11), kept as a running
    // quotient so no division per entry.
    int16_t stepByDist[256];
    int32_t band = 0, remainder = 0;
    for (int32_t dist = 0; dist < 256; ++dist) {
        stepByDist[dist] = static_cast<int16_t>(
            StepFor(profile[std::min(band, 11)] / int32_t{params.Divisor}, params.Mode));
        remainder += 12;
        while (remainder >= R && band <= 11) {
            remainder -= R;
            ++band;
        }
    }

    const int64_t r2 = int64_t{R} * R;
    const int64_t pitch = surface.Pitch;
    const int64_t bytesPerPixel = pitch / Columns;
    const int32_t xFirst = static_cast<int32_t>(std::max<int64_t>(0, int64_t{cx} - R));
    const int32_t xLast = static_cast<int32_t>(std::min<int64_t>(Columns - 1, int64_t{cx} + R));
    int64_t halfChord = 0; // largest k with k² <= R² - dx², followed from column to column
    for (int32_t x = xFirst; x <= xLast; ++x) {
        const int64_t dx = int64_t{x} - cx;
        const int64_t room = r2 - dx * dx;
        while (halfChord > 0 && halfChord * halfChord > room) --halfChord;
        while ((halfChord + 1) * (halfChord + 1) <= room) ++halfChord;
        const int32_t yFirst = static_cast<int32_t>(std::max<int64_t>(0, cy - halfChord));
        const int32_t yLast = static_cast<int32_t>(std::min<int64_t>(rows - 1, cy + halfChord));
        if (yFirst > yLast) continue;
        uint8_t* cells = field.data() + CellIndex(x, 0);
        uint8_t* pixel = surface.Bits + x * bytesPerPixel + yFirst * pitch;
        for (int32_t y = yFirst; y <= yLast; ++y, pixel += pitch) {
            const int64_t dy = int64_t{y} - cy;
            const int64_t d2 = dx * dx + dy * dy;
            const int32_t dist = sqrtTable[static_cast<size_t>(std::min<int64_t>(d2, 65535))];
            const int32_t h = Stepped(cells[y], stepByDist[dist]);
            cells[y] = static_cast<uint8_t>(h);
            PutPixel16(pixel, mapPixel[h]);
        }
    }
}

void PaintCells(const THeightArray& field, const TLockedSurface& surface, const uint32_t* cells,
                std::size_t count, const TMapPixelTable& mapPixel) {
    if (surface.Bits == nullptr) return;
    const int64_t bytesPerPixel = surface.Pitch / Columns;
    for (std::size_t i = 0; i < count; ++i) {
        const int32_t x = static_cast<int32_t>(cells[i] / MapHeight);
        const int32_t y = static_cast<int32_t>(cells[i] % MapHeight);
        if (x < surface.Width && y < surface.Height)
            PutPixel16(surface.Bits + x * bytesPerPixel + y * int64_t{surface.Pitch},
                       mapPixel[field[cells[i]]]);
    }
}
