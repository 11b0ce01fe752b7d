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

void Restart() {
    BrushRangeMin = 0;
    HeightArrayDiv = 0;
    CameraX = CameraY = CameraZ = HorizonOffset = 0;
    CamRot = 0;
    CamRotAuto = true;
    WaitCursorMove = false;
    MapRect = ClipRect = TRect{};
    MapFileName.clear();
    LeftDown = RightDown = false;
    CursorPos = PrevCursorPos = MapCursor = TPoint{};
    ButtonMode = 0;
    ProjHeightArray.fill(0);
}
} // namespace MainState
