// Connections of our own to the X display the toolkit uses, so none waits behind Qt's event
// thread: the presenters and the pointer query sent ahead share one (TShmConnection), and the
// clipboard worker opens one for each fetch and closes it after.
#pragma once

#include <string>

struct xcb_connection_t;

// The toolkit's display as xcb_connect takes it, also when a -display option named it; "" when
// the toolkit is not on X. Call on the main thread.
std::string X11DisplayName();

// A new connection to the named display and its default screen number; null (nothing left
// open) when the name is "" or the connection fails.
xcb_connection_t* ConnectX11(const std::string& name, int* screen = nullptr);
