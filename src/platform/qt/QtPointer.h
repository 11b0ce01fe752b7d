// The mouse as Qt knows it: the fallback where the window system is not asked directly, and
// the pieces the X pointer shares with it.
#pragma once

#include <QPoint>

#include <cstdint>

#include "platform/Mouse.h"

class QWidget;
class QWindow;

// Qt's own state: its buttons (logical), its cursor position scaled to device pixels, its
// top-level window at the cursor.
TMouseSample QtSampleMouse(const QWidget* window);

// The pixel of widget under the screen's device pixel (x, y), given the device origin of its
// top-level's client area; Qt's position of the top-level, scaled, when origin is null.
QPoint ClientPoint(const QWidget* widget, int32_t x, int32_t y, const QPoint* origin);

// The sample with the buttons window's top-level received a press of since the last call
// counted as down and pressed here; left and right: Qt's names of the physical buttons.
TMouseSample WithPresses(TMouseSample sample, const QWidget* window, Qt::MouseButton left,
                         Qt::MouseButton right);

// The top-level window of widget, once it has one on the window system.
QWindow* TopLevelHandle(const QWidget* widget);
bool Minimised(const QWindow* window);
