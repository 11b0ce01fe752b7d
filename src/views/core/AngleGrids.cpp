// Angle grids: built once per angle and camera from the turn, then gathered through the rows'
// quotient tables.
#include "views/core/AngleGrids.h"

#include <algorithm>
#include <bit>

namespace {
constexpr int32_t Angles = 360;
} // namespace

TAngleGrids::TAngleGrids(size_t budget)
    : FCapacity(budget / sizeof(int32_t)), FScratch(new int32_t[MapCells]),
      FGrids(new TGrid[Angles]) {}

void TAngleGrids::Forget() {
    for (int32_t a = 0; a < Angles; ++a) {
        FGrids[a].Built = FGrids[a].Skipped = false;
        FGrids[a].Entries = nullptr;
    }
    FUsed = 0;
}

bool TAngleGrids::Project(int32_t angle, const TTurn& turn, TColumnSamples kernel,
                          const THeightArray& field, TProjHeightArray& out) {
    TGrid& grid = FGrids[angle];
    const bool sameTurn = std::bit_cast<uint32_t>(grid.Cf) == std::bit_cast<uint32_t>(turn.Cf) &&
                          std::bit_cast<uint32_t>(grid.Sf) == std::bit_cast<uint32_t>(turn.Sf);
    if (sameTurn && grid.Skipped) return false;
    if (!(sameTurn && grid.Built)) {
        // A grid rebuilt for other table entries leaves its old place unused until the camera
        // changes; the tables never change while the program runs.
        // The store is made (and touched) with the first grid, so the program's memory does not
        // move with the camera afterwards.
        if (!FStore) FStore.reset(new int32_t[FCapacity]());
        Build(turn, kernel, grid);
        Keep(grid);
    }
    Gather(grid, *turn.Cache, field, out);
    if (grid.Skipped) grid.Entries = nullptr; // it pointed into the scratch
    return true;
}

void TAngleGrids::Build(const TTurn& turn, TColumnSamples kernel, TGrid& grid) {
    size_t size = 0;
    for (int32_t x = 0; x < MapWidth; ++x) {
        int32_t sample[MapHeight];
        turn.Column(kernel, x, sample);
        int32_t lo = MapHeight, hi = -1;
        for (int32_t y = turn.First(x), last = turn.Last(x); y <= last; ++y)
            if (sample[y] >= 0) {
                lo = std::min(lo, y);
                hi = y;
            }
        grid.Offset[x] = static_cast<uint32_t>(size);
        grid.Lo[x] = static_cast<int16_t>(lo);
        grid.Count[x] = static_cast<int16_t>(hi >= lo ? hi - lo + 1 : 0);
        if (hi >= lo) size = std::copy(sample + lo, sample + hi + 1, FScratch.get() + size) - FScratch.get();
    }
    grid.Entries = FScratch.get();
    grid.Size = size;
    grid.Cf = turn.Cf;
    grid.Sf = turn.Sf;
    grid.Built = true;
    grid.Skipped = false;
}

void TAngleGrids::Keep(TGrid& grid) {
    if (FUsed + grid.Size > FCapacity) {
        grid.Built = false;
        grid.Skipped = true;
        return;
    }
    int32_t* kept = FStore.get() + FUsed;
    std::copy_n(grid.Entries, grid.Size, kept);
    grid.Entries = kept;
    FUsed += grid.Size;
}

void TAngleGrids::Gather(const TGrid& grid, const TCameraCache& k, const THeightArray& field,
                         TProjHeightArray& out) {
    const uint8_t* heights = field.data();
    for (int32_t x = 0; x < MapWidth; ++x) {
        const int32_t lo = grid.Lo[x], count = grid.Count[x];
        const int32_t* entries = grid.Entries + grid.Offset[x];
        uint8_t* outColumn = out.data() + CellIndex(x, lo);
        const uint8_t(*quotient)[256] = k.QuotientOf + lo;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t e = entries[i];
            if (e >= 0) outColumn[i] = quotient[i][heights[e]];
        }
    }
}
