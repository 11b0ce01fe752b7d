// The command line: voxel [--fps N] [--kernel NAME] [--tools [--seed N]] [MAP], read before anything touches the display, so --help
// and a mistake need none. The toolkit's own options are set aside for it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TCommandLine {
    enum class TAction { Run, Help, Version, Kernels, Fail };
    TAction Action = TAction::Run;
    // Frames a second, 1 ... 1000; 0: as fast as the machine allows.
    int Fps = 0;
    // The frame's kernels, forced for measuring: "portable", "avx2" or "avx512"; empty: the
    // fastest on this machine, timed at start-up.
    std::string Kernel;
    // The three greyed buttons (level out, noise, generate) enabled, with behaviour behind them.
    bool Tools = false;
    // The seed of the noise and the generated landscapes (only with Tools); none: the clock's.
    std::optional<uint32_t> Seed;
    // The map file instead of the default Map.Dat (see MapHome.h), as the bytes given.
    std::optional<std::string> MapFile;
    // The program's name and the toolkit's options (-platform xcb, -display :1, ...), in order,
    // for the application object.
    std::vector<char*> ToolkitArgs;
    // The values of the toolkit's -platform and -display among them, as read here: the display
    // check reads the command line through these, never a second time.
    std::optional<std::string> ToolkitPlatform, ToolkitDisplay;
    // The files the toolkit's options name (-stylesheet, -qwindowicon, -icon), as option and
    // file, and the geometry -qwindowgeometry (or -geometry) asks for: checked before it reads
    // them.
    std::vector<std::pair<std::string, std::string>> ToolkitFiles;
    std::optional<std::string> ToolkitGeometry;
    // Fail: what was wrong, in one line.
    std::string Error;
};

TCommandLine ParseCommandLine(int argc, char** argv);

// The largest file a toolkit option may name: a style sheet or an icon is far smaller.
constexpr long long MaxToolkitFileBytes = 4 * 1024 * 1024;
// Why a file a toolkit option names is not read (it is not a regular file, or is larger than
// MaxToolkitFileBytes: /dev/zero or a FIFO would hang or exhaust the toolkit), or "".
std::string ToolkitFileProblem(const TCommandLine& line);
// Why the window geometry asked for is refused (wider or taller than the screen, screenWidth x
// screenHeight, or than 16384 when that is not known: 0), or "".
std::string ToolkitGeometryProblem(const TCommandLine& line, int screenWidth, int screenHeight);

// One line per option, ending in a newline.
extern const char* const CommandLineUsage;
