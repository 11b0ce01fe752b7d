// An X server of a test's own: Xvfb on a free display, ended with the object.
#pragma once

#include <string>
#include <sys/types.h>

class TXvfb {
  public:
    // Starts the server; noreset false: it resets whenever its last client leaves. screen is
    // the screen's WIDTHxHEIGHTxDEPTH.
    explicit TXvfb(bool noreset = true, const std::string& screen = "640x480x24");
    ~TXvfb();
    TXvfb(const TXvfb&) = delete;
    TXvfb& operator=(const TXvfb&) = delete;

    // False when no server could be started (Xvfb is not installed): the test skips.
    bool Running() const { return !FName.empty(); }
    // The display's name, ":N".
    const std::string& Name() const { return FName; }
    // Stops the server (it reads and answers nothing) or lets it go on.
    void Stop(bool stopped) const;

  private:
    pid_t FPid = -1;
    std::string FName;
};
