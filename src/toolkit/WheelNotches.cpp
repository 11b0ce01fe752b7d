// Notches from angle deltas.
#include "toolkit/WheelNotches.h"

#include <QWheelEvent>
#include <QWidget>

TWheelNotches::TWheelNotches(QWidget* widget, TNotchEvent onNotches)
    : QObject(widget), FOnNotches(std::move(onNotches)) {
    widget->installEventFilter(this);
}

bool TWheelNotches::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::Wheel) return QObject::eventFilter(watched, event);
    const auto* wheel = static_cast<QWheelEvent*>(event);
    // Some systems turn a vertical wheel with a modifier held into a horizontal one.
    const QPoint angle = wheel->angleDelta();
    FRest += angle.y() != 0 ? angle.y() : angle.x();
    const int notches = FRest / 120;
    FRest -= notches * 120;
    if (notches != 0 && FOnNotches) FOnNotches(notches, wheel->modifiers());
    event->accept();
    return true;
}
