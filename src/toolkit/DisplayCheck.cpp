// The display check: the environment, then one trial connection to the X server.
#include "toolkit/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>
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
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "-platform" || arg == "--platform") return {};
        // The X display named on the command line counts before DISPLAY.
        if ((arg == "-display" || arg == "--display") && i + 1 < argc) display = argv[++i];
    }
    if (!Set(platform) && !Set(display) && !Set(wayland))
        return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
    // Qt takes X11 unless told otherwise or a Wayland session is there.
    const bool x11 = Set(platform) ? std::string_view(platform).starts_with("xcb") : !Set(wayland);
    if (!x11) return {};
    if (!Set(display)) return "no X display (DISPLAY is not set)";
    xcb_connection_t* connection = xcb_connect(display, nullptr);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == 0) return {};
    return std::string("cannot open the X display \"") + display +
           "\" (no X server answers there, or it refused the connection)";
}
