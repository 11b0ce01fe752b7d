// The current platform, and the choice of one.
#include "platform/Platform.h"

#include <QGuiApplication>

#include "platform/qt/QtPlatform.h"
#include "platform/x11/X11Platform.h"

namespace {

TPlatform* Opened = nullptr;

} // namespace

TPlatform::~TPlatform() {
    if (FOpened && Opened == this) Opened = FPrevious;
}

void TPlatform::MakeCurrent() {
    FPrevious = Opened;
    FOpened = true;
    Opened = this;
}

TPlatform& TPlatform::Current() {
    if (Opened != nullptr) return *Opened;
    static TQtPlatform qt;
    return qt;
}

std::unique_ptr<TPlatform> OpenPlatform() {
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        std::unique_ptr<TPlatform> x11 = TX11Platform::Open();
        if (x11) return x11;
    }
    return std::make_unique<TQtPlatform>(true);
}
