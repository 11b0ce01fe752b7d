// The mean by column sums: each column's three-row sums are made once and shared by its three
// neighbours, so a pass is a few additions a cell.
#include "terrain/LevelOut.h"

#include <algorithm>
#include <array>

namespace {

// The sums of the 3-cell runs down one column, the rows beyond the edges read at the edge.
void ColumnSums(const uint8_t* column, std::array<uint16_t, MapHeight>& sums) {
    for (int32_t y = 0; y < MapHeight; ++y)
        sums[y] = static_cast<uint16_t>(column[std::max(y - 1, 0)] + column[y] +
                                        column[std::min(y + 1, MapHeight - 1)]);
}

} // namespace

void LevelOut(THeightArray& field) {
    // Three columns of sums roll along x: the left, this and the right one, from the old field.
    std::array<std::array<uint16_t, MapHeight>, 3> sums;
    ColumnSums(&field[CellIndex(0, 0)], sums[0]); // column -1 reads as column 0
    ColumnSums(&field[CellIndex(0, 0)], sums[1]);
    for (int32_t x = 0; x < MapWidth; ++x) {
        const int32_t right = std::min(x + 1, MapWidth - 1);
        std::array<uint16_t, MapHeight>& left = sums[x % 3];
        std::array<uint16_t, MapHeight>& here = sums[(x + 1) % 3];
        std::array<uint16_t, MapHeight>& next = sums[(x + 2) % 3];
        ColumnSums(&field[CellIndex(right, 0)], next); // read before column x is overwritten
        uint8_t* column = &field[CellIndex(x, 0)];
        for (int32_t y = 0; y < MapHeight; ++y)
            column[y] = static_cast<uint8_t>((left[y] + here[y] + next[y] + 4) / 9);
    }
}
