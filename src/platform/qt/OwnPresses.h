// The mouse buttons pressed on one of this program's own windows and not released since, with
// the window each press landed on: a button held down for another program (a drag begun there,
// a drop) is not among them, and a press on a box of ours counts only for that box.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWindow>

class TOwnPresses : public QObject {
  public:
    // The one tracker, watching every event of the application from its first use on.
    static TOwnPresses& Installed();

    // Qt's (logical) buttons pressed on the top-level window on and not released since; on any
    // window of ours when on is null.
    Qt::MouseButtons Held(const QWindow* on = nullptr) const;
    // The window system reports only these buttons down now: the others cannot be held any
    // more, whatever became of their release.
    void Keep(Qt::MouseButtons down) { FHeld &= down; }
    // A count of the presses seen so far, and the buttons pressed after a count was read: a
    // state asked of the window system before those presses does not know them yet.
    unsigned long Count() const { return FCount; }
    Qt::MouseButtons PressedAfter(unsigned long count) const;
    // The buttons whose last press since the last take landed on the top-level window on (on
    // any of ours when null), released or not; clears them all.
    Qt::MouseButtons TakePressed(const QWindow* on = nullptr);

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    // Whether button i's last press landed on on (any window when on is null).
    bool LandedOn(int i, const QWindow* on) const;
    Qt::MouseButtons FHeld;
    Qt::MouseButtons FPressed;
    unsigned long FCount = 0;
    // Left, right, middle: the count at the last press, and the top-level window it landed on
    // (null once that window is gone).
    unsigned long FPressCount[3] = {};
    QPointer<QWindow> FPressedOn[3];
};
