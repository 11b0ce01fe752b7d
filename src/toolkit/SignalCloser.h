// A close request from the system (a shutdown, a logout, Ctrl+C): the window closes as its
// own quit button closes it, after any open error box.
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>
#include <string_view>

#include "toolkit/SignalBridge.h"

class TSignalCloser : public QObject {
    Q_OBJECT
  public:
    // On each signal: closes the open modal boxes, then, once their loops have ended, calls
    // close (the window's quit-button close) while window is shown.
    TSignalCloser(QWidget* window, std::function<void()> close);

    // To be called when a close's save failed, before its error box shows. When a signal asked
    // for that close, the next signal ends the process at once with 128 + its number, until
    // the box is dismissed, after writing said to standard error.
    void CloseFailed(std::string_view said = {});

  private:
    void OnSignal();
    void CloseOnceUnwound();
    TSignalBridge FBridge;
    QPointer<QWidget> FWindow;
    std::function<void()> FClose;
    bool FClosing = false; // a close a signal asked for is under way
};
