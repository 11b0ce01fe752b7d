// The display check: which display it checks (the command line's before the environment's),
// its trial connection held until released, and which display names go over the network.
#include <gtest/gtest.h>

#include <cstdlib>
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
// given), and the words the problem starts with ("" for none); a server of the test's own
// stands where a row says "server". With no problem on X the trial connection stays open
// until released.
TEST(DisplayCheckTest, ChecksTheDisplayTheOptionsNameBeforeTheEnvironmentsAndHoldsIt) {
    const TXvfb server;
    if (!server.Running()) GTEST_SKIP() << "Xvfb could not be started";
    const std::string live = server.Name();
    const char* const Server = "server";
    struct TRow {
        const char *Platform, *Display, *EnvPlatform, *EnvDisplay, *Problem;
    };
    const TRow rows[] = {
        {nullptr, nullptr, nullptr, Server, ""},
        {nullptr, Server, nullptr, ":87", ""},
        {nullptr, ":87", nullptr, Server, "cannot open the X display \":87\""},
        {"offscreen", nullptr, nullptr, nullptr, ""},           // the toolkit decides
        {"xcb", nullptr, "offscreen", nullptr, "no X display"}, // the option counts
        {nullptr, nullptr, "xcb", nullptr, "no X display"},
        {"xcb", Server, nullptr, nullptr, ""},
    };
    unsetenv("WAYLAND_DISPLAY");
    for (const TRow& row : rows) {
        const auto named = [&](const char* value) {
            return value == Server ? live.c_str() : value;
        };
        SCOPED_TRACE(std::string(row.Platform ? row.Platform : "-") + " " +
                     (row.Display ? row.Display : "-") + " " +
                     (row.EnvPlatform ? row.EnvPlatform : "-") + " " +
                     (row.EnvDisplay ? row.EnvDisplay : "-"));
        SetOrUnset("QT_QPA_PLATFORM", row.EnvPlatform);
        SetOrUnset("DISPLAY", named(row.EnvDisplay));
        TDisplayCheck check(row.Platform, named(row.Display));
        EXPECT_EQ(check.Problem().substr(0, std::string(row.Problem).size()), row.Problem);
        EXPECT_EQ(check.Problem().empty(), *row.Problem == '\0');
        const bool onX = *row.Problem == '\0' && (row.Platform == nullptr || *row.Platform == 'x');
        EXPECT_EQ(check.Holding(), onX);
        check.Release();
        EXPECT_FALSE(check.Holding());
    }
}

TEST(DisplayCheckTest, TellsTheDisplaysReachedOverTheNetwork) {
    for (const char* local :
         {":0", ":1.0", "unix:0", "unix/:2", "/tmp/launch-x/org.x:0", "unix/host:0", "", "x"})
        EXPECT_FALSE(DisplayByNetwork(local)) << local;
    for (const char* remote :
         {"localhost:10", "localhost:10.0", "127.0.0.1:0", "tcp/host:1", "[::1]:0"})
        EXPECT_TRUE(DisplayByNetwork(remote)) << remote;
}
