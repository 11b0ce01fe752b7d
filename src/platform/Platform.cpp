// The current platform: the one opened last and not yet closed.
#include "platform/Platform.h"

TPlatform* TPlatform::FOpenedLast = nullptr;

TPlatform::~TPlatform() {
    if (FOpened && FOpenedLast == this) FOpenedLast = FPrevious;
}

void TPlatform::MakeCurrent() {
    FPrevious = FOpenedLast;
    FOpened = true;
    FOpenedLast = this;
}
