// The top-level form with its handler chain and scrolling client area.
#include "toolkit/Form.h"

#include <QEvent>

#include "toolkit/Application.h"

TForm::TForm(QWidget* parent) : QScrollArea(parent), FClient(new QWidget) {
    // First, so the messages that setting up the area sends already find a handler.
    WindowProc = [this](QEvent* e) { return DefaultHandler(e); };
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::NoFocus); // the window itself is no stop in the focus order
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(FClient);
}

bool TForm::DefaultHandler(QEvent* event) { return QScrollArea::event(event); }

// An error leaves the whole handler chain (later hooks are cut short, as with any handler) and
// is shown here, where the message entered, rather than unwinding through Qt's code.
bool TForm::event(QEvent* event) {
    try {
        return WindowProc ? WindowProc(event) : DefaultHandler(event);
    } catch (...) {
        event->ignore(); // refused: a close whose handler failed leaves the window open
        Application->HandleException(std::current_exception());
        return true;
    }
}

QWidget* TForm::Client() const { return FClient; }

void TForm::SetClientSize(int width, int height) {
    FClient->setFixedSize(width, height);
    resize(width, height);
}

int TForm::ClientWidth() const { return FClient->width(); }

int TForm::ClientHeight() const { return FClient->height(); }

void TForm::Close() { close(); }
