// The choice of a platform: the one place that knows both, so neither folder includes the other
// and the interface's folder includes neither.
#include <QGuiApplication>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "platform/x11/X11Platform.h"

TPlatform& TPlatform::Current() {
    if (FOpenedLast != nullptr) return *FOpenedLast;
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
