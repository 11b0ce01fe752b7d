// Tests of the square-root table, the colour ramps and the brush profiles.
#include "terrain/Tables.h"

#include <gtest/gtest.h>
#include <vector>

TEST(SqrtTable, RoundsTheRootAndKeepsEightBits) {
    TSqrtTable table;
    table.fill(0xEE);
    MakeSqrtTable(table);
    const std::pair<int, int> rows[] = {{0, 0},     {1, 1},       {2, 1},       {3, 2},
                                        {6, 2},     {7, 3},       {65280, 255}, {65281, 0},
                                        {65535, 0}};
    for (auto [k, root] : rows) EXPECT_EQ(table[k], root) << k;
    // r is the rounded root of k exactly when r*r - r < k <= r*r + r.
    for (int k = 1; k <= 65280; ++k) {
        const int r = table[k];
        ASSERT_TRUE(r * r - r < k && k <= r * r + r) << k;
    }
}

namespace {
// A 5-6-5 display's colour match, recording each colour asked for.
struct TFake565 {
    std::vector<uint32_t>* Calls;
    uint32_t operator()(uint32_t colour) const {
        Calls->push_back(colour);
        const uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
        return ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3);
    }
};
} // namespace

TEST(ColourRamps, YellowRampAndBlueTintedShadeMatchedInOrder) {
    std::vector<uint32_t> calls;
    const TFake565 match{&calls};
    TMapPixelTable mapPixel{};
    TShadePixelTable shadePixel{};
    MakeColourRamps(match, mapPixel, shadePixel);

    ASSERT_EQ(calls.size(), 512u);
    for (uint32_t i = 0; i < 256; ++i) {
        ASSERT_EQ(calls[2 * i], RGBColour(i, i, 0)) << i;
        ASSERT_EQ(calls[2 * i + 1], RGBColour(i, i, (255 - i) / 3)) << i;
    }

    EXPECT_EQ(mapPixel[0], 0u); // black: the background of both views
    EXPECT_EQ(shadePixel[0], match(RGBColour(0, 0, 85)));
    EXPECT_EQ(shadePixel[255], mapPixel[255]);
    EXPECT_EQ(mapPixel[200], match(RGBColour(200, 200, 0)));
    EXPECT_EQ(shadePixel[100], match(RGBColour(100, 100, 51)));
}

TEST(BrushProfile, RadioItemsPickTheirRows) {
    const TBrushProfile gaussian{8, 8, 7, 7, 6, 5, 4, 3, 2, 2, 1, 1};
    const TBrushProfile triangle{6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1};
    const TBrushProfile square{8, 8, 8, 8, 8, 8, 8, 8, 8, 4, 2, 1};
    uint8_t mode = 0;
    TBrushProfile profile{};

    FillBrushProfile(mode, profile); // before any choice nothing changes
    EXPECT_EQ(profile, TBrushProfile{});

    SelectBrushMode(1, mode);
    FillBrushProfile(mode, profile);
    EXPECT_EQ(mode, 2);
    EXPECT_EQ(profile, triangle);
    SelectBrushMode(0, mode);
    FillBrushProfile(mode, profile);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(profile, gaussian); // every band rewritten, nothing of the triangle left

    SelectBrushMode(2, mode);
    FillBrushProfile(mode, profile);
    EXPECT_EQ(profile, square);

    for (int noItem : {-1, 3, 1000}) {
        SelectBrushMode(noItem, mode);
        EXPECT_EQ(mode, 3) << noItem;
    }
    FillBrushProfile(4, profile);
    FillBrushProfile(255, profile);
    EXPECT_EQ(profile, square);
}
