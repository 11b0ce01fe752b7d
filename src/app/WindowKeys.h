// The window's own shortcuts (undo, redo, the clipboard), wherever the focus is in the window:
// taken before any control sees them. A text field keeps the ones marked as its own (copy and
// paste of its text).
#pragma once

#include <QKeyCombination>
#include <QObject>

#include <functional>
#include <vector>

class QWidget;

class TWindowKeys : public QObject {
  public:
    struct TBinding {
        QKeyCombination Key;
        std::function<void()> Action;
        bool TextFieldsKeepIt = false;
    };
    // Installs itself application-wide; acts on keys aimed at window or its controls.
    TWindowKeys(QWidget* window, std::vector<TBinding> bindings);
    ~TWindowKeys() override;

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    QWidget* FWindow;
    std::vector<TBinding> FBindings;
};
