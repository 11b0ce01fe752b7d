// Tests of the small utilities: program folder, trigonometric tables, integer text, hit test.
#include "util/Fnc.h"
#include "util/Geometry.h"

#include <climits>
#include <cmath>
#include <gtest/gtest.h>

TEST(AppPathOf, KeepsOneSeparatorAtTheEnd) {
    const struct {
        const char* exePath;
        const char* folder;
    } rows[] = {
        {"/", "/"}, {"/voxel", "/"}, {"/a/b/voxel", "/a/b/"}, {"/a/b/", "/a/b/"}, {"voxel", "./"},
    };
    for (const auto& row : rows) EXPECT_EQ(AppPathOf(row.exePath), row.folder) << row.exePath;
}

TEST(GetAppPath, IsTheFolderOfThisTestProgram) {
    const std::string path = GetAppPath();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(path.back(), '/');
    EXPECT_NE(path.substr(path.size() - 2), "//");
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
    } rows[] = {
        {90, 1.0, -4.371139e-8}, {180, -8.742278e-8, -1.0}, {270, -1.0, 1.192488e-8}};
    for (const auto& row : rows) {
        EXPECT_NEAR(sinTable[row.degrees], row.sine, std::fabs(row.sine) * 5e-7) << row.degrees;
        EXPECT_NEAR(cosTable[row.degrees], row.cosine, std::fabs(row.cosine) * 5e-7) << row.degrees;
    }
    for (int i = 0; i < 360; ++i) {
        const double a = i * 3.14159265358979323846 / 180.0;
        EXPECT_NEAR(sinTable[i], std::sin(a), 1e-6) << i;
        EXPECT_NEAR(cosTable[i], std::cos(a), 1e-6) << i;
    }
}

TEST(TextToInt32, AcceptsSignAndDigitsWithinRangeOnly) {
    const struct {
        const char* text;
        std::optional<int32_t> value;
    } rows[] = {
        {"0", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"+5", 5},
        {"-0", 0},
        {"007", 7},
        {"-", std::nullopt},
        {"+", std::nullopt},
        {"", std::nullopt},
        {" 5", std::nullopt},
        {"5 ", std::nullopt},
        {"5x", std::nullopt},
        {"--5", std::nullopt},
    };
    for (const auto& row : rows) EXPECT_EQ(TextToInt32(row.text), row.value) << '"' << row.text << '"';
}

TEST(PointInRect, BothEdgesBelongToTheRectangle) {
    const TRect r{10, 20, 30, 40};
    EXPECT_TRUE(PointInRect({10, 20}, r));
    EXPECT_TRUE(PointInRect({30, 40}, r));
    EXPECT_FALSE(PointInRect({9, 20}, r));
    EXPECT_FALSE(PointInRect({31, 40}, r));
    EXPECT_FALSE(PointInRect({10, 19}, r));
    EXPECT_FALSE(PointInRect({10, 41}, r));
}
