// Qt helpers for widget tests: closing modal boxes as they open, spontaneous close requests.
#pragma once

#include <QApplication>
#include <QCloseEvent>
#include <QMessageBox>
#include <QTimer>
#include <QtTest/qtestspontaneevent.h>

#include <vector>

// Accepts every modal message box that opens while it lives, recording text and caption.
class TModalBoxCloser {
  public:
    TModalBoxCloser() {
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                Texts.push_back(box->text());
                Captions.push_back(box->windowTitle());
                box->accept();
            }
        });
        FTimer.start(5);
    }
    std::vector<QString> Texts;
    std::vector<QString> Captions;

  private:
    QTimer FTimer;
};

// Delivers a close request as the window system does (a spontaneous close event); notify()
// keeps the flag where QApplication::sendEvent would clear it.
inline bool SendSpontaneousClose(QWidget* window) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(window, &event);
    return event.isAccepted();
}
