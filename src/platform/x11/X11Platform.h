// The platform on X: the owner of our X connections (one for the presenters and the pointer
// query sent ahead; the clipboard worker opens its own per fetch), closed when it goes.
#pragma once

#include <memory>

#include "platform/Platform.h"

class TShmConnection;
class TX11Pointer;

class TX11Platform : public TPlatform {
  public:
    // The platform for the toolkit's X display, made current; null when the toolkit is not on X.
    static std::unique_ptr<TX11Platform> Open();
    ~TX11Platform() override;

    TMouseSample SampleMouse(const QWidget* window) override;
    TMouseSample SampleMouseAhead(const QWidget* window) override;
    TMouseSample WithShortPresses(TMouseSample sample, const QWidget* window) override;
    QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y) override;
    std::unique_ptr<TPresenter> MakePresenter(QWidget* view) override;

  private:
    TX11Platform() = default;

    std::unique_ptr<TShmConnection> FLink; // null when it cannot be opened
    std::unique_ptr<TX11Pointer> FPointer;
    bool FNative = false; // views present through their own windows
};
