// The brush: worked examples by band, byte-range refusals, repainting, pitch, the division
// errors, and agreement with the plain transcription for extreme and random inputs.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "util/Exceptions.h"
#include "ViewsTestSupport.h"
#include "views/core/Brush.h"

namespace {

class BrushTest : public testing::Test {
  protected:
    BrushTest() {
        // Distinct non-zero pixels, so every repainted cell is visible and tells its height.
        for (int32_t i = 0; i < 256; ++i) Pixel[i] = static_cast<uint16_t>(0x1000 + i);
    }
    void Brush(int32_t cx, int32_t cy, int32_t radius, uint8_t mode, int brushShape,
               uint8_t divisor = 1) {
        TBrushParams params;
        params.Radius = radius;
        params.Divisor = divisor;
        params.Mode = mode;
        ApplyBrush(Field, Surface.Lock, cx, cy, params, Ref::Profile(brushShape), T.Sqrt, Pixel);
    }
    int At(int32_t x, int32_t y) const { return Field[CellIndex(x, y)]; }

    TViewTables T;
    TMapPixelTable Pixel;
    THeightArray Field{};
    Ref::TMemorySurface Surface;
};

TEST_F(BrushTest, RadiusOneRaisesCentreByEightAndTheFourNeighboursByOne) {
    Brush(10, 10, 1, bmRaise, 1);
    THeightArray expected{};
    expected[CellIndex(10, 10)] = 8;
    for (auto [x, y] : {std::pair{9, 10}, {11, 10}, {10, 9}, {10, 11}}) expected[CellIndex(x, y)] = 1;
    EXPECT_EQ(FirstDifference(Field, expected), "");
    EXPECT_EQ(Surface.Pixel(10, 10), Pixel[8]);
    EXPECT_EQ(Surface.Pixel(11, 10), Pixel[1]);
    EXPECT_EQ(Surface.Pixel(11, 11), 0); // diagonal: d² = 2 > R²
}

TEST_F(BrushTest, SquareRadiusFiftyRisesByDistanceBand) {
    Field.fill(100);
    Brush(160, 120, 50, bmRaise, 3);
    int32_t changed = 0;
    for (int32_t x = 0; x < 320; ++x) {
        for (int32_t y = 0; y < 240; ++y) {
            const int32_t d2 = (x - 160) * (x - 160) + (y - 120) * (y - 120);
            const int dist = T.Sqrt[d2 < 65536 ? d2 : 65535];
            const int rise = d2 > 2500 ? 0 : dist <= 37 ? 8 : dist <= 41 ? 4 : dist <= 45 ? 2 : 1;
            ASSERT_EQ(At(x, y), 100 + rise) << x << ", " << y;
            changed += rise > 0;
        }
    }
    EXPECT_EQ(changed, 7845); // lattice points of the disc of radius 50, rim included
}

TEST_F(BrushTest, ChangesThatWouldLeaveTheByteAreRefusedNotClamped) {
    struct TRow {
        uint8_t Mode;
        uint8_t Centre, Neighbour;       // before; the neighbour is (161, 120), also band 0
        uint8_t CentreAfter, NeighbourAfter;
    };
    for (const TRow& row : {TRow{bmRaise, 250, 240, 250, 248}, TRow{bmRaise, 247, 248, 255, 248},
                            TRow{bmLower, 3, 10, 3, 2}, TRow{bmLower, 8, 7, 0, 7}}) {
        Field.fill(0);
        Field[CellIndex(160, 120)] = row.Centre;
        Field[CellIndex(161, 120)] = row.Neighbour;
        Brush(160, 120, 50, row.Mode, 3);
        EXPECT_EQ(At(160, 120), row.CentreAfter) << int(row.Centre);
        EXPECT_EQ(At(161, 120), row.NeighbourAfter) << int(row.Neighbour);
    }
}

TEST_F(BrushTest, CentreOnePastTheCornerTouchesOnlyTheCornerQuarterDisc) {
    Brush(320, 240, 10, bmRaise, 3);
    for (int32_t x = 0; x < 320; ++x)
        for (int32_t y = 0; y < 240; ++y) {
            const bool inDisc = (x - 320) * (x - 320) + (y - 240) * (y - 240) <= 100;
            ASSERT_EQ(At(x, y) > 0, inDisc) << x << ", " << y;
        }
}

// No button: heights stay, and exactly the disc (rim included) is repainted from them, at the
// surface's own pitch (704 gives two bytes per pixel and 64 bytes of padding per row).
TEST_F(BrushTest, ModeNoneRepaintsTheDiscAtTheSurfacePitch) {
    for (int32_t pitch : {640, 704}) {
        Ref::TMemorySurface surface(pitch);
        std::memset(surface.Bytes.data(), 0xEE, surface.Bytes.size());
        Field = Ref::SmoothField(3);
        const THeightArray before = Field;
        std::vector<uint8_t> expected = surface.Bytes;
        for (int32_t x = 0; x < 320; ++x)
            for (int32_t y = 0; y < 240; ++y)
                if ((x - 100) * (x - 100) + (y - 60) * (y - 60) <= 40 * 40)
                    std::memcpy(&expected[x * (pitch / 320) + y * pitch],
                                &Pixel[Field[CellIndex(x, y)]], 2);
        TBrushParams params;
        params.Radius = 40;
        params.Mode = bmNone;
        ApplyBrush(Field, surface.Lock, 100, 60, params, Ref::Profile(1), T.Sqrt, Pixel);
        EXPECT_EQ(FirstDifference(Field, before), "");
        EXPECT_EQ(FirstDifference(surface.Bytes, expected, pitch), "") << "pitch " << pitch;
    }
}

TEST_F(BrushTest, ZeroRadiusOrDivisorRaisesOnlyWhenACellNeedsTheDivision) {
    struct TRow {
        int32_t Radius;
        uint8_t Divisor;
        int32_t Cx, Cy;
        bool Raises;
    };
    for (const TRow& row : {TRow{0, 1, 10, 10, true}, TRow{50, 0, 10, 10, true},
                            TRow{0, 0, 160, 120, true}, TRow{0, 1, 320, 240, false},
                            TRow{50, 0, -100, -100, false}, TRow{-1, 0, 10, 10, false}}) {
        Field = Ref::SmoothField(5);
        const THeightArray before = Field;
        bool raised = false;
        try {
            Brush(row.Cx, row.Cy, row.Radius, bmRaise, 1, row.Divisor);
        } catch (const EDivByZero& e) {
            raised = true;
            EXPECT_STREQ(e.what(), "Division by zero");
        }
        EXPECT_EQ(raised, row.Raises) << row.Radius << " " << int(row.Divisor);
        // Every cell before the failing one lies outside the disc: nothing was changed.
        EXPECT_EQ(FirstDifference(Field, before), "");
        EXPECT_EQ(std::count(Surface.Bytes.begin(), Surface.Bytes.end(), 0), Surface.Bytes.size());
    }
}

// Runs production and reference on copies of the same state and compares everything they
// leave: cells, surface bytes, and whether (and what) they raised.
void ExpectSameAsReference(const THeightArray& field, int32_t pitch, int32_t height,
                           int32_t cx, int32_t cy, const TBrushParams& params,
                           const TBrushProfile& profile, const TViewTables& t,
                           const std::string& what) {
    THeightArray fast = field, plain = field;
    Ref::TMemorySurface fastSurface(pitch, 320, height), plainSurface(pitch, 320, height);
    EXPECT_EQ(ErrorOf([&] {
                  ApplyBrush(fast, fastSurface.Lock, cx, cy, params, profile, t.Sqrt, t.MapPixel);
              }),
              ErrorOf([&] {
                  Ref::ApplyBrush(plain, plainSurface.Lock, cx, cy, params, profile, t.Sqrt, t.MapPixel);
              }))
        << what;
    EXPECT_EQ(FirstDifference(fast, plain), "") << what;
    EXPECT_EQ(FirstDifference(fastSurface.Bytes, plainSurface.Bytes, pitch), "") << what;
}

TEST_F(BrushTest, ExtremeRadiiCentresAndDivisorsMatchTheReference) {
    const THeightArray field = Ref::NoiseField(9);
    for (int32_t radius : {-1, 0, 1, 201, 255, 256, 300, 46340, 46341, 65535, INT32_MAX, INT32_MIN})
        for (int32_t divisor : {0, 1, 255})
            for (auto [cx, cy] : {std::pair{160, 120}, {0, 0}, {320, 240}, {-5000, 100},
                                  {50000, 0}, {INT32_MIN, INT32_MAX}})
                for (uint8_t mode : {bmRaise, bmLower}) {
                    TBrushParams params;
                    params.Radius = radius;
                    params.Divisor = static_cast<uint8_t>(divisor);
                    params.Mode = mode;
                    ExpectSameAsReference(field, 640, 240, cx, cy, params, Ref::Profile(1), T,
                                          "R " + std::to_string(radius) + " div " +
                                              std::to_string(divisor) + " at " +
                                              std::to_string(cx) + ", " + std::to_string(cy));
                }
}

TEST_F(BrushTest, RandomStrokesMatchTheReferenceCellForCellAndPixelForPixel) {
    TRandom random(20240601);
    for (int trial = 0; trial < 400; ++trial) {
        const THeightArray field = random.Range(0, 1) ? Ref::NoiseField(static_cast<uint32_t>(trial))
                                                      : Ref::SmoothField(static_cast<uint32_t>(trial));
        TBrushParams params;
        params.Radius = static_cast<int32_t>(random.Pick<int64_t>(
            {random.Range(-3, 60), random.Range(0, 300), random.Range(-2, 70000),
             random.Range(INT32_MIN, INT32_MAX)}));
        params.Divisor = static_cast<uint8_t>(random.Pick<int64_t>({1, 2, random.Range(0, 255)}));
        params.Mode = static_cast<uint8_t>(random.Range(0, 3));
        params.Rows = static_cast<int32_t>(random.Pick<int64_t>({240, random.Range(-5, 300)}));
        TBrushProfile profile = Ref::Profile(static_cast<int>(random.Range(1, 3)));
        if (random.Range(0, 3) == 0)
            for (int32_t& p : profile)
                p = static_cast<int32_t>(random.Pick<int64_t>(
                    {random.Range(-300, 300), random.Range(INT32_MIN, INT32_MAX)}));
        const int32_t cx = static_cast<int32_t>(random.Pick<int64_t>(
            {random.Range(0, 320), random.Range(-400, 700), random.Range(INT32_MIN, INT32_MAX)}));
        const int32_t cy = static_cast<int32_t>(random.Pick<int64_t>(
            {random.Range(0, 240), random.Range(-400, 700), random.Range(INT32_MIN, INT32_MAX)}));
        const int32_t pitch = random.Pick<int32_t>({640, 704, 1280});
        const int32_t height = random.Pick<int32_t>({240, 240, 100});
        ExpectSameAsReference(field, pitch, height, cx, cy, params, profile, T,
                              "trial " + std::to_string(trial));
        if (HasFailure()) break;
    }
}

} // namespace
