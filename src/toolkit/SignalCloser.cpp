// Turns the signal bridge's notices into a close of the window.
#include "toolkit/SignalCloser.h"

#include <QApplication>
#include <QDialog>
#include <QThread>

TSignalCloser::TSignalCloser(QWidget* window, std::function<void()> close)
    : FBridge([this](int) { OnSignal(); }), FWindow(window), FClose(std::move(close)) {}

void TSignalCloser::CloseFailed(std::string_view said) {
    if (!FClosing) return;
    // Armed first: a signal that came before is dropped, one after ends the process.
    TSignalBridge::SetExitAtOnce(true, said);
    FBridge.Discard();
}

void TSignalCloser::OnSignal() {
    if (FClosing) return;
    while (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        box->reject();
    CloseOnceUnwound();
}

// A box's loop ends only when control returns to it, and the close that showed the box is
// still running until then (a close asked for meanwhile would be dropped): wait for our own
// loop, outside every nested one.
void TSignalCloser::CloseOnceUnwound() {
    if (QThread::currentThread()->loopLevel() > 0) {
        QMetaObject::invokeMethod(this, &TSignalCloser::CloseOnceUnwound, Qt::QueuedConnection);
        return;
    }
    if (!FWindow || !FWindow->isVisible()) return; // closed already: the save is done
    // Whatever the close did (its box dismissed, or an error escaped), the next signal is a
    // close request again.
    struct TDone {
        bool& Closing;
        ~TDone() {
            Closing = false;
            TSignalBridge::SetExitAtOnce(false);
        }
    } done{FClosing};
    FClosing = true;
    FClose();
}
