// Connections of our own to the toolkit's X display.
#include "platform/x11/X11Display.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

extern "C" char* XDisplayString(Display* display);

std::string X11DisplayName() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return {};
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->display() == nullptr) return {};
    return XDisplayString(x11->display());
}

xcb_connection_t* ConnectX11(const std::string& name, int* screen) {
    if (name.empty()) return nullptr;
    xcb_connection_t* connection = xcb_connect(name.c_str(), screen);
    if (xcb_connection_has_error(connection) == 0) return connection;
    xcb_disconnect(connection);
    return nullptr;
}
