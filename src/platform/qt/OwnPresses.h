// The mouse buttons pressed on one of this program's own windows and not released since: a
// button held down for another program (a drag begun there, a drop) is not among them.
#pragma once

#include <QObject>

#include <utility>

class TOwnPresses : public QObject {
  public:
    // The one tracker, watching every event of the application from its first use on.
    static TOwnPresses& Installed();

    // Qt's (logical) buttons pressed on our windows and not released since.
    Qt::MouseButtons Held() const { return FHeld; }
    // The window system reports only these buttons down now: the others cannot be held any
    // more, whatever became of their release.
    void Keep(Qt::MouseButtons down) { FHeld &= down; }
    // A count of the presses seen so far, and the buttons pressed after a count was read: a
    // state asked of the window system before those presses does not know them yet.
    unsigned long Count() const { return FCount; }
    Qt::MouseButtons PressedAfter(unsigned long count) const;
    // The buttons pressed on our windows since the last take (released or not); clears them.
    Qt::MouseButtons TakePressed() { return std::exchange(FPressed, Qt::NoButton); }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    Qt::MouseButtons FHeld;
    Qt::MouseButtons FPressed;
    unsigned long FCount = 0;
    unsigned long FPressCount[3] = {}; // the count at the last press of left, right, middle
};
