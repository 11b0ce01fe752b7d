// 잡음: the amounts stay within 64 div 변화 억제 and reach both ends, their mean is near zero,
// the ends of the height range clamp, and a seed fixes the numbers.
#include "terrain/FieldNoise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "terrain/FieldRandom.h"
#include "util/Exceptions.h"

TEST(FieldNoiseTest, AmountsWithin64DivDampingWithAMeanNearZero) {
    for (const int damping : {1, 2, 3, 21, 64, 65, 128, 255}) {
        SCOPED_TRACE(damping);
        THeightArray field;
        field.fill(128);
        AddNoise(field, static_cast<uint8_t>(damping), 5);
        const int32_t amplitude = 64 / damping;
        int32_t least = 0, most = 0;
        int64_t sum = 0;
        for (const uint8_t cell : field) {
            least = std::min(least, cell - 128);
            most = std::max(most, cell - 128);
            sum += cell - 128;
        }
        EXPECT_EQ(least, -amplitude); // both ends are reached, and nothing beyond
        EXPECT_EQ(most, amplitude);
        // One standard error of the mean is about 0.13 at damping 1.
        EXPECT_LT(std::abs(static_cast<double>(sum) / MapCells), 0.5);
    }
}

TEST(FieldNoiseTest, ClampsAtTheEndsOfTheRange) {
    for (const uint8_t start : {uint8_t{0}, uint8_t{255}}) {
        THeightArray field;
        field.fill(start);
        AddNoise(field, 1, 9);
        int32_t kept = 0;
        for (const uint8_t cell : field) {
            EXPECT_LE(std::abs(cell - start), 64);
            kept += cell == start;
        }
        // The half of the draws that point out of the range stay at the end.
        EXPECT_NEAR(kept, MapCells * 65 / 129, MapCells / 50) << int{start};
    }
}

TEST(FieldNoiseTest, ASeedFixesTheFieldAndDampingZeroFaults) {
    // SplitMix64's first outputs for seed 0: the generator is ours, not a library's.
    TFieldRandom random(0);
    EXPECT_EQ(random.Next(), 0xE220A8397B1DCDAFu);
    EXPECT_EQ(random.Next(), 0x6E789E6AA1B965F4u);
    EXPECT_EQ(random.Between(-64, 64), ((0x06C45D188009454Fu >> 32) * 129 >> 32) - 64);

    THeightArray a, b, c;
    a.fill(100);
    b.fill(100);
    c.fill(100);
    AddNoise(a, 2, ClickSeed(7, 1));
    AddNoise(b, 2, ClickSeed(7, 1));
    AddNoise(c, 2, ClickSeed(7, 2));
    EXPECT_EQ(a, b);
    EXPECT_NE(a, c);

    EXPECT_THROW(AddNoise(a, 0, 1), EDivByZero);
    EXPECT_EQ(a, b);
}
