// The exit handler that saves the field when the process ends inside the message loop.
#include "app/LostDisplaySave.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Main.h"
#include "app/Parameters.h"

namespace {

bool gArmed = false;

// Runs among the exit handlers: plain file calls and stdio only, Qt may be half gone.
void SaveAtExit() {
    if (!gArmed || Main == nullptr) return;
    gArmed = false;
    const TMain::TExitSave result = Main->SaveForExit();
    std::string line = "voxel: the display connection was lost; ";
    switch (result.Outcome) {
    case TMain::TExitSave::Written:
        line += "the map was saved to " + MainState::MapFileName + ".";
        break;
    case TMain::TExitSave::Unchanged:
        line += "the map had no unsaved changes.";
        break;
    case TMain::TExitSave::Failed:
        line += "the map could not be saved: " + result.Message;
        if (line.back() != '.') line += '.';
        break;
    }
    line += '\n';
    std::fputs(line.c_str(), stderr);
}

} // namespace

TLostDisplaySave::TLostDisplaySave() {
    // Registered once: exit handlers cannot be removed, so the flag disarms this one.
    static const bool registered = std::atexit(SaveAtExit) == 0;
    gArmed = registered;
}

TLostDisplaySave::~TLostDisplaySave() {
    gArmed = false;
}
