// The mouse wheel over a widget as whole notches: 120 units of angle each, the small steps of a
// touchpad summed until they make one. The wheel events are taken, so nothing around the widget
// scrolls.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

class TWheelNotches : public QObject {
  public:
    // notches: positive away from the user; modifiers: the keys held.
    using TNotchEvent = std::function<void(int notches, Qt::KeyboardModifiers modifiers)>;
    TWheelNotches(QWidget* widget, TNotchEvent onNotches);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    TNotchEvent FOnNotches;
    int FRest = 0; // angle not yet a whole notch
};
