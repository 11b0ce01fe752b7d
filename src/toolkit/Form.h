// A top-level window whose messages run through a replaceable handler chain, so components
// (the views) can hook the form as window sub-classing does; the client area scrolls when the
// window is made smaller than its content.
#pragma once

#include <QScrollArea>

#include <functional>

class TForm : public QScrollArea {
    Q_OBJECT
  public:
    // A message handler: returns what QWidget::event would.
    using TWndMethod = std::function<bool(QEvent*)>;

    explicit TForm(QWidget* parent = nullptr);

    // Head of the handler chain; starts as DefaultHandler. Hooks replace it and keep the old one.
    TWndMethod WindowProc;
    // The form's own handling of a message (the end of the chain).
    bool DefaultHandler(QEvent* event);

    // The client area: controls are placed in it at client coordinates.
    QWidget* Client() const;
    // Sets the client area's size; the window takes the same size when it fits the screen.
    void SetClientSize(int width, int height);
    int ClientWidth() const;
    int ClientHeight() const;

    // Asks the form to close, as a program request (not from the window system).
    void Close();

  protected:
    bool event(QEvent* event) override;

  private:
    QWidget* FClient;
};
