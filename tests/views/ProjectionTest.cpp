// The renderer's passes: worked examples of the projection and the bars, camera extremes, the
// division error, occlusion, and agreement with the plain transcription for random inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "util/Exceptions.h"
#include "views/core/KernelChoice.h"
#include "views/core/X86Kernels.h"
#include "ViewsTestSupport.h"

namespace {

constexpr TRect FullClip{0, 0, 319, 239};

// "" when every renderer and the reference leave the same buffer and raise the same error,
// else what differs.
std::string CompareWithReference(std::vector<TVoxelRenderer>& renderers, const THeightArray& field,
                                 const TCamera& camera, const TTrigTable& sinTable,
                                 const TTrigTable& cosTable, const TRect& clip) {
    TProjHeightArray fast{}, plain{};
    const std::string plainError =
        ErrorOf([&] { Ref::ProjectField(field, camera, sinTable, cosTable, clip, plain); });
    for (TVoxelRenderer& renderer : renderers) {
        const std::string fastError =
            ErrorOf([&] { renderer.ProjectField(field, camera, sinTable, cosTable, clip, fast); });
        const std::string difference = fastError != plainError
                                           ? "error \"" + fastError + "\" vs \"" + plainError + "\""
                                           : FirstDifference(fast, plain);
        if (!difference.empty()) return testing::PrintToString(renderer.Options()) + ": " + difference;
    }
    return "";
}

class ProjectionTest : public testing::Test {
  protected:
    TProjHeightArray Project(const THeightArray& field, const TCamera& camera,
                             const TRect& clip = FullClip) {
        TProjHeightArray out;
        out.fill(7); // the pass clears it
        Renderer.ProjectField(field, camera, T.Sin, T.Cos, clip, out);
        return out;
    }
    // The colour of a bar pixel of running value v.
    uint16_t Colour(int32_t v) const {
        return v > 32 ? T.MapPixel[v] : static_cast<uint16_t>(T.ShadePixel[v] & 0xFFFF);
    }
    static TCamera Camera(int32_t cameraZ, uint16_t camRot = 0) {
        TCamera camera;
        camera.CameraZ = cameraZ;
        camera.HorizonOffset = HorizonOffsetFor(cameraZ, camera.CameraY);
        camera.CamRot = camRot;
        return camera;
    }

    TViewTables T;
    Ref::TMemorySurface Surface;
    TVoxelRenderer Renderer;
    std::vector<TVoxelRenderer> Renderers = EveryRenderer();
};

TEST_F(ProjectionTest, AllZeroFieldDrawsNothing) {
    const TProjHeightArray proj = Project(THeightArray{}, Camera(240));
    EXPECT_EQ(FirstDifference(proj, THeightArray{}), "");
    Renderer.DrawBars(proj, Surface.Lock, T.MapPixel, T.ShadePixel, FullClip);
    EXPECT_EQ(std::count(Surface.Bytes.begin(), Surface.Bytes.end(), 0), Surface.Bytes.size());
}

TEST_F(ProjectionTest, OneCellBecomesOneEntryAndOneBar) {
    THeightArray field{};
    field[CellIndex(160, 167)] = 200;
    const TProjHeightArray proj = Project(field, Camera(240));
    THeightArray expected{};
    expected[CellIndex(160, 239)] = 199; // round(200 / (241 / 240))
    EXPECT_EQ(FirstDifference(proj, expected), "");

    // An odd entry ends on its own row, an even one on the row above.
    for (auto [entry, firstRow] : {std::pair{199, 140}, {200, 139}}) {
        TProjHeightArray bars{};
        bars[CellIndex(160, 239)] = static_cast<uint8_t>(entry);
        Ref::TMemorySurface surface;
        Renderer.DrawBars(bars, surface.Lock, T.MapPixel, T.ShadePixel, FullClip);
        for (int32_t x = 0; x < 320; ++x)
            for (int32_t y = 0; y < 240; ++y) {
                const int32_t value = entry - 2 * (y - firstRow);
                const bool onBar = x == 160 && y >= firstRow && value > 0;
                ASSERT_EQ(surface.Pixel(x, y), onBar ? Colour(value) : 0) << x << ", " << y;
            }
    }
}

TEST_F(ProjectionTest, DefaultCameraLeavesRowsAboveTheFieldEmpty) {
    THeightArray field;
    field.fill(255);
    const TProjHeightArray proj = Project(field, Camera(240));
    for (int32_t x = 0; x < 320; ++x) {
        for (int32_t y = 0; y <= 125; ++y) ASSERT_EQ(proj[CellIndex(x, y)], 0) << x << ", " << y;
        // Row 126 samples map row 0, spread over screen columns 52 ... 268.
        EXPECT_EQ(proj[CellIndex(x, 126)] != 0, x >= 52 && x <= 268) << x;
    }
}

// At 180 degrees the grid point (sx, sy) samples (320 - sx, 240 - sy): the same as sampling
// the field turned through (160, 120) at 0 degrees. Column 0 and row 0 stay empty, as their
// mirror images (column 320, row 240) lie off the field.
TEST_F(ProjectionTest, HalfTurnMirrorsTheSamplingThroughTheCentre) {
    THeightArray field = Ref::SmoothField(21), turned{};
    for (int32_t x = 0; x < 320; ++x)
        for (int32_t y = 0; y < 240; ++y)
            if (x == 0 || y == 0) field[CellIndex(x, y)] = 0;
            else turned[CellIndex(x, y)] = field[CellIndex(320 - x, 240 - y)];
    EXPECT_EQ(FirstDifference(Project(field, Camera(240, 180)), Project(turned, Camera(240, 0))), "");
}

TEST_F(ProjectionTest, HighCameraSamplesTheFarRowsLowerDown) {
    EXPECT_EQ(HorizonOffsetFor(240, 480), 72);
    EXPECT_EQ(HorizonOffsetFor(1000, 480), -80);
    EXPECT_EQ(HorizonOffsetFor(INT32_MAX, 480), 120); // the product wraps to -120
    // At height 1000 map row 238 is seen on screen rows 49 and 50 only.
    THeightArray field{};
    for (int32_t x = 0; x < 320; ++x) field[CellIndex(x, 238)] = 100;
    const TProjHeightArray proj = Project(field, Camera(1000));
    for (int32_t x = 0; x < 320; ++x)
        for (int32_t y = 0; y < 240; ++y)
            if (proj[CellIndex(x, y)] != 0) {
                ASSERT_TRUE(y == 49 || y == 50) << x << ", " << y;
            }
    EXPECT_NE(proj[CellIndex(160, 49)], 0);
    EXPECT_NE(proj[CellIndex(160, 50)], 0);
}

TEST_F(ProjectionTest, CameraHeightZeroRaisesBeforeAnythingIsWritten) {
    TProjHeightArray out;
    out.fill(7);
    const auto project = [&] {
        Renderer.ProjectField(Ref::SmoothField(1), Camera(0), T.Sin, T.Cos, FullClip, out);
    };
    EXPECT_THROW(project(), EZeroDivide);
    EXPECT_EQ(ErrorOf(project), "Floating point division by zero");
    EXPECT_EQ(FirstDifference(out, THeightArray{}), "");
}

TEST_F(ProjectionTest, AnglesBeyondTheTableAreTakenModulo360) {
    const THeightArray field = Ref::SmoothField(4);
    EXPECT_EQ(FirstDifference(Project(field, Camera(240, 360)), Project(field, Camera(240, 0))), "");
    EXPECT_EQ(FirstDifference(Project(field, Camera(240, 65535)), Project(field, Camera(240, 15))), "");
}

// Cameras no spin admits: same result as the reference, including the errors, and no UB.
TEST_F(ProjectionTest, ExtremeCamerasMatchTheReference) {
    const THeightArray field = Ref::SmoothField(8);
    struct TRow {
        int32_t CameraX, CameraY, CameraZ;
    };
    for (const TRow& row : {TRow{160, 480, -1}, TRow{160, 480, INT32_MAX}, TRow{160, 480, INT32_MIN},
                            TRow{160, 480, 1}, TRow{160, 480, -1000}, TRow{160, 240, 240},
                            TRow{160, 100, 240}, TRow{0, 0, 0}, TRow{INT32_MAX, INT32_MIN, 3},
                            TRow{INT32_MIN, INT32_MAX, -7}})
        for (uint16_t angle : {0, 45, 90, 300}) {
            TCamera camera = Camera(row.CameraZ, angle);
            camera.CameraX = row.CameraX;
            camera.CameraY = row.CameraY;
            EXPECT_EQ(CompareWithReference(Renderers, field, camera, T.Sin, T.Cos, FullClip), "")
                << row.CameraX << " " << row.CameraY << " " << row.CameraZ << " at " << angle;
        }
}

TEST_F(ProjectionTest, NearerBarHidesFartherBarButNotAZeroColouredPixel) {
    TProjHeightArray proj{};
    proj[CellIndex(10, 200)] = 40; // near: rows 180 ... 199
    proj[CellIndex(10, 190)] = 60; // far: from row 160 down to the near bar
    Renderer.DrawBars(proj, Surface.Lock, T.MapPixel, T.ShadePixel, FullClip);
    for (int32_t y = 0; y < 240; ++y) {
        const uint16_t expected = y >= 180 && y <= 199   ? Colour(40 - 2 * (y - 180))
                                  : y >= 160 && y < 180 ? Colour(60 - 2 * (y - 160))
                                                        : 0;
        ASSERT_EQ(Surface.Pixel(10, y), expected) << y;
    }
    // A pixel drawn with a colour whose native value is 0 still counts as empty.
    TMapPixelTable darkTop = T.MapPixel;
    darkTop[40] = 0;
    Ref::TMemorySurface surface;
    Renderer.DrawBars(proj, surface.Lock, darkTop, T.ShadePixel, FullClip);
    EXPECT_EQ(surface.Pixel(10, 180), Colour(20)); // the far bar's value at that row
    EXPECT_EQ(surface.Pixel(10, 181), Colour(38));
}

TEST_F(ProjectionTest, RandomBarsMatchTheReference) {
    TRandom random(77);
    for (int trial = 0; trial < 150; ++trial) {
        TProjHeightArray proj{};
        const int64_t density = random.Range(1, 100);
        for (uint8_t& v : proj)
            if (random.Range(1, 100) <= density) v = static_cast<uint8_t>(random.Range(0, 255));
        TMapPixelTable mapPixel = T.MapPixel;
        TShadePixelTable shadePixel = T.ShadePixel;
        if (random.Range(0, 1)) // some colours with native value 0
            for (int i = 0; i < 20; ++i) {
                mapPixel[random.Range(0, 255)] = 0;
                shadePixel[random.Range(0, 255)] = 0xFFFF0000u;
            }
        const TRect clip = random.Range(0, 2) == 0
                               ? FullClip
                               : TRect{static_cast<int32_t>(random.Range(-50, 330)),
                                       static_cast<int32_t>(random.Range(-50, 250)),
                                       static_cast<int32_t>(random.Range(-50, 400)),
                                       static_cast<int32_t>(random.Range(-50, 300))};
        const int32_t pitch = random.Pick<int32_t>({640, 704, 1280});
        const int32_t height = random.Pick<int32_t>({240, 240, 150});
        Ref::TMemorySurface plain(pitch, 320, height);
        const int64_t litter = random.Range(0, 3); // pixels already drawn: 0 none ... 3 many
        for (uint8_t& byte : plain.Bytes)
            if (random.Range(0, 999) < litter * litter * 10)
                byte = static_cast<uint8_t>(random.Range(1, 255));
        const std::vector<uint8_t> start = plain.Bytes;
        Ref::DrawBars(proj, plain.Lock, mapPixel, shadePixel, clip);
        for (const TVoxelRenderer& renderer : Renderers) {
            Ref::TMemorySurface fast(pitch, 320, height);
            std::copy(start.begin(), start.end(), fast.Bytes.begin());
            renderer.DrawBars(proj, fast.Lock, mapPixel, shadePixel, clip);
            ASSERT_EQ(FirstDifference(fast.Bytes, plain.Bytes, pitch), "")
                << "trial " << trial << " " << renderer.Options();
        }
    }
}

TEST_F(ProjectionTest, RandomCamerasAnglesClipsAndTablesMatchTheReference) {
    TRandom random(4242);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (int trial = 0; trial < 48; ++trial) {
        const THeightArray field = trial % 2 ? Ref::NoiseField(static_cast<uint32_t>(trial))
                                             : Ref::SmoothField(static_cast<uint32_t>(trial));
        TCamera camera = Camera(static_cast<int32_t>(random.Pick<int64_t>(
            {random.Range(1, 1000), random.Range(-1000, 1000), random.Range(INT32_MIN, INT32_MAX)})));
        if (random.Range(0, 3) == 0)
            camera.HorizonOffset = static_cast<int32_t>(random.Range(-400, 400));
        if (random.Range(0, 5) == 0) {
            camera.CameraX = static_cast<int32_t>(random.Range(-500, 800));
            camera.CameraY = static_cast<int32_t>(random.Range(241, 2000));
        }
        camera.CamRot = static_cast<uint16_t>(random.Range(0, 65535));
        const TRect clip = random.Range(0, 2) == 0
                               ? FullClip
                               : TRect{static_cast<int32_t>(random.Range(-50, 200)),
                                       static_cast<int32_t>(random.Range(-50, 200)),
                                       static_cast<int32_t>(random.Range(100, 400)),
                                       static_cast<int32_t>(random.Range(-10, 300))};
        TTrigTable sinTable = T.Sin, cosTable = T.Cos;
        const int32_t angle = camera.CamRot % 360;
        switch (random.Range(0, 7)) { // tables no builder makes
        case 0: sinTable[angle] = cosTable[angle] = 0; break;
        case 1: sinTable[angle] = nan; break;
        case 2: cosTable[angle] = 1e30f; break;
        case 3: sinTable[angle] = 0.5f; cosTable[angle] = 0.25f; break;
        default: break;
        }
        ASSERT_EQ(CompareWithReference(Renderers, field, camera, sinTable, cosTable, clip), "")
            << "trial " << trial << ": Z " << camera.CameraZ << " rot " << camera.CamRot;
    }
}

// A cache built elsewhere, as the kernel timing hands one to each level: the renderer projects
// with it as with its own, and the angle grids it kept for the camera before are not reused.
TEST_F(ProjectionTest, ACacheBuiltElsewhereReplacesTheRenderersAndItsGrids) {
    const THeightArray field = Ref::NoiseField(9);
    const TCamera before = Camera(240, 17), after = Camera(700, 17);
    auto cache = std::make_unique<TCameraCache>();
    cache->Update(after, FullClip);
    TProjHeightArray fast, plain{};
    Ref::ProjectField(field, after, T.Sin, T.Cos, FullClip, plain);
    for (TVoxelRenderer& renderer : Renderers) {
        renderer.ProjectField(field, before, T.Sin, T.Cos, FullClip, fast); // keeps its grid
        renderer.UseCache(*cache);
        renderer.ProjectField(field, after, T.Sin, T.Cos, FullClip, fast);
        EXPECT_EQ(FirstDifference(fast, plain), "") << renderer.Options();
    }
}

// Every sample kernel marks a half-way case in either coordinate for the exact fix-up, and places
// the rest; rows 3, 9 and 14 are ties (across, down, down below zero).
TEST_F(ProjectionTest, SampleKernelsMarkHalfWayCasesInEitherCoordinate) {
    std::vector<TColumnSamples> kernels{&ColumnSamplesPlain};
#if VOXEL_X86
    if (CpuHas(TSimd::Avx2)) kernels.push_back(&ColumnSamplesAvx2);
    if (CpuHas(TSimd::Avx512)) kernels.push_back(&ColumnSamplesAvx512);
#endif
    int32_t rx[16] = {};
    double across[16], down[16];
    for (int32_t y = 0; y < 16; ++y) {
        across[y] = y == 3 ? 2.5 : 0.25 * y + 0.125;
        down[y] = y == 9 ? 0.5 : y == 14 ? -1.5 : -0.25 * y - 0.0625;
    }
    for (size_t k = 0; k < kernels.size(); ++k) {
        int32_t sample[16];
        EXPECT_TRUE(kernels[k](rx, across, down, 1.0, 0.0, {0, 0, 319, 239}, 0, 15, sample));
        for (int32_t y = 0; y < 16; ++y) {
            const bool tie = y == 3 || y == 9 || y == 14;
            const int32_t place = CellIndex(160 + static_cast<int32_t>(std::nearbyint(across[y])),
                                            120 + static_cast<int32_t>(std::nearbyint(down[y])));
            EXPECT_EQ(sample[y], tie ? SampleHalfWay : place) << "kernel " << k << " row " << y;
        }
    }
}

#if VOXEL_X86
// The single-precision turn keeps a sample only where its rounding provably matches the double
// one. Rows crafted so that the row term's rounding to single precision (up to 1/32 at 10^6)
// moves the sum across a half-way point: the fast path must hand them to the double kernel. No
// camera the program reaches comes this close, so the rows are set by hand.
TEST_F(ProjectionTest, SinglePrecisionTurnFallsBackNearAHalfWayPoint) {
    std::vector<TTurnColumn> kernels;
    if (CpuHas(TSimd::Avx2)) kernels.push_back(&TurnColumnAvx2);
    if (CpuHas(TSimd::Avx512)) kernels.push_back(&TurnColumnAvx512);
    if (kernels.empty()) GTEST_SKIP() << "no AVX2";
    auto cache = std::make_unique<TCameraCache>();
    auto turn = std::make_unique<TTurn>(); // value-initialised: every row term 0
    cache->FieldClip = {0, 0, 319, 239};
    for (int32_t y = 0; y < 240; ++y) {
        for (int32_t h = 0; h < 256; ++h) cache->QuotientOf[y][h] = static_cast<uint8_t>(h);
        cache->QuotientFactor[y] = 1.0f;
    }
    turn->Cache = cache.get();
    THeightArray field;
    for (int32_t i = 0; i < MapCells; ++i) field[i] = static_cast<uint8_t>(i); // cells apart differ
    // Across the field's columns (the cosine's row term), then down its rows (the sine's).
    for (const bool down : {false, true}) {
        (down ? turn->Sf : turn->Cf) = 1.0f - 0x1p-24f;
        (down ? turn->Cf : turn->Sf) = 0.0f;
        for (int32_t y = 0; y < 16; ++y) {
            cache->Rx[CellIndex(5, y)] = -1000001; // rx * c = -1000001 + 0.0596...
            const double sum = 1000001.40 + 0.01 * y; // sums from 0.4596 to 0.6096
            turn->Across[y] = down ? 0.0 : sum;
            turn->Down[y] = down ? sum : 0.0;
            turn->SetSingle(y);
        }
        uint8_t plain[240] = {};
        int32_t sample[240];
        turn->Column(&ColumnSamplesPlain, 5, {0, 15}, sample);
        LookUpPlain(cache->QuotientOf, sample, 0, 15, field.data(), plain);
        for (size_t k = 0; k < kernels.size(); ++k) {
            uint8_t fast[240] = {};
            kernels[k](*turn, 5, {0, 15}, field.data(), fast);
            for (int32_t y = 0; y < 16; ++y)
                EXPECT_EQ(fast[y], plain[y])
                    << "kernel " << k << ", " << (down ? "down" : "across") << ", row " << y;
        }
    }
}
#endif

} // namespace

// The kernel choice: the smallest time wins whatever its place in the list; equal times go to
// the narrower level, in either order; nothing timed is the portable code.
TEST(KernelChoiceTest, FastestTimeWinsAndTiesGoNarrower) {
    using S = TSimd;
    struct TRow {
        std::vector<TLevelTiming> Timings;
        TSimd Want;
    };
    const TRow rows[] = {
        {{{S::Portable, 95e-6}, {S::Avx2, 52.1e-6}, {S::Avx512, 55.5e-6}}, S::Avx2},
        {{{S::Portable, 95e-6}, {S::Avx2, 52.1e-6}, {S::Avx512, 26.7e-6}}, S::Avx512},
        {{{S::Avx512, 40e-6}, {S::Avx2, 40e-6}, {S::Portable, 41e-6}}, S::Avx2},
        {{{S::Avx2, 40e-6}, {S::Avx512, 40e-6}}, S::Avx2},
        {{{S::Portable, 30e-6}, {S::Avx2, 40e-6}}, S::Portable},
        {{}, S::Portable},
    };
    for (const TRow& row : rows)
        EXPECT_EQ(FastestLevel(row.Timings), row.Want) << testing::PrintToString(row.Timings.size());
}

// One level for every kernel of the frame: a level above the processor's is capped at it (its
// instructions would fault), and the renderer's options take the level set.
TEST(KernelChoiceTest, TheFramesLevelIsCappedAtTheProcessorsAndTakenByTheRenderer) {
    const TSimd widest = KernelSimd();
    EXPECT_EQ(widest, CpuSimd());
    for (const TSimd level : {TSimd::Avx512, TSimd::Portable, TSimd::Avx2}) {
        SetKernelSimd(level);
        EXPECT_EQ(KernelSimd(), std::min(level, CpuSimd())) << int(level);
        EXPECT_EQ(TRendererOptions{}.Simd, KernelSimd()) << int(level);
    }
    SetKernelSimd(widest);
}

// Every level this processor runs is timed at both parts, the slow ones dropped after four
// trials keeping the best of those: no part of a level is left untimed or skipped.
TEST(KernelChoiceTest, TimesEveryLevelAtBothParts) {
    const TKernelTimings timings = TimeLevels(12);
    std::vector<TSimd> levels;
    for (const TSimd level : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512})
        if (CpuHas(level)) levels.push_back(level);
    for (const std::vector<TLevelTiming>* part : {&timings.Turn, &timings.Bars}) {
        ASSERT_EQ(part->size(), levels.size());
        for (size_t i = 0; i < levels.size(); ++i) {
            EXPECT_EQ((*part)[i].Level, levels[i]);
            EXPECT_GT((*part)[i].Seconds, 0);
            EXPECT_LT((*part)[i].Seconds, 0.5); // timed, not the start value
        }
    }
}
