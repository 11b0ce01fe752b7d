// The platform wrappers' common part, the display object, the clipper and the fault seam.
#include "present/DirectDraw.h"

namespace {
constexpr int32_t ResultOk = 0;
} // namespace

TPlatformFaults& PlatformFaults() {
    static TPlatformFaults faults;
    return faults;
}

void TDirectX::SetResult(int32_t result) {
    LastResult = result;
    if (result != 0) DoError(result);
}

TDirectDraw::TDirectDraw() {
    SetResult(ResultOk);
}

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw*) {
    SetResult(ResultOk);
}

void TDirectDrawClipper::SetWindow(QWidget* window) {
    FWindow = window;
    SetResult(ResultOk);
}

QWidget* TDirectDrawClipper::Window() const {
    return FWindow;
}
