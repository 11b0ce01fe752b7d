// Storage of the main window's module-level state; zero unless a start value is given.
#include "app/Parameters.h"

#include "util/Exceptions.h"

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

int32_t HorizonOffsetFor(int32_t cameraZ, int32_t cameraY) {
    // Sums and products wrap in 32 bits; done unsigned so the wrap is defined.
    const auto product = static_cast<int32_t>(static_cast<uint32_t>(cameraZ) * 120u);
    const auto divisor = static_cast<int32_t>(static_cast<uint32_t>(cameraY) + 120u);
    return static_cast<int32_t>(120u - static_cast<uint32_t>(CheckedDiv(product, divisor)));
}
} // namespace MainState
