// The save at an exit nobody asked for: Qt's X11 plugin ends the process with exit(1) when the
// display connection breaks, so an exit handler saves the field and says so in one line.
#pragma once

// Armed for its lifetime, the message loop's run: an exit() meanwhile saves the field through
// Main->SaveForExit and reports the outcome on standard error. Leaving the scope disarms it.
class TLostDisplaySave {
  public:
    TLostDisplaySave();
    ~TLostDisplaySave();
    TLostDisplaySave(const TLostDisplaySave&) = delete;
    TLostDisplaySave& operator=(const TLostDisplaySave&) = delete;
};
