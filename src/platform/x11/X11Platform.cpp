#include "platform/x11/X11Platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtGui/qguiapplication_platform.h>

#include <cmath>
#include <string>

#include "platform/qt/BackingStorePresenter.h"
#include "platform/qt/QtPointer.h"
#include "platform/x11/NativePresenter.h"
#include "platform/x11/SelectionRequest.h"
#include "platform/x11/ShmConnection.h"
#include "platform/x11/X11Display.h"
#include "platform/x11/X11Pointer.h"
#include "toolkit/SelectionFetch.h"

std::unique_ptr<TX11Platform> TX11Platform::Open() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr) return nullptr;
    std::unique_ptr<TX11Platform> platform(new TX11Platform);
    const std::string display = X11DisplayName();
    platform->FLink = TShmConnection::Open(display);
    // Views present through their own windows at an integer display scale, unless
    // VOXEL_PRESENT=toolkit asks for the toolkit's way.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal scale = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    platform->FNative = platform->FLink && qgetenv("VOXEL_PRESENT") != "toolkit" &&
                        scale == std::floor(scale);
    platform->FPointer = std::make_unique<TX11Pointer>(
        x11->connection(), platform->FLink ? platform->FLink->Connection() : nullptr,
        platform->FNative);
    // A native view's window alone: without this the toolkit gives its siblings windows too.
    if (platform->FNative) QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    TSelectionFetch::SetSource(
        [display](const TWorker::TCancel& cancel, const TSelectionFetch::TChoose& choose) {
            return RequestSelection(display, cancel, choose);
        });
    platform->MakeCurrent();
    return platform;
}

TX11Platform::~TX11Platform() {
    TSelectionFetch::SetSource(nullptr);
}

TMouseSample TX11Platform::SampleMouse(const QWidget* window) {
    TMouseSample sample{};
    return FPointer->Sample(window, sample) ? sample : QtSampleMouse(window);
}

TMouseSample TX11Platform::SampleMouseAhead(const QWidget* window) {
    TMouseSample sample{};
    return FPointer->SampleAhead(window, sample) ? sample : QtSampleMouse(window);
}

TMouseSample TX11Platform::WithShortPresses(TMouseSample sample, const QWidget* window) {
    // The physical buttons' logical names, as the pointer mapping has them.
    Qt::MouseButton left = Qt::LeftButton, right = Qt::RightButton;
    FPointer->Buttons(left, right);
    return WithPresses(sample, window, left, right);
}

QPoint TX11Platform::ScreenToClient(const QWidget* widget, int32_t x, int32_t y) {
    // The client origin as the server has it (Qt's own position is in scaled units, rounded).
    QPoint origin;
    return ClientPoint(widget, x, y, FPointer->Origin(widget, origin) ? &origin : nullptr);
}

std::unique_ptr<TPresenter> TX11Platform::MakePresenter(QWidget* view) {
    if (FNative) return std::make_unique<TNativePresenter>(view, *FLink);
    return std::make_unique<TBackingStorePresenter>(view);
}
