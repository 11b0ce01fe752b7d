// The frame: the views' initialise handlers, the tick that samples the mouse and drives the
// brush and the renderer, and the two drawing methods.
#include "app/Main.h"

#include "app/Parameters.h"
#include "terrain/TerrainState.h"
#include "platform/Mouse.h"
#include "views/MapView.h"
#include "util/Notices.h"
#include "views/ScreenView.h"

// Runs before DXMapInitialize, so MapPixel[0] still holds 0 here.
void TMain::DXScreenInitialize(QObject*) { InitializeScreenView(DXScreen, Terrain::MapPixel); }

void TMain::DXMapInitialize(QObject*) {
    BuildColourRamps(DXMap, Terrain::MapPixel, Terrain::ShadePixel);
    PaintWholeMap(DXMap, Terrain::HeightArray, Terrain::MapPixel);
}

void TMain::DXTimerTimer(QObject*, int32_t) {
    using namespace MainState;
    if (NoticesWaiting()) ShowNotices(); // the window shows: what the user must know, in it
    if (CamRotAuto) CamRot = static_cast<uint16_t>((CamRot + 1) % 360);

    const TMouseSample mouse = MouseSampler();
    LeftDown = mouse.LeftDown;
    RightDown = mouse.RightDown;
    PrevCursorPos = CursorPos;
    CursorPos = {mouse.X, mouse.Y};
    // The cell drawn under the cursor's device pixel, also at a display scale other than 1.
    const QPoint local = ScreenToClient(DXMap, CursorPos.X, CursorPos.Y);
    MapCursor = {local.x(), local.y()};

    // One column and one row beyond the map still count (both edges inclusive).
    bool held = false; // a button of ours down over the visible map: the stroke goes on
    if (PointInRect(MapCursor, MapRect)) {
        // A press meant for the window covering the map, made while we are minimised, or
        // received by another program only reveals.
        const bool left = LeftDown && mouse.LeftPressedHere;
        const bool right = RightDown && mouse.RightPressedHere;
        const bool shown = mouse.OverOwnWindow;
        const uint8_t mode = !shown ? bmNone : left ? bmRaise : right ? bmLower : bmNone;
        held = mode != bmNone;
        // Waiting for movement needs both screen coordinates to have changed.
        const bool still = CursorPos.X == PrevCursorPos.X || CursorPos.Y == PrevCursorPos.Y;
        if (!(WaitCursorMove && still)) {
            ButtonMode = mode;
            if (held) FHistory.BrushApplied();
            DrawMap(MapCursor.X, MapCursor.Y);
        }
    }
    // A stroke lasts from the press to the release or until the cursor leaves the visible map,
    // pauses included: its changed cells become one step.
    if (!held && FHistory.Stroking()) FHistory.Commit(Terrain::HeightArray);
    DrawScreen();
}

void TMain::DrawMap(int32_t cx, int32_t cy) {
    using namespace MainState;
    const TBrushParams params{BrushRangeMin, HeightArrayDiv, ButtonMode, DXMap->height()};
    DrawMapView(DXMap, Terrain::HeightArray, cx, cy, params, Terrain::BrushProfile,
                Terrain::SqrtTable, Terrain::MapPixel, Cores.ApplyBrush, &FReveal);
}

void TMain::DrawScreen() {
    using namespace MainState;
    const TCamera camera{CameraX, CameraY, CameraZ, HorizonOffset, CamRot};
    const TScreenFrame frame{Terrain::HeightArray, camera,           Terrain::SinTable,
                             Terrain::CosTable,    ClipRect,         Terrain::MapPixel,
                             Terrain::ShadePixel,  DXTimer->FramesPerSecond(), Cores};
    DrawScreenView(DXScreen, frame, ProjHeightArray);
}
