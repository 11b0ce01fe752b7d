// The height field: 320 columns by 240 rows of bytes, column-major.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int32_t MapWidth = 320;
constexpr int32_t MapHeight = 240;
constexpr int32_t MapCells = MapWidth * MapHeight; // 76,800: also the size of "Map.Dat"

// Cell (x, y) is byte x * 240 + y: the 240 cells of column 0 first, then column 1, ...
using THeightArray = std::array<uint8_t, MapCells>;

inline constexpr std::size_t CellIndex(int32_t x, int32_t y) {
    return static_cast<std::size_t>(x) * MapHeight + static_cast<std::size_t>(y);
}
