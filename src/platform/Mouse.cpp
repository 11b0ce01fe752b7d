// The mouse arithmetic, and the readings asked of the platform in use.
#include "platform/Mouse.h"

#include <QPoint>

#include <cmath>

#include "platform/Platform.h"

int LogicalButton(const uint8_t* map, size_t mapLength, int physical) {
    if (physical < 1) return 0;
    if (map != nullptr && static_cast<size_t>(physical) <= mapLength) return map[physical - 1];
    return physical;
}

bool PhysicalButtonDown(uint16_t stateMask, const uint8_t* map, size_t mapLength, int physical) {
    const int logical = LogicalButton(map, mapLength, physical);
    // The core protocol's state mask only carries buttons 1 to 5 (Button1Mask = 1 << 8).
    if (logical < 1 || logical > 5) return false;
    return (stateMask & (1u << (7 + logical))) != 0;
}

int32_t DeviceToLogical(int32_t device, double scale) {
    if (scale == 1.0) return device;
    // The nudge keeps a pixel that starts a cell in it where the scale is not a binary fraction
    // (11 / 1.1 comes out just under 10).
    return static_cast<int32_t>(std::floor(device / scale + 1e-9));
}

TMouseSample SampleMouse(const QWidget* window) {
    return TPlatform::Current().SampleMouse(window);
}

TMouseSample SampleMouseAhead(const QWidget* window) {
    return TPlatform::Current().SampleMouseAhead(window);
}

TMouseSample WithShortPresses(TMouseSample sample, const QWidget* window) {
    return TPlatform::Current().WithShortPresses(sample, window);
}

bool MouseButtonDown(int button) {
    if (button != 0 && button != 1) return false;
    const TMouseSample sample = SampleMouse();
    return button == 0 ? sample.LeftDown : sample.RightDown;
}

QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y) {
    return TPlatform::Current().ScreenToClient(widget, x, y);
}
