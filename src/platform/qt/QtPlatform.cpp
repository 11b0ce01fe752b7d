#include "platform/qt/QtPlatform.h"

#include "platform/qt/BackingStorePresenter.h"
#include "platform/qt/QtPointer.h"

TQtPlatform::TQtPlatform(bool current) {
    if (current) MakeCurrent();
}

TMouseSample TQtPlatform::SampleMouse(const QWidget* window) {
    return QtSampleMouse(window);
}

TMouseSample TQtPlatform::WithShortPresses(TMouseSample sample, const QWidget* window) {
    return WithPresses(sample, window, Qt::LeftButton, Qt::RightButton);
}

QPoint TQtPlatform::ScreenToClient(const QWidget* widget, int32_t x, int32_t y) {
    return ClientPoint(widget, x, y, nullptr);
}

std::unique_ptr<TPresenter> TQtPlatform::MakePresenter(QWidget* view) {
    return std::make_unique<TBackingStorePresenter>(view);
}
