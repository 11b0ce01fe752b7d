// Test helpers: a watcher that closes each message box soon after it shows, recording what it
// showed, and readable QStrings in failures.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>

#include <functional>
#include <ostream>
#include <vector>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

class TBoxWatcher : public QObject {
  public:
    struct TSeen {
        QString Text;
        QString Caption;
        QMessageBox::Icon Icon;
        QList<QAbstractButton*>::size_type ButtonCount;
        bool HasOk;
        Qt::WindowModality Modality;
    };

    // Event passes the modal loop runs before the box is closed.
    int PassesBeforeClose = 0;
    // Also waits (within a bound) until the window system has made the box the active window.
    bool CloseWhenActive = false;
    // Runs inside the modal loop just before the box is closed.
    std::function<void(QMessageBox*)> OnClosing;
    std::vector<TSeen> Seen;

    TBoxWatcher() { qApp->installEventFilter(this); }
    ~TBoxWatcher() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QMessageBox*>(watched) != nullptr)
            CloseLater(PassesBeforeClose);
        return false;
    }

  private:
    void CloseLater(int passesLeft) {
        QMetaObject::invokeMethod(this, [this, passesLeft] { Close(passesLeft); }, Qt::QueuedConnection);
    }

    void Close(int passesLeft) {
        QPointer<QMessageBox> box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        if (passesLeft > 0) return CloseLater(passesLeft - 1);
        if (CloseWhenActive && QApplication::activeWindow() != box && FActivationPasses++ < 100000)
            return CloseLater(0);
        Seen.push_back({box->text(), box->windowTitle(), box->icon(), box->buttons().size(),
                        box->button(QMessageBox::Ok) != nullptr, box->windowModality()});
        if (OnClosing) OnClosing(box);
        if (box != nullptr) box->button(QMessageBox::Ok)->click();
    }

    int FActivationPasses = 0;
};
