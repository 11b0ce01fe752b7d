// The top-level form with its handler chain and scrolling client area.
#include "toolkit/Form.h"

#include <QEvent>

TForm::TForm(QWidget* parent) : QScrollArea(parent), FClient(new QWidget) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWidget(FClient);
    WindowProc = [this](QEvent* e) { return DefaultHandler(e); };
}

bool TForm::DefaultHandler(QEvent* event) { return QScrollArea::event(event); }

bool TForm::event(QEvent* event) { return WindowProc(event); }

QWidget* TForm::Client() const { return FClient; }

void TForm::SetClientSize(int width, int height) {
    FClient->setFixedSize(width, height);
    resize(width, height);
}

int TForm::ClientWidth() const { return FClient->width(); }

int TForm::ClientHeight() const { return FClient->height(); }

void TForm::Close() { close(); }
