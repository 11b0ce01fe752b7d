// The program's options; anything else that starts with a dash is the toolkit's or a mistake.
#include "app/CommandLine.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include <sys/stat.h>

#include "util/Fnc.h"

const char* const CommandLineUsage =
    "Usage: voxel [--fps N] [--kernel NAME] [--tools [--seed N]] [MAP]\n"
    "  MAP        the map file to edit (default: Map.Dat, where the last line says)\n"
    "  --fps N    N frames a second, 1 to 1000 (default: as many as the machine can)\n"
    "  --kernel NAME  the frame's kernels: portable, avx2 or avx512 (default: the fastest\n"
    "             here, timed at start-up)\n"
    "  --tools    enable level out, noise and generate on the panel\n"
    "  --seed N   with --tools: the seed of the noise and the generated landscapes, 0 to\n"
    "             4294967295, so each click gives the same field in every run (default:\n"
    "             the clock)\n"
    "  --kernels  time the kernels, print the times and the choice, and exit\n"
    "  --help, -h print this help and exit\n"
    "  --version  print the version and exit\n"
    "  --         end of options: what follows is MAP, even if it starts with -\n"
    "  The toolkit's own options (-platform NAME, -display NAME, ...) are passed on to it.\n"
    "Keys in the window: Ctrl+Z undo, Ctrl+Y or Ctrl+Shift+Z redo, Ctrl+S save, Ctrl+Shift+S\n"
    "  save as, Ctrl+C copy the field as a picture, Ctrl+Shift+C copy the landscape, Ctrl+V\n"
    "  paste a picture (or drop one on the window). Over the map: the left button raises, the\n"
    "  right lowers, the wheel sets the brush radius (with Shift, 10 a notch).\n";

namespace {

// The toolkit's options, with one or two leading dashes; the first group takes a value.
constexpr std::string_view ToolkitValueOptions[] = {
    "platform",        "platformpluginpath", "platformtheme", "plugin", "display", "geometry",
    "qwindowgeometry", "qwindowicon",        "qwindowtitle",  "icon",   "title",   "name",
    "style",           "stylesheet",         "session",       "visual"};
constexpr std::string_view ToolkitFlagOptions[] = {"reverse", "widgetcount", "nograb",
                                                   "dograb",  "sync",        "testability"};

template <size_t N> bool Among(std::string_view name, const std::string_view (&names)[N]) {
    for (std::string_view n : names)
        if (n == name) return true;
    return false;
}

// Whether arg names an option of ours or of the toolkit's (a value given with '=' aside).
bool IsKnownOption(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return false;
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    name = name.substr(0, name.find('='));
    constexpr std::string_view ours[] = {"help", "h", "version", "kernels", "kernel", "tools",
                                         "seed", "fps", ""};
    return Among(name, ours) || Among(name, ToolkitFlagOptions) ||
           Among(name, ToolkitValueOptions);
}

TCommandLine Failed(std::string error) {
    TCommandLine line;
    line.Action = TCommandLine::TAction::Fail;
    line.Error = std::move(error);
    return line;
}

// Whether arg is the option name, given as "name value" (the next argument, taken) or as
// "name=value"; value is set when one is there.
bool OptionWithValue(std::string_view arg, std::string_view name, int& i, int argc, char** argv,
                     std::optional<std::string_view>& value) {
    if (arg == name) {
        if (i + 1 < argc) value = argv[++i];
        return true;
    }
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

} // namespace

TCommandLine ParseCommandLine(int argc, char** argv) {
    TCommandLine line;
    if (argc > 0) line.ToolkitArgs.push_back(argv[0]);
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool option = !optionsEnded && arg.size() > 1 && arg[0] == '-';
        if (!option) {
            if (line.MapFile)
                return Failed("more than one map file given ('" + *line.MapFile + "' and '" +
                              std::string(arg) + "')");
            if (arg.empty()) return Failed("the map file name is empty");
            line.MapFile = std::string(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--help" || arg == "-h") {
            if (line.Action == TCommandLine::TAction::Run)
                line.Action = TCommandLine::TAction::Help;
        } else if (arg == "--version") {
            if (line.Action == TCommandLine::TAction::Run)
                line.Action = TCommandLine::TAction::Version;
        } else if (arg == "--kernels") {
            if (line.Action == TCommandLine::TAction::Run)
                line.Action = TCommandLine::TAction::Kernels;
        } else if (std::optional<std::string_view> kernel;
                   OptionWithValue(arg, "--kernel", i, argc, argv, kernel)) {
            if (!kernel) return Failed("--kernel needs a name");
            const std::string_view value = *kernel;
            if (value != "portable" && value != "avx2" && value != "avx512")
                return Failed("--kernel takes portable, avx2 or avx512, not '" +
                              std::string(value) + "'");
            line.Kernel = std::string(value);
        } else if (arg == "--tools") {
            line.Tools = true;
        } else if (std::optional<std::string_view> seed;
                   OptionWithValue(arg, "--seed", i, argc, argv, seed)) {
            if (!seed) return Failed("--seed needs a number");
            const std::string_view value = *seed;
            // Digits only, at most 2^32 - 1: no sign, no spaces, no wrap.
            const bool digits = !value.empty() && value.size() <= 10 &&
                                value.find_first_not_of("0123456789") == std::string_view::npos;
            const uint64_t n = digits ? std::stoull(std::string(value)) : 0;
            if (!digits || n > UINT32_MAX)
                return Failed("--seed takes a whole number from 0 to 4294967295, not '" +
                              std::string(value) + "'");
            line.Seed = static_cast<uint32_t>(n);
        } else if (std::optional<std::string_view> fps;
                   OptionWithValue(arg, "--fps", i, argc, argv, fps)) {
            if (!fps) return Failed("--fps needs a number of frames a second");
            const std::string_view value = *fps;
            // Digits only: no sign, no spaces.
            const bool digits =
                !value.empty() && value.find_first_not_of("0123456789") == std::string_view::npos;
            const std::optional<int32_t> n = digits ? TextToInt32(value) : std::nullopt;
            if (!n || *n < 1 || *n > 1000)
                return Failed("--fps takes a whole number from 1 to 1000, not '" +
                              std::string(value) + "'");
            line.Fps = *n;
        } else {
            std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
            if (Among(name, ToolkitFlagOptions)) {
                line.ToolkitArgs.push_back(argv[i]);
            } else if (Among(name, ToolkitValueOptions)) {
                if (i + 1 >= argc) return Failed(std::string(arg) + " needs a value");
                // "-visual -platform xcb": the toolkit would take -platform as the value.
                if (IsKnownOption(argv[i + 1]))
                    return Failed(std::string(arg) + " needs a value, not the option '" +
                                  argv[i + 1] + "'");
                line.ToolkitArgs.push_back(argv[i]);
                if (name == "platform") line.ToolkitPlatform = argv[i + 1];
                if (name == "display") line.ToolkitDisplay = argv[i + 1];
                if (name == "stylesheet" || name == "qwindowicon" || name == "icon")
                    line.ToolkitFiles.emplace_back(std::string(arg), argv[i + 1]);
                if (name == "qwindowgeometry" || name == "geometry")
                    line.ToolkitGeometry = argv[i + 1];
                line.ToolkitArgs.push_back(argv[++i]);
            } else if (name.starts_with("style=") || name.starts_with("stylesheet=") ||
                       name.starts_with("qmljsdebugger=")) {
                if (name.starts_with("stylesheet="))
                    line.ToolkitFiles.emplace_back(std::string(arg.substr(0, arg.find('='))),
                                                   std::string(name.substr(11)));
                line.ToolkitArgs.push_back(argv[i]);
            } else {
                return Failed("unknown option '" + std::string(arg) + "'");
            }
        }
    }
    // A mistake, like the others, outweighs --help.
    if (line.Seed && !line.Tools)
        return Failed("--seed is for the tools: give --tools too");
    return line;
}

std::string ToolkitFileProblem(const TCommandLine& line) {
    for (const auto& [option, file] : line.ToolkitFiles) {
        struct stat st {};
        // stat, not open: a FIFO or a device is never opened.
        if (stat(file.c_str(), &st) != 0)
            return option + " names " + file + ", which cannot be read (" +
                   std::strerror(errno) + ")";
        if (!S_ISREG(st.st_mode))
            return option + " names " + file + ", which is not a regular file";
        if (st.st_size > MaxToolkitFileBytes)
            return option + " names " + file + ", which is larger than 4 MB";
    }
    return {};
}

std::string ToolkitGeometryProblem(const TCommandLine& line, int screenWidth, int screenHeight) {
    if (!line.ToolkitGeometry) return {};
    // "WxH", then an optional position; a position alone asks for no size.
    const std::string& geometry = *line.ToolkitGeometry;
    const size_t x = geometry.find('x');
    const std::string_view digits = "0123456789";
    const std::string_view given(geometry);
    if (x == std::string::npos || x == 0 || given.find_first_not_of(digits) != x) return {};
    const size_t end = given.find_first_not_of(digits, x + 1);
    const std::string_view width = given.substr(0, x);
    const std::string_view height = given.substr(x + 1, end == std::string::npos ? end
                                                                                  : end - x - 1);
    if (height.empty()) return {};
    const std::optional<int32_t> w = TextToInt32(width), h = TextToInt32(height);
    const int maxWidth = screenWidth > 0 ? screenWidth : 16384;
    const int maxHeight = screenHeight > 0 ? screenHeight : 16384;
    if (w && h && *w <= maxWidth && *h <= maxHeight) return {};
    return "the window geometry " + geometry + " is larger than the screen (" +
           std::to_string(maxWidth) + "x" + std::to_string(maxHeight) + ")";
}
