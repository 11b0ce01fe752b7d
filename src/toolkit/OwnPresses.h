// The mouse buttons pressed on one of this program's own windows and not released since: a
// button held down for another program (a drag begun there, a drop) is not among them.
#pragma once

#include <QObject>

class TOwnPresses : public QObject {
  public:
    // The one tracker, watching every event of the application from its first use on.
    static TOwnPresses& Installed();

    // Qt's (logical) buttons pressed on our windows and not released since.
    Qt::MouseButtons Held() const { return FHeld; }
    // The window system reports only these buttons down now: the others cannot be held any
    // more, whatever became of their release.
    void Keep(Qt::MouseButtons down) { FHeld &= down; }

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    Qt::MouseButtons FHeld;
};
