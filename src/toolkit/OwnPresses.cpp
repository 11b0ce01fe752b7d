// Presses and releases seen by any of our windows, as Qt delivers them.
#include "toolkit/OwnPresses.h"

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
        FHeld |= static_cast<QMouseEvent*>(event)->button();
        break;
    case QEvent::MouseButtonRelease:
        FHeld &= ~static_cast<QMouseEvent*>(event)->button();
        break;
    default:
        break;
    }
    return false;
}
