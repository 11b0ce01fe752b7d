// Qt's view of the mouse, in device pixels.
#include "platform/qt/QtPointer.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <cmath>

#include "platform/qt/OwnPresses.h"

QWindow* TopLevelHandle(const QWidget* widget) {
    return widget != nullptr ? widget->window()->windowHandle() : nullptr;
}

bool Minimised(const QWindow* window) {
    return !window->isVisible() || (window->windowStates() & Qt::WindowMinimized);
}

TMouseSample QtSampleMouse(const QWidget* window) {
    TMouseSample sample{};
    const Qt::MouseButtons buttons = QGuiApplication::mouseButtons();
    const QPoint pos = QCursor::pos();
    const QScreen* screen = QGuiApplication::screenAt(pos);
    if (screen == nullptr) screen = QGuiApplication::primaryScreen();
    const qreal ratio = screen != nullptr ? screen->devicePixelRatio() : 1.0;
    sample.LeftDown = buttons.testFlag(Qt::LeftButton);
    sample.RightDown = buttons.testFlag(Qt::RightButton);
    sample.X = static_cast<int32_t>(std::lround(pos.x() * ratio));
    sample.Y = static_cast<int32_t>(std::lround(pos.y() * ratio));
    if (window != nullptr) {
        QWindow* handle = TopLevelHandle(window);
        sample.OverOwnWindow = handle != nullptr && !Minimised(handle) &&
                               QGuiApplication::topLevelAt(pos) == handle;
        // Qt's buttons are down for whichever window of ours took the press: only one this
        // window took is its own.
        const Qt::MouseButtons held = TOwnPresses::Installed().Held(handle);
        sample.LeftPressedHere = held.testFlag(Qt::LeftButton);
        sample.RightPressedHere = held.testFlag(Qt::RightButton);
    }
    return sample;
}

QPoint ClientPoint(const QWidget* widget, int32_t x, int32_t y, const QPoint* origin) {
    const QWidget* top = widget->window();
    const QWindow* handle = TopLevelHandle(widget);
    const qreal scale = handle != nullptr ? handle->devicePixelRatio() : 1.0;
    // Qt's own position is in scaled units, rounded: the window system's origin, where it was
    // asked, is the exact one.
    QPoint device;
    if (origin != nullptr) {
        device = *origin;
    } else {
        const QPoint global = top->mapToGlobal(QPoint(0, 0));
        device = QPoint(static_cast<int>(std::lround(global.x() * scale)),
                        static_cast<int>(std::lround(global.y() * scale)));
    }
    // Whole units inside the top-level, so flooring there and then offsetting is exact.
    const QPoint offset = widget->mapTo(top, QPoint(0, 0));
    return QPoint(DeviceToLogical(x - device.x(), scale) - offset.x(),
                  DeviceToLogical(y - device.y(), scale) - offset.y());
}

TMouseSample WithPresses(TMouseSample sample, const QWidget* window, Qt::MouseButton left,
                         Qt::MouseButton right) {
    const Qt::MouseButtons pressed = TOwnPresses::Installed().TakePressed(TopLevelHandle(window));
    if (pressed == Qt::NoButton) return sample;
    if (pressed.testAnyFlag(left)) sample.LeftDown = sample.LeftPressedHere = true;
    if (pressed.testAnyFlag(right)) sample.RightDown = sample.RightPressedHere = true;
    return sample;
}
