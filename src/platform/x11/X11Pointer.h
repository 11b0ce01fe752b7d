// The pointer asked of the X server: one exchange per sample, its buttons matched against the
// presses our window received, with where our window sat when it was asked.
#pragma once

#include <QPoint>
#include <Qt>

#include <memory>

#include "platform/Mouse.h"

struct xcb_connection_t;
class QWidget;

class TX11Pointer {
  public:
    // toolkit: Qt's connection (the mapping, the frame look-up, the queries waited for).
    // ahead: the connection the queries sent ahead go out on, so their replies wake no thread
    // of the toolkit's; null for the toolkit's. Neither is closed here. aheadWithPuts:
    // the views put every frame on ahead, and the put's flush sends the query with it.
    TX11Pointer(xcb_connection_t* toolkit, xcb_connection_t* ahead, bool aheadWithPuts = false);
    ~TX11Pointer();
    TX11Pointer(const TX11Pointer&) = delete;
    TX11Pointer& operator=(const TX11Pointer&) = delete;

    // Asks and waits; false when the server does not answer.
    bool Sample(const QWidget* window, TMouseSample& sample);
    // See SampleMouseAhead; false when the server does not answer the first query.
    bool SampleAhead(const QWidget* window, TMouseSample& sample);
    // Qt's names of the physical left and right buttons under the pointer mapping.
    void Buttons(Qt::MouseButton& left, Qt::MouseButton& right);
    // The root position of widget's top-level client area in device pixels, as the last sample
    // of that window found it (so it goes with that sample's cursor, however the window moved).
    bool Origin(const QWidget* widget, QPoint& origin);

  private:
    struct TState;
    std::unique_ptr<TState> FState;
};
