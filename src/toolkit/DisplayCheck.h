// Whether the program can open its display, asked before the toolkit tries: the toolkit's own
// failure aborts with a long message and advice that does not apply.
#pragma once

#include <string>

// Why the display cannot be opened, in a few words for one line, or empty when it can (or when
// the platform is not X11's, or was chosen on the command line, and the toolkit decides).
std::string DisplayProblem(int argc, char** argv);
