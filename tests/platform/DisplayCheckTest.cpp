// The display check: which display it checks (the command line's before the environment's),
// its trial connection held until released, X11 named on a Wayland session with an X display,
// a Wayland display that does not answer, and which display names go over the network.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/Xvfb.h"
#include "platform/x11/DisplayCheck.h"

namespace {

void SetOrUnset(const char* name, const char* value) {
    if (value != nullptr)
        setenv(name, value, 1);
    else
        unsetenv(name);
}

} // namespace

// Each row: the -platform and -display options, QT_QPA_PLATFORM and DISPLAY (nullptr: not
// given), the words the problem starts with ("" for none), then WAYLAND_DISPLAY and
// XDG_SESSION_TYPE and whether the program names X11 itself; a server of the test's own stands
// where a row says "server". With no problem on X the trial connection stays open until
// released.
TEST(DisplayCheckTest, ChecksTheDisplayTheOptionsNameBeforeTheEnvironmentsAndHoldsIt) {
    const TXvfb server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    const std::string live = server.Name();
    const char* const Server = "server";
    // A socket that takes connections, as a compositor's, in a runtime folder of the test's own.
    char runtime[] = "/tmp/display-check-XXXXXX";
    ASSERT_NE(mkdtemp(runtime), nullptr);
    const char* const Live = "wayland-live";
    const std::string socketPath = std::string(runtime) + "/" + Live;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    const int compositor = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(compositor, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(compositor, 16), 0);
    const char* const runtimeBefore = std::getenv("XDG_RUNTIME_DIR");
    const std::string restore = runtimeBefore ? runtimeBefore : "";
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    struct TRow {
        const char *Platform, *Display, *EnvPlatform, *EnvDisplay, *Problem;
        const char *Wayland = nullptr, *Session = nullptr;
        bool NamesX11 = false;
    };
    const TRow rows[] = {
        {nullptr, nullptr, nullptr, Server, ""},
        {nullptr, Server, nullptr, ":87", ""},
        {nullptr, ":87", nullptr, Server, "cannot open the X display \":87\""},
        {"offscreen", nullptr, nullptr, nullptr, ""},           // the toolkit decides
        {"xcb", nullptr, "offscreen", nullptr, "no X display"}, // the option counts
        {nullptr, nullptr, "xcb", nullptr, "no X display"},
        {"xcb", Server, nullptr, nullptr, ""},
        // A Wayland session with an X display: X11, unless a platform is named. A compositor
        // answers on Live; none on "wayland-9".
        {nullptr, nullptr, nullptr, Server, "", "wayland-9", nullptr, true},
        {nullptr, Server, nullptr, nullptr, "", nullptr, "wayland", true},
        {nullptr, nullptr, nullptr, ":87", "cannot open the X display", "wayland-9", nullptr, true},
        {nullptr, nullptr, nullptr, Server, "", nullptr, "x11", false},
        {"wayland", nullptr, nullptr, Server, "", Live},
        {nullptr, nullptr, "wayland", Server, "cannot open the Wayland display", "wayland-9"},
        {nullptr, nullptr, nullptr, nullptr, "", Live, "wayland"}, // Wayland alone
        {nullptr, nullptr, nullptr, nullptr, "cannot open the Wayland display \"wayland-9\"",
         "wayland-9"},
        {"offscreen", nullptr, nullptr, nullptr, "", "wayland-9"},
    };
    for (const TRow& row : rows) {
        const auto named = [&](const char* value) {
            return value == Server ? live.c_str() : value;
        };
        SCOPED_TRACE(std::string(row.Platform ? row.Platform : "-") + " " +
                     (row.Display ? row.Display : "-") + " " +
                     (row.EnvPlatform ? row.EnvPlatform : "-") + " " +
                     (row.EnvDisplay ? row.EnvDisplay : "-") + " " +
                     (row.Wayland ? row.Wayland : "-") + " " + (row.Session ? row.Session : "-"));
        SetOrUnset("QT_QPA_PLATFORM", row.EnvPlatform);
        SetOrUnset("DISPLAY", named(row.EnvDisplay));
        SetOrUnset("WAYLAND_DISPLAY", row.Wayland);
        SetOrUnset("XDG_SESSION_TYPE", row.Session);
        TDisplayCheck check(row.Platform, named(row.Display));
        EXPECT_EQ(check.Problem().substr(0, std::string(row.Problem).size()), row.Problem);
        EXPECT_EQ(check.Problem().empty(), *row.Problem == '\0');
        EXPECT_EQ(check.NamesX11(), row.NamesX11);
        const char* platform = row.Platform ? row.Platform : row.EnvPlatform;
        const bool x11 = platform ? *platform == 'x' : row.Wayland == nullptr || row.NamesX11;
        const bool onX = *row.Problem == '\0' && x11;
        EXPECT_EQ(check.Holding(), onX);
        check.Release();
        EXPECT_FALSE(check.Holding());
    }
    unsetenv("WAYLAND_DISPLAY"); // the tests after this one start the toolkit on X
    unsetenv("XDG_SESSION_TYPE");
    SetOrUnset("XDG_RUNTIME_DIR", runtimeBefore ? restore.c_str() : nullptr);
    close(compositor);
    unlink(socketPath.c_str());
    rmdir(runtime);
}

// A server run without -noreset resets when its last client leaves and refuses connections
// meanwhile: a check made at once still finds the display, every time. Its screen is read too.
TEST(DisplayCheckTest, FindsAServerResettingAfterItsLastClientLeft) {
    const TXvfb server(false, "800x600x24");
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    for (int start = 0; start < 20; ++start) {
        TDisplayCheck check("xcb", server.Name().c_str());
        ASSERT_EQ(check.Problem(), "") << "start " << start;
        EXPECT_TRUE(check.Holding());
        EXPECT_EQ(check.ScreenWidth(), 800);
        EXPECT_EQ(check.ScreenHeight(), 600);
    } // released: the server resets under the next start
}

TEST(DisplayCheckTest, TellsTheDisplaysReachedOverTheNetwork) {
    for (const char* local :
         {":0", ":1.0", "unix:0", "unix/:2", "/tmp/launch-x/org.x:0", "unix/host:0", "", "x"})
        EXPECT_FALSE(DisplayByNetwork(local)) << local;
    for (const char* remote :
         {"localhost:10", "localhost:10.0", "127.0.0.1:0", "tcp/host:1", "[::1]:0"})
        EXPECT_TRUE(DisplayByNetwork(remote)) << remote;
}
