// The platform of Qt alone: the mouse as Qt reports it, views presented through the window's
// backing store. Used off X, and where X's cannot be opened.
#pragma once

#include "platform/Platform.h"

class TQtPlatform : public TPlatform {
  public:
    // current: made the current platform until it is destroyed.
    explicit TQtPlatform(bool current = false);

    TMouseSample SampleMouse(const QWidget* window) override;
    TMouseSample WithShortPresses(TMouseSample sample, const QWidget* window) override;
    QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y) override;
    std::unique_ptr<TPresenter> MakePresenter(QWidget* view) override;
};
