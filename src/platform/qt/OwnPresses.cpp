// Presses and releases seen by any of our windows, as Qt delivers them.
#include "platform/qt/OwnPresses.h"

#include <QCoreApplication>
#include <QMouseEvent>

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

bool TOwnPresses::eventFilter(QObject*, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    {
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        FHeld |= button;
        FPressed |= button;
        ++FCount;
        for (int i = 0; i < 3; ++i)
            if (button == Qt::MouseButton(Qt::LeftButton << i)) FPressCount[i] = FCount;
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

Qt::MouseButtons TOwnPresses::PressedAfter(unsigned long count) const {
    Qt::MouseButtons after;
    for (int i = 0; i < 3; ++i)
        if (FPressCount[i] > count) after |= Qt::MouseButton(Qt::LeftButton << i);
    return after;
}
