// The views' drawing around the arithmetic: locks, presents and the failure paths.
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

#include "present/DXDraw.h"
#include "util/Exceptions.h"
#include "toolkit/Form.h"
#include "views/MapView.h"
#include "views/ScreenView.h"
#include "views/core/VoxelRenderer.h"

namespace {
class ViewDrawingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        PlatformFaults() = {};
        Form = std::make_unique<TForm>();
        Form->SetClientSize(320, 240);
        View = new TDXDraw(Form->Client());
        View->SetViewSize(320, 240);
        View->Loaded();
        Form->show();
        QApplication::processEvents();
        ASSERT_TRUE(View->Initialized());
        for (int i = 0; i < 256; ++i) {
            MapPixel[i] = static_cast<uint16_t>(i * 257);
            ShadePixel[i] = 0x10000u | static_cast<uint32_t>(i + 1);
        }
        Profile = {8, 8, 7, 7, 6, 5, 4, 3, 2, 2, 1, 1};
        MakeSqrtTable(Sqrt);
        MakeTrigTables(Sin, Cos);
        Field.fill(100);
    }
    void TearDown() override { PlatformFaults() = {}; }

    // Puts a known picture on the back surface and presents it, so a later present shows.
    void PresentMarker(uint32_t value) {
        FillSurface(View->BackSurface(), value);
        FlipView(View);
    }
    QImage Back() const { return *View->BackSurface()->Image(); }
    TScreenFrame Frame() const {
        return {Field, Camera, Sin, Cos, Clip, MapPixel, ShadePixel, 1234, Cores};
    }

    TVoxelRenderer Renderer;
    TDrawCores Cores = RendererCores(Renderer);
    std::unique_ptr<TForm> Form;
    TDXDraw* View = nullptr;
    THeightArray Field{};
    TMapPixelTable MapPixel{};
    TShadePixelTable ShadePixel{};
    TBrushProfile Profile{};
    TSqrtTable Sqrt{};
    TTrigTable Sin{}, Cos{};
    TCamera Camera{};
    TRect Clip{0, 0, 319, 239};
    TProjHeightArray Proj{};
};
} // namespace

TEST_F(ViewDrawingTest, BrushStrokeWritesTheFootprintAndPresents) {
    DrawMapView(View, Field, 100, 100, {50, 1, bmRaise, 240}, Profile, Sqrt, MapPixel);
    EXPECT_EQ(Field[CellIndex(100, 100)], 108);
    EXPECT_EQ(View->Presented(), Back());
    EXPECT_FALSE(View->BackSurface()->Locked());
}

TEST_F(ViewDrawingTest, FailedLockLeavesHeightsButStillPresents) {
    PresentMarker(0);
    FillSurface(View->BackSurface(), 0x1234);
    PlatformFaults().RefuseLock = true;
    const THeightArray before = Field;
    DrawMapView(View, Field, 100, 100, {50, 1, bmRaise, 240}, Profile, Sqrt, MapPixel);
    EXPECT_EQ(Field, before);
    EXPECT_EQ(View->Presented(), Back()); // the marker reached the window
}

TEST_F(ViewDrawingTest, BrushDivisionByZeroUnlocksWithoutPresenting) {
    PresentMarker(0x1234);
    const QImage shown = View->Presented();
    FillSurface(View->BackSurface(), 0x4321);
    EXPECT_THROW(
        DrawMapView(View, Field, 100, 100, {50, 0, bmRaise, 240}, Profile, Sqrt, MapPixel),
        EDivByZero);
    EXPECT_FALSE(View->BackSurface()->Locked());
    EXPECT_EQ(View->Presented(), shown); // the back surface never reached the window
    EXPECT_EQ(Field[CellIndex(100, 100)], 100);
}

TEST_F(ViewDrawingTest, ResetClearsFieldAndView) {
    PresentMarker(0x1234);
    ResetHeightArray(View, Field, MapPixel);
    EXPECT_EQ(Field, THeightArray{});
    EXPECT_EQ(View->Presented().pixelColor(5, 5), QColor(Qt::black));
}

TEST_F(ViewDrawingTest, FailedLockSkipsOnlyTheBars) {
    Field.fill(200);
    DrawScreenView(View, Frame(), Proj);
    EXPECT_NE(Back().pixelColor(160, 230), QColor(Qt::black)); // bars drawn normally

    PlatformFaults().RefuseLock = true;
    DrawScreenView(View, Frame(), Proj);
    EXPECT_EQ(Back().pixelColor(160, 230), QColor(Qt::black)); // filled, no bars
    int textPixels = 0;
    for (int y = 8; y < 24; ++y)
        for (int x = 8; x < 90; ++x) textPixels += Back().pixelColor(x, y) != QColor(Qt::black);
    EXPECT_GT(textPixels, 20); // the counter is still written
    EXPECT_EQ(View->Presented(), Back());
}

// A frame of tall bars, then one that leaves sky: the second must look as it does on a surface
// freshly filled with the background, whether its fill was left out (the bars write every
// pixel) or had to be made (a bar colour 0, a clip short of the surface, a background not black).
TEST_F(ViewDrawingTest, ScreenFillIsLeftOutOnlyWhereTheBarsWriteEveryPixel) {
    const TMapPixelTable mapPixel = MapPixel;
    const TShadePixelTable shadePixel = ShadePixel;
    for (int change = 0; change < 4; ++change) {
        MapPixel = mapPixel;
        ShadePixel = shadePixel;
        Clip = {0, 0, 319, 239};
        Field.fill(200);
        DrawScreenView(View, Frame(), Proj);
        Field.fill(20);
        if (change == 1) ShadePixel[5] = 0x10000u;
        if (change == 2) Clip = {0, 0, 300, 239};
        if (change == 3) MapPixel[0] = 0x1234;
        DrawScreenView(View, Frame(), Proj);
        const QImage drawn = Back();
        FillSurface(View->BackSurface(), MapPixel[0]);
        const QColor background = Back().pixelColor(319, 0);
        DrawScreenView(View, Frame(), Proj);
        EXPECT_EQ(Back(), drawn) << "change " << change;
        EXPECT_EQ(drawn.pixelColor(319, 0), background) << "change " << change; // sky
    }
}

TEST_F(ViewDrawingTest, ScreenErrorsLeaveBeforePresenting) {
    PresentMarker(0x1234);
    const QImage shown = View->Presented();
    Camera.CameraZ = 0;
    EXPECT_THROW(DrawScreenView(View, Frame(), Proj), EZeroDivide);
    EXPECT_FALSE(View->BackSurface()->Locked());
    EXPECT_EQ(View->Presented(), shown);

    Camera.CameraZ = 240;
    PlatformFaults().RefuseDeviceContext = true;
    try {
        DrawScreenView(View, Frame(), Proj);
        ADD_FAILURE() << "a refused canvas must raise";
    } catch (const EInvalidOperation& e) {
        EXPECT_STREQ(e.what(), "Canvas does not allow drawing");
    }
    EXPECT_EQ(View->Presented(), shown);
}

TEST_F(ViewDrawingTest, ViewWithoutBackSurfaceDrawsNothingAndDoesNotFault) {
    View->FinalizeView();
    ASSERT_EQ(View->BackSurface(), nullptr);
    EXPECT_NO_THROW(DrawScreenView(View, Frame(), Proj));
    EXPECT_NO_THROW(
        DrawMapView(View, Field, 100, 100, {50, 1, bmRaise, 240}, Profile, Sqrt, MapPixel));
    EXPECT_EQ(Field[CellIndex(100, 100)], 100);
}
