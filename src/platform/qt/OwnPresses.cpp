// Presses and releases seen by any of our windows, as Qt delivers them.
#include "platform/qt/OwnPresses.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QWidget>

namespace {

// The top-level window an event for target goes to: Qt hands a press to the window first, then
// to its widgets (a test may hand it to a widget directly).
QWindow* TopLevelOf(QObject* target) {
    if (auto* widget = qobject_cast<QWidget*>(target)) return widget->window()->windowHandle();
    auto* window = qobject_cast<QWindow*>(target);
    while (window != nullptr && window->parent() != nullptr) window = window->parent();
    return window;
}

int ButtonIndex(Qt::MouseButton button) {
    for (int i = 0; i < 3; ++i)
        if (button == Qt::MouseButton(Qt::LeftButton << i)) return i;
    return -1;
}

} // namespace

TOwnPresses& TOwnPresses::Installed() {
    // Lives as long as the application, which owns it.
    static TOwnPresses* presses = [] {
        auto* p = new TOwnPresses;
        p->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(p);
        return p;
    }();
    return *presses;
}

bool TOwnPresses::eventFilter(QObject* target, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        FHeld |= button;
        FPressed |= button;
        ++FCount;
        if (const int i = ButtonIndex(button); i >= 0) {
            FPressCount[i] = FCount;
            FPressedOn[i] = TopLevelOf(target);
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        FHeld &= ~static_cast<QMouseEvent*>(event)->button();
        break;
    default:
        break;
    }
    return false;
}

bool TOwnPresses::LandedOn(int i, const QWindow* on) const {
    return on == nullptr || (FPressedOn[i] != nullptr && FPressedOn[i].data() == on);
}

Qt::MouseButtons TOwnPresses::Held(const QWindow* on) const {
    Qt::MouseButtons held;
    for (int i = 0; i < 3; ++i) {
        const auto button = Qt::MouseButton(Qt::LeftButton << i);
        if (FHeld.testFlag(button) && LandedOn(i, on)) held |= button;
    }
    return held;
}

Qt::MouseButtons TOwnPresses::PressedAfter(unsigned long count) const {
    Qt::MouseButtons after;
    for (int i = 0; i < 3; ++i)
        if (FPressCount[i] > count) after |= Qt::MouseButton(Qt::LeftButton << i);
    return after;
}

Qt::MouseButtons TOwnPresses::TakePressed(const QWindow* on) {
    Qt::MouseButtons pressed;
    for (int i = 0; i < 3; ++i) {
        const auto button = Qt::MouseButton(Qt::LeftButton << i);
        if (FPressed.testFlag(button) && LandedOn(i, on)) pressed |= button;
    }
    FPressed = Qt::NoButton;
    return pressed;
}
