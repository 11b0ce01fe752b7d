// The display check: the environment, then one trial connection to the X server, held until
// the application's own connection is up, or a knock at the Wayland compositor's socket.
#include "platform/x11/DisplayCheck.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

constexpr int ConnectRetries = 10;
constexpr useconds_t ConnectRetryUs = 100 * 1000;

bool Set(const char* value) {
    return value != nullptr && *value != '\0';
}

// Why the Wayland display named (WAYLAND_DISPLAY, "wayland-0" when unset) cannot be reached, or
// "" when a compositor answers there: the toolkit's Wayland library would print a line of its
// own before the toolkit's message. Its socket is the name itself when that is a path, else
// the name in XDG_RUNTIME_DIR.
std::string WaylandProblem(const char* name) {
    if (Set(std::getenv("WAYLAND_SOCKET"))) return ""; // a connection handed over, not a name
    const std::string display = Set(name) ? name : "wayland-0";
    std::string path = display;
    if (!display.starts_with('/')) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        if (!Set(runtime))
            return "no Wayland display (XDG_RUNTIME_DIR, where \"" + display +
                   "\" would be, is not set)";
        path = std::string(runtime) + "/" + display;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    bool answers = false;
    if (path.size() < sizeof(address.sun_path)) {
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        answers = fd >= 0 &&
                  connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0) close(fd);
    }
    if (answers) return "";
    return "cannot open the Wayland display \"" + display + "\" (no compositor answers there)";
}

} // namespace

TDisplayCheck::TDisplayCheck(const char* platformOption, const char* displayOption) {
    const char* platform =
        platformOption != nullptr ? platformOption : std::getenv("QT_QPA_PLATFORM");
    const char* display = displayOption != nullptr ? displayOption : std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* session = std::getenv("XDG_SESSION_TYPE");
    if (Set(display)) FX11Display = display;
    if (!Set(platform) && !Set(display) && !Set(wayland)) {
        FProblem = "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
        return;
    }
    // The toolkit takes X11 unless told otherwise or a Wayland session is there; on one with
    // an X display too, the program names X11 itself.
    const bool waylandSession =
        Set(wayland) || (session != nullptr && std::string_view(session) == "wayland");
    FNamesX11 = !Set(platform) && Set(display) && waylandSession;
    const bool x11 = Set(platform) ? std::string_view(platform).starts_with("xcb")
                                   : Set(display) || !Set(wayland);
    if (!x11) {
        // Wayland's, named or the toolkit's own choice; another named platform it decides.
        if (!Set(platform) || std::string_view(platform).starts_with("wayland"))
            FProblem = WaylandProblem(wayland);
        return;
    }
    if (!Set(display)) {
        FProblem = "no X display (DISPLAY is not set)";
        return;
    }
    // A server run without -noreset refuses connections for a moment while it resets after
    // its last client left: tried again for about a second before giving up.
    int screen = 0;
    for (int attempt = 0;; ++attempt) {
        FTrial = xcb_connect(display, &screen);
        if (xcb_connection_has_error(FTrial) == 0) break;
        Release();
        if (attempt == ConnectRetries) {
            FProblem = std::string("cannot open the X display \"") + display +
                       "\" (no X server answers there, or it refused the connection)";
            return;
        }
        usleep(ConnectRetryUs);
    }
    xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(FTrial));
    for (int i = 0; i < screen && roots.rem > 0; ++i) xcb_screen_next(&roots);
    if (roots.rem > 0) {
        FScreenWidth = roots.data->width_in_pixels;
        FScreenHeight = roots.data->height_in_pixels;
    }
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
