// Test helpers: a watcher that closes each message box once it is up, recording what it showed,
// and readable QStrings in failures.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

#include <functional>
#include <ostream>
#include <vector>

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

class TBoxWatcher : public QObject {
  public:
    // Event passes the modal loop runs before the box is closed.
    int PassesBeforeClose = 0;
    // Also waits (within a bound) until the window system has made the box the active window.
    bool CloseWhenActive = false;
    // Runs inside the modal loop just before the box is closed.
    std::function<void(QMessageBox*)> OnClosing;
    std::vector<QString> Texts;
    std::vector<QString> Captions;

    TBoxWatcher() { qApp->installEventFilter(this); }
    ~TBoxWatcher() override { qApp->removeEventFilter(this); }

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
        Captions.push_back(box->windowTitle());
        if (OnClosing) OnClosing(box);
        box->button(QMessageBox::Ok)->click();
    }

    int FWaited = 0;
};
