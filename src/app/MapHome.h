// Where the map lives when none is named: beside the program in the folder it was built in,
// in the user's data folder once the program is installed.
#pragma once

#include <string>

struct TMapHome {
    std::string Folder;     // holds Map.Dat; ends in the separator
    bool Installed = false; // the program runs from an install, not from its build folder
};

// An installed program finds its desktop entry, share/applications/<appId>.desktop, beside its
// own bin folder (appPath, ending in the separator), whatever the prefix; its map is then in
// $XDG_DATA_HOME/voxel/, or ~/.local/share/voxel/ when that is unset or not absolute. Any
// other program keeps its map in appPath. Reads only the environment and the file system.
TMapHome FindMapHome(const std::string& appPath, const std::string& appId);

// Readies an installed program's folder before the window loads the map: makes it (and its
// parents, for the user only) and, when no map is there, writes the sample landscape as
// Map.Dat, so a first start shows a landscape. Does nothing for a program in its build folder.
// Failures are silent here: the load and the save name the file when it cannot be used.
void PrepareMapHome(const TMapHome& home);
