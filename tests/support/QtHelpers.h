// Qt helpers for widget tests: closing message boxes as they open, spontaneous close requests,
// readable QStrings in failures.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QtTest/qtestspontaneevent.h>

#include <functional>
#include <ostream>
#include <vector>

// The application as a new start finds it (a test that closed the window and starts another).
void ForgetQuitRequest();

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

// Clicks OK (or Answer, where the box has it; else its escape button) on each message box that
// shows while it lives, from inside the box's modal loop, recording text, the text below it and
// caption.
class TModalBoxCloser : public QObject {
  public:
    // Event passes the modal loop runs before the box is closed.
    int PassesBeforeClose = 0;
    // Also waits (within a bound) until the window system has made the box the active window.
    bool CloseWhenActive = false;
    // Runs inside the modal loop just before the box is closed.
    std::function<void(QMessageBox*)> OnClosing;
    QMessageBox::StandardButton Answer = QMessageBox::Ok;
    std::vector<QString> Texts;
    std::vector<QString> Details; // the informative text
    std::vector<QString> Captions;

    TModalBoxCloser() { qApp->installEventFilter(this); }
    ~TModalBoxCloser() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) != nullptr)
            CloseLater(PassesBeforeClose);
        return false;
    }

  private:
    void CloseLater(int passesLeft) {
        QMetaObject::invokeMethod(
            this, [this, passesLeft] { Close(passesLeft); }, Qt::QueuedConnection);
    }

    void Close(int passesLeft) {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        if (passesLeft > 0) return CloseLater(passesLeft - 1);
        if (CloseWhenActive && QApplication::activeWindow() != box && FWaited++ < 100000)
            return CloseLater(0);
        Texts.push_back(box->text());
        Details.push_back(box->informativeText());
        Captions.push_back(box->windowTitle());
        if (OnClosing) OnClosing(box);
        QAbstractButton* button = box->button(Answer);
        if (button == nullptr) button = box->button(QMessageBox::Ok);
        if (button == nullptr) button = box->escapeButton();
        button->click();
    }

    int FWaited = 0;
};

// Delivers a close request as the window system does (a spontaneous close event); notify()
// keeps the flag where QApplication::sendEvent would clear it.
inline bool SendSpontaneousClose(QWidget* window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(window, &event);
    return event.isAccepted();
}
