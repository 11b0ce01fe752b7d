// Angle grids: found by the first turn at an angle, then the rows later turns look at.
#include "views/core/AngleGrids.h"

#include <algorithm>
#include <bit>

namespace {
constexpr size_t Angles = 360;
} // namespace

TAngleGrids::TAngleGrids(size_t budget)
    : FCapacity(std::min(budget / OneGrid, Angles)), FStore(new TRows[FCapacity * MapWidth]),
      FGrids(new TGrid[Angles]) {}

void TAngleGrids::Forget() {
    for (size_t a = 0; a < Angles; ++a)
        FGrids[a] = TGrid{};
    FUsed = 0;
}

void TAngleGrids::Project(int32_t angle, const TTurn& turn, const TTurnKernels& kernels,
                          const THeightArray& field, TProjHeightArray& out) {
    TGrid& grid = FGrids[static_cast<size_t>(angle)];
    const bool sameTurn = std::bit_cast<uint32_t>(grid.Cf) == std::bit_cast<uint32_t>(turn.Cf) &&
                          std::bit_cast<uint32_t>(grid.Sf) == std::bit_cast<uint32_t>(turn.Sf);
    if (grid.Rows != nullptr && sameTurn) return TurnColumns(turn, kernels, grid.Rows, field, out);
    // New, or for other table entries (found again in its place).
    if (grid.Rows == nullptr && FUsed == FCapacity)
        return TurnColumns(turn, kernels, nullptr, field, out); // no room
    if (grid.Rows == nullptr) grid.Rows = FStore.get() + MapWidth * FUsed++;
    grid.Cf = turn.Cf;
    grid.Sf = turn.Sf;
    TurnColumns(turn, kernels, nullptr, field, out, grid.Rows);
}
