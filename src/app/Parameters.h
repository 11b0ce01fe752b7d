// Module-level state of the main window's module: the panel's parameters, which the handlers
// write and the frame tick's callees read, and the tick's own mouse samples.
#pragma once

#include <cstdint>
#include <string>

#include "util/Geometry.h"
#include "views/core/Projection.h"

namespace MainState {
extern int32_t BrushRangeMin;  // brush radius in cells
extern uint8_t HeightArrayDiv; // divisor of every brush change (low 8 bits of the spin)
extern int32_t CameraX;
extern int32_t CameraY;
extern int32_t CameraZ;
extern int32_t HorizonOffset;
extern uint16_t CamRot; // whole degrees; a typed value may leave 0 ... 359 (the renderer wraps)
extern bool CamRotAuto;
extern bool WaitCursorMove;
extern TRect MapRect;
extern TRect ClipRect;
extern std::string MapFileName;

// Per-tick samples.
extern bool LeftDown;
extern bool RightDown;
extern TPoint CursorPos;
extern TPoint PrevCursorPos;
extern TPoint MapCursor;
extern uint8_t ButtonMode;

// Scratch of the renderer, cleared every frame.
extern TProjHeightArray ProjHeightArray;

// Puts every variable above back to its value at program start, for a process that makes more
// than one main window (the tests).
void Restart();
} // namespace MainState
