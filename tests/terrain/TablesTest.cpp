// Tests of the square-root table, the colour ramps and the brush profiles.
#include "terrain/Tables.h"

#include <gtest/gtest.h>
#include <vector>

TEST(SqrtTable, RoundsTheRootAndKeepsEightBits) {
    TSqrtTable table;
    table.fill(0xEE);
    MakeSqrtTable(table);
    const std::pair<int, int> rows[] = {{0, 0},       {2, 1},     {3, 2},    {6, 2},
                                        {65280, 255}, {65281, 0}, {65535, 0}};
    for (auto [k, root] : rows)
        EXPECT_EQ(table[k], root) << k;
    for (int k = 1; k <= 65280; ++k) { // r is the rounded root of k iff r*r - r < k <= r*r + r
        const int r = table[k];
        ASSERT_TRUE(r * r - r < k && k <= r * r + r) << k;
    }
}

TEST(ColourRamps, YellowRampAndBlueTintedShadeMatchedInOrder) {
    std::vector<uint32_t> calls;
    const auto match565 = [&calls](uint32_t c) { // a 5-6-5 display, recording each request
        calls.push_back(c);
        return ((c & 0xF8) << 8) | ((c >> 5) & 0x7E0) | ((c >> 19) & 0x1F);
    };
    TMapPixelTable mapPixel{};
    TShadePixelTable shadePixel{};
    MakeColourRamps(match565, mapPixel, shadePixel);
    ASSERT_EQ(calls.size(), 512u);
    for (uint32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(calls[2 * i], RGBColour(i, i, 0)) << i;
        ASSERT_EQ(calls[2 * i + 1], RGBColour(i, i, (255 - i) / 3)) << i;
    }
    EXPECT_EQ(mapPixel[0], 0u);
    EXPECT_EQ(shadePixel[0], 85u >> 3); // match of (0, 0, 85)
    EXPECT_EQ(shadePixel[255], mapPixel[255]);
    EXPECT_EQ(mapPixel[255], 0xFFE0u);
}

TEST(BrushProfile, RadioItemsPickTheirRows) {
    const TBrushProfile gaussian{8, 8, 7, 7, 6, 5, 4, 3, 2, 2, 1, 1};
    const TBrushProfile square{8, 8, 8, 8, 8, 8, 8, 8, 8, 4, 2, 1};
    uint8_t mode = 0;
    TBrushProfile profile{};
    FillBrushProfile(mode, profile); // before any choice nothing changes
    EXPECT_EQ(profile, TBrushProfile{});

    SelectBrushMode(1, mode); // triangle, then Gaussian: nothing of the triangle may remain
    FillBrushProfile(mode, profile);
    EXPECT_EQ(profile, (TBrushProfile{6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1}));
    SelectBrushMode(0, mode);
    FillBrushProfile(mode, profile);
    EXPECT_EQ(profile, gaussian);

    SelectBrushMode(2, mode);
    for (int noItem : {-1, 3})
        SelectBrushMode(noItem, mode);
    EXPECT_EQ(mode, 3);
    FillBrushProfile(mode, profile);
    FillBrushProfile(4, profile);
    EXPECT_EQ(profile, square);
}
