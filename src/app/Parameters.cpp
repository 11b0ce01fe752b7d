// Storage of the main window's module-level state; zero unless a start value is given.
#include "app/Parameters.h"


namespace MainState {
int32_t BrushRangeMin = 0;
uint8_t HeightArrayDiv = 0;
int32_t CameraX = 0;
int32_t CameraY = 0;
int32_t CameraZ = 0;
int32_t HorizonOffset = 0;
uint16_t CamRot = 0;
bool CamRotAuto = true;
bool WaitCursorMove = false;
TRect MapRect{};
TRect ClipRect{};
std::string MapFileName;

bool LeftDown = false;
bool RightDown = false;
TPoint CursorPos{};
TPoint PrevCursorPos{};
TPoint MapCursor{};
uint8_t ButtonMode = 0;

TProjHeightArray ProjHeightArray{};
TVoxelRenderer Renderer;

TDrawCores Cores{
    [](const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
       const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out) {
        Renderer.ProjectField(field, camera, sinTable, cosTable, clip, out);
    },
    [](const TProjHeightArray& proj, const TLockedSurface& surface, const TMapPixelTable& mapPixel,
       const TShadePixelTable& shadePixel, const TRect& clip) {
        Renderer.DrawBars(proj, surface, mapPixel, shadePixel, clip);
    },
    &ApplyBrush};
} // namespace MainState
