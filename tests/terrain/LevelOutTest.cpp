// 평준화: exact means at corners, edges, around a plateau and at the rounding step, and a
// random field against the plain 3 x 3 sum with clamped reads.
#include "terrain/LevelOut.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "terrain/FieldRandom.h"

namespace {

// (the 3 x 3 sum + 4) div 9, a neighbour outside read at the nearest edge cell.
THeightArray PlainMean(const THeightArray& field) {
    THeightArray out{};
    for (int32_t x = 0; x < MapWidth; ++x)
        for (int32_t y = 0; y < MapHeight; ++y) {
            int32_t sum = 0;
            for (int32_t dx = -1; dx <= 1; ++dx)
                for (int32_t dy = -1; dy <= 1; ++dy)
                    sum += field[CellIndex(std::clamp(x + dx, 0, MapWidth - 1),
                                           std::clamp(y + dy, 0, MapHeight - 1))];
            out[CellIndex(x, y)] = static_cast<uint8_t>((sum + 4) / 9);
        }
    return out;
}

} // namespace

TEST(LevelOutTest, MeansAtCornersEdgesAndAPlateau) {
    THeightArray field{};
    field[CellIndex(319, 239)] = 255; // corners: read four times
    field[CellIndex(0, 239)] = 30;
    field[CellIndex(319, 0)] = 60;
    field[CellIndex(100, 0)] = 90; // an edge: read twice by its row
    field[CellIndex(50, 50)] = 5;  // the +4: 5 rounds up to 1, 4 down to 0
    field[CellIndex(60, 60)] = 4;
    for (int32_t x = 150; x <= 154; ++x) // a plateau of 200, 5 x 5
        for (int32_t y = 100; y <= 104; ++y)
            field[CellIndex(x, y)] = 200;
    LevelOut(field);
    struct TRow {
        int32_t X, Y;
        uint8_t Height;
    };
    const TRow rows[] = {
        {319, 239, 113}, {318, 239, 57}, {319, 238, 57},  {318, 238, 28},  {0, 239, 13},
        {1, 239, 7},     {0, 238, 7},    {319, 0, 27},    {318, 0, 13},    {0, 0, 0},
        {100, 0, 20},    {99, 0, 20},    {100, 1, 10},    {101, 1, 10},    {50, 50, 1},
        {51, 51, 1},     {60, 60, 0},    {152, 102, 200}, {151, 101, 200}, {150, 100, 89},
        {150, 102, 133}, {154, 104, 89}, {149, 102, 67},  {152, 105, 67},  {149, 99, 22},
        {155, 105, 22},  {156, 102, 0},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(field[CellIndex(row.X, row.Y)], row.Height) << row.X << ", " << row.Y;
}

TEST(LevelOutTest, RandomFieldsMatchThePlainSumAndRepeatedPassesSmoothFurther) {
    THeightArray field{};
    TFieldRandom random(11);
    for (uint8_t& cell : field)
        cell = static_cast<uint8_t>(random.Next() >> 56);
    const auto roughness = [](const THeightArray& f) {
        int64_t sum = 0;
        for (int32_t x = 1; x < MapWidth; ++x)
            for (int32_t y = 0; y < MapHeight; ++y)
                sum += std::abs(f[CellIndex(x, y)] - f[CellIndex(x - 1, y)]);
        return sum;
    };
    int64_t last = roughness(field);
    for (int pass = 0; pass < 3; ++pass) {
        const THeightArray expected = PlainMean(field);
        LevelOut(field);
        ASSERT_EQ(field, expected) << "pass " << pass;
        EXPECT_LT(roughness(field), last);
        last = roughness(field);
    }
}
