// The display check: the environment, then one trial connection to the X server.
#include "toolkit/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

} // namespace

std::string DisplayProblem(int argc, char** argv) {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!Set(platform) && !Set(display) && !Set(wayland))
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0)
            return {};
    // Qt takes X11 unless told otherwise or a Wayland session is there.
    const bool x11 = Set(platform) ? std::string_view(platform).starts_with("xcb") : !Set(wayland);
    if (!x11) return {};
    if (!Set(display)) return "no X display (DISPLAY is not set)";
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0) return {};
    return std::string("cannot open the X display \"") + display +
           "\" (no X server answers there, or it refused the connection)";
}
