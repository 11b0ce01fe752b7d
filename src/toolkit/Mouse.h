// The global mouse state: physical left and right buttons and the cursor in screen coordinates.
#pragma once

#include <cstddef>
#include <cstdint>

// One reading of the mouse, taken in one go.
struct TMouseSample {
    bool LeftDown;
    bool RightDown;
    int32_t X;
    int32_t Y;
};

// Samples the buttons and the cursor now, whatever window has focus or lies under the cursor.
TMouseSample SampleMouse();

// Whether a physical button is down now: 0 left, 1 right; any other value answers false.
bool MouseButtonDown(int button);

// Whether the physical button (1-based) is down, given the logical button state mask of the X
// core protocol (Button1Mask = 1 << 8 ...) and the pointer mapping (map[i] = logical button of
// physical button i + 1). A button mapped to 0 or above 5 reads as up.
bool PhysicalButtonDown(uint16_t stateMask, const uint8_t* map, size_t mapLength, int physical);
