// The drawing pass: the general path that looks at each pixel it may write, and the blank-surface
// construction with its plain kernels.
#include "views/core/Bars.h"

#include <algorithm>
#include <cstring>

using namespace BlankBars;

namespace {

constexpr int32_t Columns = MapWidth;
constexpr int32_t Rows = MapHeight;

// The clip within the surface, and what every column of the general path shares.
struct TBarsTarget {
    uint8_t* Bits;
    int64_t Pitch, BytesPerPixel;
    const uint16_t* Colour; // of each running value
    int32_t Left, Right, Top, Bottom;
};

// Rows Skyline ... min(y, Bottom) of a column hold pixels this pass drew (so non-zero): a bar
// starting there stops at once without a look, and one starting above it can only meet its own
// rows' old pixels before the skyline. Only an old non-zero pixel met on the way breaks that
// picture; the column then goes on pixel by pixel.
struct TSkyline {
    int32_t Row;
    bool Tracked;
};

// Writes the bar of entry v at row y down its column from its first row in the clip until a
// non-zero pixel; the value falls by 2 per row over (v + 1) div 2 rows.
void DrawBar(const TBarsTarget& t, uint8_t* pixels, int32_t y, int32_t v, TSkyline& sky) {
    const int32_t barTop = y - v / 2;
    const int32_t from = std::max(barTop, t.Top);
    int32_t to = std::min(barTop + (v + 1) / 2 - 1, t.Bottom);
    if (sky.Tracked) {
        if (from >= sky.Row) return;
        to = std::min(to, sky.Row - 1);
    }
    if (from > to) return;
    int32_t value = v - 2 * (from - barTop);
    uint8_t* p = pixels + from * t.Pitch;
    int32_t py = from;
    for (; py <= to; ++py, value -= 2, p += t.Pitch) {
        uint16_t old;
        std::memcpy(&old, p, 2);
        if (old != 0) break; // a nearer bar, or what the surface held
        std::memcpy(p, &t.Colour[value], 2);
    }
    if (!sky.Tracked) return;
    if (py <= to)
        sky.Tracked = false;
    else
        sky.Row = from;
}

// One column, nearest row first; eight empty entries are skipped at once (most of a column is
// empty).
void DrawColumn(const TBarsTarget& t, const uint8_t* column, int32_t x, bool allVisible) {
    uint8_t* pixels = t.Bits + x * t.BytesPerPixel;
    TSkyline sky{allVisible ? t.Bottom + 1 : t.Top, allVisible};
    for (int32_t block = Rows - 8; block >= 0; block -= 8) {
        uint64_t eight;
        std::memcpy(&eight, column + block, 8);
        if (eight == 0) continue;
        for (int32_t y = block + 7; y >= block; --y)
            if (column[y] != 0) DrawBar(t, pixels, y, column[y], sky);
    }
}

// Whether every pixel of the target holds 0.
bool BlankArea(const TBarsTarget& t, TBlankRows blankRows) {
    if (t.BytesPerPixel == 2) return blankRows(t.Bits, t.Pitch, t.Left, t.Right, t.Top, t.Bottom);
    for (int32_t y = t.Top; y <= t.Bottom; ++y)
        for (int32_t x = t.Left; x <= t.Right; ++x) {
            uint16_t pixel;
            std::memcpy(&pixel, t.Bits + y * t.Pitch + x * t.BytesPerPixel, 2);
            if (pixel != 0) return false;
        }
    return true;
}

void DrawBlank(const TBarsKernels& kernels, const TBlankBars& b) {
    alignas(32) uint16_t strip[StripColumns][StripRows];
    for (int32_t x0 = b.Left; x0 <= b.Right; x0 += StripColumns) {
        const int32_t n = std::min(StripColumns, b.Right - x0 + 1);
        for (int32_t i = 0; i < n; ++i)
            kernels.BlankColumn(b, x0 + i, strip[i] + StripPad);
        kernels.StripToSurface(b, strip, n, x0);
    }
}

// Fills rows [from, end) of a strip column with the colours of the bar of entry v whose top is
// barTop, starting at row from. Runs spill only above from, into rows not final yet.
void WriteSegment(const TBlankBars& b, uint16_t* column, int32_t v, int32_t barTop, int32_t from,
                  int32_t end) {
    const int32_t value = v - 2 * (from - barTop);
    const uint16_t* sequence = b.Sequence[v & 1] + SequencePad + ((v & 1 ? 255 : 254) - value) / 2;
    for (int32_t e = end; e > from; e -= Run)
        std::memcpy(column + e - Run, sequence + (e - Run - from), Run * 2);
}

// Clears rows [top, end) of a strip column (spilling only above top).
void ClearAbove(uint16_t* column, int32_t top, int32_t end) {
    for (int32_t e = end; e > top; e -= Run)
        std::memset(column + e - Run, 0, Run * 2);
}

} // namespace

const TBarsKernels PlainBarsKernels{&BlankColumnPlain, &StripToSurfacePlain, &BlankRowsPlain};

void BlankColumnPlain(const TBlankBars& b, int32_t x, uint16_t* column) {
    const uint8_t* entries = b.Proj + CellIndex(x, 0);
    int32_t sky = b.Bottom + 1;
    for (int32_t block = Rows - 8; block >= 0; block -= 8) {
        uint64_t eight;
        std::memcpy(&eight, entries + block, 8);
        if (eight == 0) continue;
        for (int32_t y = block + 7; y >= block; --y) {
            const int32_t v = entries[y];
            const int32_t barTop = y - v / 2;
            if (v == 0 || barTop >= sky) continue;
            const int32_t from = std::max(barTop, b.Top);
            if (from > std::min(barTop + (v + 1) / 2 - 1, sky - 1)) continue;
            WriteSegment(b, column, v, barTop, from, sky);
            sky = from;
        }
    }
    ClearAbove(column, b.Top, sky);
}

void StripToSurfacePlain(const TBlankBars& b, const uint16_t (*strip)[StripRows], int32_t n,
                         int32_t x0) {
    for (int32_t y = b.Top; y <= b.Bottom; ++y)
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(b.Bits + (x0 + i) * b.BytesPerPixel + y * b.Pitch, &strip[i][StripPad + y],
                        2);
}

bool BlankRowsPlain(const uint8_t* bits, int64_t pitch, int32_t left, int32_t right, int32_t top,
                    int32_t bottom) {
    const int64_t bytes = 2 * int64_t{right - left + 1};
    for (int32_t y = top; y <= bottom; ++y) {
        const uint8_t* p = bits + y * pitch + 2 * left;
        uint64_t any = 0;
        int64_t i = 0;
        for (; i + 8 <= bytes; i += 8) {
            uint64_t eight;
            std::memcpy(&eight, p + i, 8);
            any |= eight;
        }
        for (; i < bytes; ++i)
            any |= p[i];
        if (any != 0) return false;
    }
    return true;
}

bool BarsWriteWholeClip(const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel) {
    for (int32_t v = 1; v < 256; ++v)
        if (BarColour(v, mapPixel, shadePixel) == 0) return false;
    return true;
}

void DrawBarsWith(const TBarsKernels& kernels, const TProjHeightArray& proj,
                  const TLockedSurface& surface, const TMapPixelTable& mapPixel,
                  const TShadePixelTable& shadePixel, const TRect& clip) {
    if (surface.Bits == nullptr) return;
    // The clip within the surface: no pixel outside it is read or written.
    const int32_t left = std::max(clip.Left, 0);
    const int32_t right = std::min({clip.Right, Columns - 1, surface.Width - 1});
    const int32_t top = std::max(clip.Top, 0);
    const int32_t bottom = std::min({clip.Bottom, Rows - 1, surface.Height - 1});
    if (left > right || top > bottom) return;

    uint16_t colour[256];
    for (int32_t v = 0; v < 256; ++v)
        colour[v] = BarColour(v, mapPixel, shadePixel);
    // Every bar colour non-zero (BarsWriteWholeClip's rule, on the colours just made), so
    // whatever a bar draws stays drawn.
    const bool allVisible =
        std::none_of(colour + 1, colour + 256, [](uint16_t c) { return c == 0; });
    const int64_t pitch = surface.Pitch;
    const TBarsTarget target{surface.Bits, pitch, pitch / Columns, colour, left,
                             right,        top,   bottom};
    if (allVisible && (surface.Blank || BlankArea(target, kernels.BlankRows))) {
        alignas(32) uint16_t even[SequenceLength] = {}, odd[SequenceLength] = {};
        for (int32_t j = 0; j < 127; ++j)
            even[SequencePad + j] = colour[254 - 2 * j];
        for (int32_t j = 0; j < 128; ++j)
            odd[SequencePad + j] = colour[255 - 2 * j];
        DrawBlank(kernels, {proj.data(),
                            surface.Bits,
                            pitch,
                            target.BytesPerPixel,
                            {even, odd},
                            colour,
                            left,
                            right,
                            top,
                            bottom});
        return;
    }
    for (int32_t x = left; x <= right; ++x)
        DrawColumn(target, proj.data() + CellIndex(x, 0), x, allVisible);
}
