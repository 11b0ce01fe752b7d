// Entry point: the command line, the display check, the application object, the main window,
// the message loop.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QGuiApplication>

#include "app/CommandLine.h"
#include "app/LostDisplaySave.h"
#include "app/Main.h"
#include "app/MapHome.h"
#include "platform/Platform.h"
#include "platform/x11/DisplayCheck.h"
#include "terrain/MapFile.h"
#include "toolkit/Application.h"
#include "toolkit/SignalCloser.h"
#include "toolkit/StartupMessages.h"
#include "toolkit/Worker.h"
#include "views/core/KernelChoice.h"
#include "views/core/VoxelRenderer.h"

namespace {

// Trials per level at start-up: a few milliseconds in all.
constexpr int KernelTrials = 24;

// The renderer's kernels: the ones named, or the fastest here. None (said on stderr) when the
// named ones are beyond this processor.
std::optional<TRendererOptions> ChooseKernels(const std::string& name) {
    TRendererOptions options;
    if (name.empty()) {
        const TKernelTimings timings = TimeLevels(KernelTrials);
        options.TurnSimd = FastestLevel(timings.Turn);
        options.BarsSimd = FastestLevel(timings.Bars);
    } else {
        options.Simd = name == "avx512" ? TSimd::Avx512 : name == "avx2" ? TSimd::Avx2
                                                                          : TSimd::Portable;
        if (!CpuHas(options.Simd)) {
            std::fprintf(stderr, "voxel: this processor does not run the %s kernels.\n",
                         name.c_str());
            return std::nullopt;
        }
        // The conversion and the changed-row search take the same level.
        SetKernelSimd(options.Simd);
    }
    return options;
}

// The platform named by QT_QPA_PLATFORM, or null.
const char* PlatformNamed() {
    const char* named = std::getenv("QT_QPA_PLATFORM");
    return named != nullptr && *named != '\0' ? named : nullptr;
}

// What a toolkit platform that cannot start is reported as: the one named (by the user, or by
// the program for a Wayland session's X display, given when it did), or what it had.
std::string PlatformFailure(const std::optional<std::string>& option,
                            const std::string& namedX11Display) {
    if (option)
        return "the toolkit cannot start the platform \"" + *option + "\" given by -platform";
    if (!namedX11Display.empty())
        return "the toolkit cannot start its X11 platform (\"xcb\") on this Wayland session's X "
               "display \"" +
               namedX11Display + "\"";
    if (const char* named = PlatformNamed())
        return std::string("the toolkit cannot start the platform \"") + named +
               "\" named by QT_QPA_PLATFORM";
    const auto shown = [](const char* name) -> std::string {
        const char* value = std::getenv(name);
        return value != nullptr && *value != '\0' ? name + std::string(" \"") + value + "\""
                                                  : name + std::string(" not set");
    };
    return "the toolkit cannot open a display here (" + shown("WAYLAND_DISPLAY") + ", " +
           shown("DISPLAY") + ")";
}

// Standard input, output and error that were closed, opened on /dev/null: otherwise the next
// file opened (the map, the X connection) takes a number below 3, and every later warning line
// is written into it. False when one cannot be opened.
bool OpenClosedStandardFiles() {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) >= 0 || errno != EBADF) continue;
        // The lowest free number: this one, as those below it are open.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd) return false;
    }
    return true;
}

// The usage, and where the map is without MAP.
void PrintUsage(FILE* out, const TMapHome& mapHome) {
    std::fputs(CommandLineUsage, out);
    std::fprintf(out, "Without MAP the map is %sMap.Dat (%s).\n", mapHome.Folder.c_str(),
                 mapHome.Installed
                     ? "in your data folder, made by the first start with a sample landscape"
                     : "beside the program");
}

} // namespace

int main(int argc, char** argv) {
    if (!OpenClosedStandardFiles()) return 1;
    // Read first: --help and a mistake need no display.
    TCommandLine line = ParseCommandLine(argc, argv);
    // Where the map is without MAP, which --help says too.
    const TMapHome mapHome = FindMapHome(GetAppPath(), VOXEL_APP_ID);
    switch (line.Action) {
    case TCommandLine::TAction::Help:
        PrintUsage(stdout, mapHome);
        return 0;
    case TCommandLine::TAction::Version:
        std::puts("voxel " VOXEL_VERSION);
        return 0;
    case TCommandLine::TAction::Kernels: {
        // The whole timing as a start pays it: set-up, caches and every trial.
        const auto start = std::chrono::steady_clock::now();
        const TKernelTimings timings = TimeLevels(KernelTrials);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        std::printf("%-8s %9s %9s\n", "", "turn", "bars");
        for (size_t i = 0; i < timings.Turn.size(); ++i)
            std::printf("%-8s %6.1f us %6.1f us\n", LevelName(timings.Turn[i].Level),
                        timings.Turn[i].Seconds * 1e6, timings.Bars[i].Seconds * 1e6);
        std::printf("chosen: turn %s, bars %s\n", LevelName(FastestLevel(timings.Turn)),
                    LevelName(FastestLevel(timings.Bars)));
        std::printf("timed in %.1f ms\n", took.count() * 1e3);
        return 0;
    }
    case TCommandLine::TAction::Fail:
        std::fprintf(stderr, "voxel: %s.\n", line.Error.c_str());
        PrintUsage(stderr, mapHome);
        return 2;
    case TCommandLine::TAction::Run:
        break;
    }
    // A folder named as the map could never be saved: refused here.
    if (struct stat st {}; line.MapFile && stat(line.MapFile->c_str(), &st) == 0 &&
                           S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "voxel: %s is a folder, not a map file.\n", line.MapFile->c_str());
        return 2;
    }
    // A picture or any other file named as the map is never replaced by a save: refused here.
    if (line.MapFile && IsOtherThanAMap(*line.MapFile)) {
        std::fprintf(stderr,
                     "voxel: %s is not a map of 76,800 bytes; paste or drop a picture to bring "
                     "it in.\n",
                     line.MapFile->c_str());
        return 2;
    }
    // The toolkit reads the files its options name whatever they are: a FIFO hangs it,
    // /dev/zero exhausts its memory.
    if (const std::string problem = ToolkitFileProblem(line); !problem.empty()) {
        std::fprintf(stderr, "voxel: %s.\n", problem.c_str());
        return 2;
    }
    const std::optional<TRendererOptions> kernels = ChooseKernels(line.Kernel);
    if (!kernels) return 2;
    // The screen view's renderer with its caches, for the program's life.
    TVoxelRenderer renderer(*kernels);
    // Without a usable display the toolkit would abort with a long message; say it in one line.
    TDisplayCheck displayCheck(line.ToolkitPlatform ? line.ToolkitPlatform->c_str() : nullptr,
                               line.ToolkitDisplay ? line.ToolkitDisplay->c_str() : nullptr);
    if (!displayCheck.Problem().empty()) {
        std::fprintf(stderr, "voxel: %s.\n", displayCheck.Problem().c_str());
        return 1;
    }
    // A window larger than the screen takes gigabytes of surface for nothing.
    if (const std::string problem = ToolkitGeometryProblem(line, displayCheck.ScreenWidth(),
                                                           displayCheck.ScreenHeight());
        !problem.empty()) {
        std::fprintf(stderr, "voxel: %s.\n", problem.c_str());
        return 2;
    }
    // A Wayland session's X display, where the present never waits, unless the user chose.
    static char platformOption[] = "-platform", x11[] = "xcb";
    if (displayCheck.NamesX11())
        line.ToolkitArgs.insert(line.ToolkitArgs.end(), {platformOption, x11});
    // The toolkit sees only its own options (it may take them out of the list).
    int toolkitArgc = static_cast<int>(line.ToolkitArgs.size());
    line.ToolkitArgs.push_back(nullptr);
    char** toolkitArgv = line.ToolkitArgs.data();
    // Over the network (ssh -X) the toolkit's shared memory would wait for ever for a
    // descriptor that cannot cross it; the user's own setting stands.
    if (DisplayByNetwork(displayCheck.X11Display())) setenv("QT_XCB_NO_MITSHM", "1", 0);
    // A platform the toolkit cannot start: one line, and 2 for the option that named it.
    TStartupMessages startupMessages(
        PlatformFailure(line.ToolkitPlatform,
                        displayCheck.NamesX11() ? displayCheck.X11Display() : ""),
        line.ToolkitPlatform ? 2 : 1, line.ToolkitPlatform || PlatformNamed() != nullptr);
    // A write to a display that has gone must fail with EPIPE, which the toolkit takes for a
    // lost display and the field is saved; left at its default, SIGPIPE would end the process
    // first and lose the edits.
    std::signal(SIGPIPE, SIG_IGN);
    TApplication application(toolkitArgc, toolkitArgv);
    startupMessages.Done();
    // Docks and task bars match the window to the desktop entry, and show its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(VOXEL_APP_ID));
    // The application's own connection is up: the server keeps a client after this one goes.
    displayCheck.Release();
    // Our own connections to the display: closed after the window, which is made after.
    const std::unique_ptr<TPlatform> platform = OpenPlatform();
    if (!line.MapFile) PrepareMapHome(mapHome);
    TMain window(renderer, mapHome.Folder, line.MapFile.value_or(std::string()));
    if (line.Tools) window.EnableTools(line.Seed);
    if (line.Fps != 0) window.DXTimer->SetFrameRate(static_cast<uint32_t>(line.Fps));
    // Uncapped, a tick takes the pointer as the server had it while the last tick ran rather
    // than wait for a round trip; a capped tick has the time to ask.
    if (line.Fps == 0)
        window.MouseSampler = [&window] {
            return WithShortPresses(SampleMouseAhead(&window), &window);
        };
    // A shutdown, a logout or Ctrl+C closes the window as 끝내기 does: the field is saved.
    TSignalCloser signalCloser(&window, [&window] { window.CloseForSignal(); });
    // Only a save that failed with something to lose keeps the window: a second signal then
    // ends the program with the changes unsaved, and says so.
    window.OnCloseFailed = [&signalCloser, &window] {
        signalCloser.CloseFailed("voxel: ended by a second signal; the changes were not saved to " +
                                 window.MapFile() + ".\n");
    };
    window.PlaceOnScreen(); // at the size FormCreate gave it
    window.show();
    {
        const TLostDisplaySave lostDisplaySave;
        application.Run();
    }
    // A picture's decoding still under way cannot be stopped, and unloading its plugin or
    // destroying statics under it would crash: the close has saved, so the process ends here.
    if (TWorker::Running() != 0) {
        std::fflush(nullptr);
        _exit(0);
    }
    window.OnCloseFailed = nullptr;
    return 0;
}
