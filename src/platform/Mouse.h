// The global mouse state: physical left and right buttons and whether our windows received their
// press, the cursor in the screen's device pixels, and whether it is over a visible part of our
// window. The functions ask the platform in use (TPlatform::Current()).
#pragma once

#include <cstddef>
#include <cstdint>

class QPoint;
class QWidget;

// One reading of the mouse, taken in one go.
struct TMouseSample {
    bool LeftDown;
    bool RightDown;
    int32_t X; // cursor in the screen's device pixels
    int32_t Y;
    // The window the sample was taken for is shown under the cursor: not minimised, not covered
    // there by another top-level window. True by default, so a sample made up by hand edits.
    bool OverOwnWindow = true;
    // The button went down on the window the sample was taken for and is still held for us: a
    // button pressed in another program or on a box of ours, or whose press Qt has yet to hand
    // us, is not. True by default too.
    bool LeftPressedHere = true;
    bool RightPressedHere = true;
};

// Samples the buttons and the cursor now, whatever window has focus or lies under the cursor,
// and whether the cursor is over a visible part of window's top-level (true when window is
// null). On X this is the one pointer query, its buttons matched against the presses our windows
// received; the window's frame is looked up again only after the window is reparented.
TMouseSample SampleMouse(const QWidget* window = nullptr);

// The same reading from the pointer query sent on the previous call, whose reply came in
// meanwhile, so no call waits for the server; a query goes out for the next call. The first
// call asks and waits; a call before the reply is in gives the last reading again. On X only
// (SampleMouse elsewhere).
TMouseSample SampleMouseAhead(const QWidget* window);

// The sample with every button window's top-level received a press of since the last call
// counted as down and pressed here: a click that ended between two samples still acts on the
// next one. A press on another window of ours (a box, a dialog) is dropped.
TMouseSample WithShortPresses(TMouseSample sample, const QWidget* window);

// Whether a physical button is down now: 0 left, 1 right; any other value answers false.
bool MouseButtonDown(int button);

// Whether the physical button (1-based) is down, given the logical button state mask of the X
// core protocol (Button1Mask = 1 << 8 ...) and the pointer mapping (map[i] = logical button of
// physical button i + 1). A button mapped to 0 or above 5 reads as up.
bool PhysicalButtonDown(uint16_t stateMask, const uint8_t* map, size_t mapLength, int physical);
// The logical button the physical button (1-based) reports as under that mapping; 0 for none.
int LogicalButton(const uint8_t* map, size_t mapLength, int physical);

// The pixel of widget drawn under the screen's device pixel (x, y): the offset from the
// widget's device origin divided by the display scale, rounded down (also left of or above it).
QPoint ScreenToClient(const QWidget* widget, int32_t x, int32_t y);

// device / scale rounded down, for a scale > 0.
int32_t DeviceToLogical(int32_t device, double scale);
