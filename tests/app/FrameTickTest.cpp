// The frame tick: rotation, mouse sampling, the brush over the map, the renderer.
#include "MainTestFixture.h"

#include <QCheckBox>
#include <QScreen>
#include <QLineEdit>
#include <QTest>

#include "util/Exceptions.h"
#include "views/core/Brush.h"

namespace {
class FrameTickTest : public MainWindowTest {
  protected:
    void SetUp() override { ShowOverVariedField(); }
    // Puts the cursor on map pixel (x, y) with the given buttons.
    void MouseAt(int x, int y, bool left, bool right) {
        const QPoint global = Window->DXMap->mapToGlobal(QPoint(x, y));
        Mouse = {left, right, global.x(), global.y()};
    }
    void Tick(int times = 1) {
        for (int i = 0; i < times; ++i) Window->DXTimerTimer(nullptr, 1);
    }
    uint16_t MapPixelAt(int x, int y) {
        TLockedSurface s;
        EXPECT_TRUE(LockSurface(Window->DXMap->BackSurface(), s));
        const uint16_t value = static_cast<uint16_t>(LoadPixel(s, x, y));
        UnlockSurface(Window->DXMap->BackSurface(), s.Bits);
        return value;
    }
    uint8_t Height(int x, int y) const { return Terrain::HeightArray[CellIndex(x, y)]; }
};
} // namespace

TEST_F(FrameTickTest, CursorOutsideTheMapOnlyTurnsAndRenders) {
    const THeightArray before = Terrain::HeightArray;
    const QPoint overScreen = Window->DXScreen->mapToGlobal(QPoint(100, 100));
    Mouse = {true, true, overScreen.x(), overScreen.y()};
    MainState::CamRot = 358;
    Tick(3);
    EXPECT_EQ(MainState::CamRot, 1); // 359 -> 0 -> 1
    EXPECT_EQ(Terrain::HeightArray, before);
    MouseAt(321, 100, true, false); // one column past the inclusive edge
    Tick();
    EXPECT_EQ(Terrain::HeightArray, before);
}

// No button, buttons held while the map is not shown under the cursor (another window covers
// it there, or ours is minimised), or buttons pressed in another program (or whose press Qt has
// yet to hand us): the footprint is revealed, nothing is edited.
TEST_F(FrameTickTest, HoveringRevealsTheFootprintWithoutEditing) {
    const THeightArray before = Terrain::HeightArray;
    for (auto [cx, cy, buttons, shown, here] : {std::tuple{100, 100, false, true, true},
                                                {220, 150, true, false, true},
                                                {260, 60, true, true, false}}) {
        SCOPED_TRACE(testing::Message() << "at " << cx << "," << cy);
        EXPECT_EQ(MapPixelAt(cx, cy), 0); // black after start-up
        MouseAt(cx, cy, buttons, buttons);
        Mouse.OverOwnWindow = shown;
        Mouse.LeftPressedHere = Mouse.RightPressedHere = here;
        Tick();
        EXPECT_EQ(MainState::ButtonMode, bmNone);
        EXPECT_EQ(Terrain::HeightArray, before);
        for (auto [x, y, inside] : {std::tuple{0, 0, true}, {50, 0, true}, {0, -50, true},
                                    {51, 0, false}, {36, 36, false}, {60, 60, false}}) {
            SCOPED_TRACE(testing::Message() << x << "," << y);
            const int px = cx + x, py = cy + y;
            EXPECT_EQ(MapPixelAt(px, py), inside ? Terrain::MapPixel[Height(px, py)] : 0);
        }
    }
    // Only whose press it is counts: our press handed over late edits from then on; only the
    // right button ours, it lowers.
    const uint8_t start = Height(260, 60);
    Mouse.LeftPressedHere = true;
    Tick();
    EXPECT_EQ(Height(260, 60), start + 8);
    Mouse.LeftPressedHere = false;
    Mouse.RightPressedHere = true;
    Tick();
    EXPECT_EQ(MainState::ButtonMode, bmLower);
    EXPECT_EQ(Height(260, 60), start);
    // Only where the cursor is now counts: a drag begun on our window and carried under
    // another one edits once the map shows under it.
    MouseAt(220, 150, true, false);
    Tick();
    EXPECT_EQ(Height(220, 150), before[CellIndex(220, 150)] + 8);
}

// A resting cursor's reveal is left out only while it would paint nothing new: the window
// follows a height changed under the disc, the view cleared by another drawing, a new radius
// and new colours. Read without a lock, which would count as a drawing itself.
TEST_F(FrameTickTest, ARestingCursorsRevealFollowsWhatChanged) {
    const auto shown = [this](int x, int y) {
        const QImage& window = Window->DXMap->Presented();
        EXPECT_EQ(window, *Window->DXMap->BackSurface()->Image()); // all of it presented
        return reinterpret_cast<const uint16_t*>(window.constScanLine(y))[x];
    };
    MouseAt(100, 100, false, false);
    Tick(2);
    EXPECT_EQ(shown(100, 100), Terrain::MapPixel[Height(100, 100)]);
    Terrain::HeightArray[CellIndex(130, 100)] = static_cast<uint8_t>(Height(130, 100) ^ 0x40);
    Tick();
    EXPECT_EQ(shown(130, 100), Terrain::MapPixel[Height(130, 100)]);
    FillSurface(Window->DXMap->BackSurface(), 0);
    Tick();
    EXPECT_EQ(shown(100, 100), Terrain::MapPixel[Height(100, 100)]);
    EXPECT_EQ(shown(155, 100), 0);
    MainState::BrushRangeMin = 60;
    Tick();
    EXPECT_EQ(shown(155, 100), Terrain::MapPixel[Height(155, 100)]);
    Terrain::MapPixel[Height(100, 100)] ^= 0x0F0F;
    Tick();
    EXPECT_EQ(shown(100, 100), Terrain::MapPixel[Height(100, 100)]);
}

TEST_F(FrameTickTest, LeftRaisesRightLowersBothRaise) {
    const uint8_t start = Height(160, 120);
    ASSERT_LE(start, 230);
    MouseAt(160, 120, true, false);
    Tick();
    EXPECT_EQ(Height(160, 120), start + 8);
    MouseAt(160, 120, true, true);
    Tick();
    EXPECT_EQ(MainState::ButtonMode, bmRaise);
    EXPECT_EQ(Height(160, 120), start + 16);
    MouseAt(160, 120, false, true);
    Tick(2);
    EXPECT_EQ(MainState::ButtonMode, bmLower);
    EXPECT_EQ(Height(160, 120), start);
    // The corner one past the map still counts: the cell at (319, 239) is within the brush.
    const uint8_t corner = Height(319, 239);
    MouseAt(320, 240, true, false);
    Tick();
    EXPECT_NE(Height(319, 239), corner);
}

// A stroke lasts from the press to the release, or until the cursor leaves the map: the ticks
// that wait for movement do not end it.
TEST_F(FrameTickTest, WaitingForMovementNeedsBothCoordinatesToChange) {
    QTest::mouseClick(Window->WaitCursorMoveCheck, Qt::LeftButton);
    ASSERT_TRUE(MainState::WaitCursorMove);
    const uint8_t start = Height(160, 120);
    MouseAt(160, 120, true, false);
    Tick(); // moved from (0, 0): edits once
    EXPECT_EQ(Height(160, 120), start + 8);
    Tick(3); // held still
    EXPECT_EQ(Height(160, 120), start + 8);
    MouseAt(161, 120, true, false); // horizontal only
    Tick();
    EXPECT_EQ(Height(160, 120), start + 8);
    MouseAt(162, 121, true, false); // diagonal
    Tick();
    const uint8_t stroked = Height(160, 120);
    EXPECT_GT(stroked, start + 8);
    MouseAt(330, 200, true, false); // off the map and back: a second stroke
    Tick();
    MouseAt(163, 122, true, false);
    Tick();
    EXPECT_GT(Height(160, 120), stroked);
    MouseAt(164, 123, false, false);
    Tick();
    Window->UndoEdit();
    EXPECT_EQ(Height(160, 120), stroked);
    Window->UndoEdit();
    EXPECT_EQ(Height(160, 120), start);
}

// An error ends the tick where it is raised; what the tick presented before it is on the
// screen already (the window's store, read with no event handled since the tick).
TEST_F(FrameTickTest, ErrorsEndTheTickAndLeaveItsPresentsOnTheScreen) {
    MainState::HeightArrayDiv = 0;
    const THeightArray before = Terrain::HeightArray;
    MouseAt(160, 120, true, false);
    const uint16_t angle = MainState::CamRot;
    EXPECT_THROW(Tick(), EDivByZero);
    EXPECT_EQ(MainState::CamRot, (angle + 1) % 360);
    EXPECT_EQ(Terrain::HeightArray, before);

    MainState::HeightArrayDiv = 1;
    MainState::CameraZ = 0; // the screen view's projection divides by zero after the map's present
    EXPECT_THROW(Tick(), EZeroDivide);
    EXPECT_NE(Terrain::HeightArray, before);
    const QPoint at = Window->DXMap->mapTo(Window.get(), QPoint(0, 0));
    const QPixmap shown = Window->screen()->grabWindow(Window->winId(), at.x(), at.y(), 320, 240);
    EXPECT_EQ(shown.toImage().convertToFormat(QImage::Format_RGB16),
              *Window->DXMap->BackSurface()->Image());
    EXPECT_NE(MapPixelAt(160, 120), 0);
}

// Strokes and resets undone and redone with the real keys, the focus in a spin edit's text:
// each step comes back exactly, its cells repainted in the brush's colours.
TEST_F(FrameTickTest, UndoAndRedoStepThroughStrokesAndResets) {
    const THeightArray loaded = Terrain::HeightArray;
    const THeightArray zeros{};
    QLineEdit* text = Window->BrushRangeMinSpin->Editor();
    const auto key = [text](Qt::Key k, Qt::KeyboardModifiers mods = Qt::ControlModifier) {
        QTest::keyClick(text, k, mods);
    };
    MouseAt(100, 100, true, false);
    Tick(3); // a stroke, ended by a tick without the brush
    MouseAt(100, 100, false, false);
    Tick();
    const THeightArray stroked = Terrain::HeightArray;
    MouseAt(250, 60, true, false);
    Tick(2); // a second stroke: its own step once a tick without the brush ends it
    MouseAt(250, 60, false, false);
    Tick();
    key(Qt::Key_Z);
    EXPECT_EQ(Terrain::HeightArray, stroked);
    Window->InitBtnClick();
    MouseAt(200, 150, true, false);
    Tick(2); // a stroke still under way when Ctrl+Z comes: ended as a step and undone
    const THeightArray second = Terrain::HeightArray;
    QTest::keyClicks(text, "0"); // the text has an undo of its own, which must not run
    key(Qt::Key_Z);
    EXPECT_EQ(text->text(), "500");
    EXPECT_EQ(Terrain::HeightArray, zeros);
    EXPECT_EQ(MapPixelAt(200, 150), Terrain::MapPixel[0]);
    key(Qt::Key_Z);
    EXPECT_EQ(Terrain::HeightArray, stroked);
    for (int x : {0, 100, 319}) // the reset undone: the whole map back on the view
        EXPECT_EQ(MapPixelAt(x, 239), Terrain::MapPixel[Height(x, 239)]);
    key(Qt::Key_Z);
    key(Qt::Key_Z); // at the end: nothing, silently
    EXPECT_EQ(Terrain::HeightArray, loaded);
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    key(Qt::Key_Y);
    key(Qt::Key_Y);
    EXPECT_EQ(Terrain::HeightArray, second);

    key(Qt::Key_Z); // the button still held: the next ticks are a new step, which drops redo
    Tick();
    MouseAt(200, 150, false, false);
    Tick();
    const THeightArray third = Terrain::HeightArray;
    ASSERT_NE(third, zeros);
    key(Qt::Key_Y);
    EXPECT_EQ(Terrain::HeightArray, third);
    key(Qt::Key_Z);
    EXPECT_EQ(Terrain::HeightArray, zeros);
}
