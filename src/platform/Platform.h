// The one door to the window system beyond what the toolkit offers: the mouse read globally,
// the screen mapped to a window's pixels, the presenter of a view. X's platform also fetches
// the clipboard of other programs (TSelectionFetch) and owns our own X connections; the display
// check before the toolkit starts is platform/x11/DisplayCheck.
#pragma once

#include <QPoint>

#include <cstdint>
#include <memory>

#include "platform/Mouse.h"
#include "platform/Presenter.h"

class QWidget;

class TPlatform {
  public:
    virtual ~TPlatform();
    TPlatform(const TPlatform&) = delete;
    TPlatform& operator=(const TPlatform&) = delete;

    // The platform opened last and not yet closed; Qt's own when none is open.
    static TPlatform& Current();

    // See SampleMouse, SampleMouseAhead, WithShortPresses and ScreenToClient (platform/Mouse.h).
    virtual TMouseSample SampleMouse(const QWidget* window) = 0;
    virtual TMouseSample SampleMouseAhead(const QWidget* window) { return SampleMouse(window); }
    virtual TMouseSample WithShortPresses(TMouseSample sample, const QWidget* window) = 0;
    virtual QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y) = 0;
    // The presenter of a view, made as the view is: it may give the view a native window.
    virtual std::unique_ptr<TPresenter> MakePresenter(QWidget* view) = 0;

  protected:
    TPlatform() = default;
    // Makes this platform the current one until it is closed.
    void MakeCurrent();

  private:
    static TPlatform* FOpenedLast; // the current one; null: Qt's own
    bool FOpened = false;
    TPlatform* FPrevious = nullptr;
};

// Opens the platform for the toolkit's display (defined in platform/open with Current, the one
// place that knows every platform), after the application object is made and
// before the first window: X's when the toolkit runs on X, Qt's own elsewhere. Close it after
// the last window: it closes our connections.
std::unique_ptr<TPlatform> OpenPlatform();
