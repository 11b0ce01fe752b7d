// Whether the program can open its display, asked before the toolkit tries: the toolkit's own
// failure aborts with a long message and advice that does not apply.
#pragma once

#include <string>

struct xcb_connection_t;

class TDisplayCheck {
  public:
    // Checks the display the toolkit will open. platform and display: the values of the
    // toolkit's -platform and -display options as the command line gave them, null when not
    // given; they count before QT_QPA_PLATFORM and DISPLAY, as they do for the toolkit. Reads
    // WAYLAND_DISPLAY and XDG_SESSION_TYPE too. A refused X connection is tried again for
    // about a second (a server resetting).
    TDisplayCheck(const char* platform, const char* display);
    ~TDisplayCheck(); // releases the trial connection if still held
    TDisplayCheck(const TDisplayCheck&) = delete;
    TDisplayCheck& operator=(const TDisplayCheck&) = delete;

    // Why the display cannot be opened, in a few words for one line, or empty when it can (or
    // when the platform is neither X11's nor Wayland's and the toolkit decides). A Wayland
    // display is only seen to answer; nothing more is asked of it.
    const std::string& Problem() const { return FProblem; }
    // The X display the toolkit's X11 platform would open (the -display option's or DISPLAY),
    // whatever the platform; "" when neither names one.
    const std::string& X11Display() const { return FX11Display; }
    // Whether the program names the X11 platform to the toolkit itself: the user named none,
    // and a Wayland session (WAYLAND_DISPLAY, or XDG_SESSION_TYPE=wayland) has an X display
    // too (Xwayland). The toolkit would take its Wayland platform there, whose backing store
    // holds every frame until the compositor gives a buffer back; through the X display the
    // shared-memory present never waits.
    bool NamesX11() const { return FNamesX11; }
    // The X screen's size in pixels, from the trial connection; 0 when no X display was opened.
    int ScreenWidth() const { return FScreenWidth; }
    int ScreenHeight() const { return FScreenHeight; }
    // Whether the trial connection is still open.
    bool Holding() const { return FTrial != nullptr; }
    // Closes the trial connection. Call once the application's own connection is up: an X
    // server run without -noreset resets when its last client leaves, and a reset under the
    // application's connection makes the toolkit abort.
    void Release();

  private:
    std::string FProblem;
    std::string FX11Display;
    bool FNamesX11 = false;
    int FScreenWidth = 0, FScreenHeight = 0;
    xcb_connection_t* FTrial = nullptr;
};

// Whether an X display name reaches its server over the network (a host before the colon, as
// "localhost:10" through ssh -X), rather than through a local socket (":0", "unix:0", a path).
bool DisplayByNetwork(const std::string& name);
