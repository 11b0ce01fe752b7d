// Ctrl+Z (undo), Ctrl+Shift+Z and Ctrl+Y (redo) for the map, wherever the focus is in the window:
// taken before any control sees them, so a spin edit's text never takes them for itself.
#pragma once

#include <QObject>

#include <functional>

class QWidget;

class TUndoKeys : public QObject {
  public:
    // Installs itself application-wide; acts on keys aimed at window or its controls.
    TUndoKeys(QWidget* window, std::function<void()> undo, std::function<void()> redo);
    ~TUndoKeys() override;

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    QWidget* FWindow;
    std::function<void()> FUndo;
    std::function<void()> FRedo;
};
