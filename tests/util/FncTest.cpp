// Tests of the small utilities: program folder, trigonometric tables, integer text.
#include "util/Fnc.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

TEST(FolderOf, KeepsOneSeparatorAtTheEnd) {
    const std::pair<const char*, const char*> rows[] = {
        {"/", "/"}, {"/voxel", "/"}, {"/a/b/voxel", "/a/b/"}, {"/a/b/", "/a/b/"}, {"voxel", "./"}};
    for (auto [path, folder] : rows)
        EXPECT_EQ(FolderOf(path), folder) << path;
}

TEST(MakeTrigTables, QuarterTurnsMatchTheSinglePrecisionAngle) {
    TTrigTable sinTable{}, cosTable{};
    MakeTrigTables(sinTable, cosTable);
    EXPECT_EQ(sinTable[0], 0.0f);
    EXPECT_EQ(cosTable[0], 1.0f);
    // The angle is rounded to single precision, so the zeros of sine and cosine are a hair off.
    const struct {
        int degrees;
        double sine, cosine;
    } rows[] = {{90, 1.0, -4.371139e-8}, {180, -8.742278e-8, -1.0}, {270, -1.0, 1.192488e-8}};
    for (const auto& row : rows) {
        EXPECT_NEAR(sinTable[row.degrees], row.sine, std::fabs(row.sine) * 5e-7) << row.degrees;
        EXPECT_NEAR(cosTable[row.degrees], row.cosine, std::fabs(row.cosine) * 5e-7) << row.degrees;
    }
}

TEST(TextToInt32, AcceptsSignAndDigitsWithinRangeOnly) {
    const std::optional<int32_t> none;
    const std::pair<const char*, std::optional<int32_t>> rows[] = {{"2147483647", INT32_MAX},
                                                                   {"-2147483648", INT32_MIN},
                                                                   {"2147483648", none},
                                                                   {"-2147483649", none},
                                                                   {"99999999999999999999", none},
                                                                   {"+5", 5},
                                                                   {"-0", 0},
                                                                   {"007", 7},
                                                                   {"-", none},
                                                                   {"", none},
                                                                   {" 5", none},
                                                                   {"5x", none},
                                                                   {"--5", none}};
    for (auto [text, value] : rows)
        EXPECT_EQ(TextToInt32(text), value) << '"' << text << '"';
}
