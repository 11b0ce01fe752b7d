// The display check: the environment, then one trial connection to the X server, held until
// the application's own connection is up.
#include "platform/x11/DisplayCheck.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <string_view>

namespace {

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

} // namespace

TDisplayCheck::TDisplayCheck(const char* platformOption, const char* displayOption) {
    const char* platform =
        platformOption != nullptr ? platformOption : std::getenv("QT_QPA_PLATFORM");
    const char* display = displayOption != nullptr ? displayOption : std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (Set(display)) FX11Display = display;
    if (!Set(platform) && !Set(display) && !Set(wayland)) {
        FProblem = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        return;
    }
    // Qt takes X11 unless told otherwise or a Wayland session is there.
    const bool x11 = Set(platform) ? std::string_view(platform).starts_with("xcb") : !Set(wayland);
    if (!x11) return;
    if (!Set(display)) {
        FProblem = "no X display (DISPLAY is not set)";
        return;
    }
    FTrial = xcb_connect(display, nullptr);
    if (xcb_connection_has_error(FTrial) == 0) return;
    Release();
    FProblem = std::string("cannot open the X display \"") + display +
               "\" (no X server answers there, or it refused the connection)";
}

TDisplayCheck::~TDisplayCheck() {
    Release();
}

void TDisplayCheck::Release() {
    if (FTrial != nullptr) xcb_disconnect(FTrial);
    FTrial = nullptr;
}

bool DisplayByNetwork(const std::string& name) {
    // A socket's path, or the local socket asked for by name ("unix/host:0").
    if (name.starts_with('/') || name.starts_with("unix/")) return false;
    char* host = nullptr;
    int display = 0, screen = 0;
    if (xcb_parse_display(name.c_str(), &host, &display, &screen) == 0) return false;
    // No host, or "unix": the local socket too.
    const bool network = *host != '\0' && std::string_view(host) != "unix";
    std::free(host);
    return network;
}
