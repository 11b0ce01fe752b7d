// Figures for whole frames of the program on the offscreen platform: DrawScreen, DrawMap and one
// tick of the real main window, each beside the same with the reference transcriptions (the
// tests' oracle, deliberately slow) swapped in for the cores; DrawScreen also beside the plain
// transcription of its passes (PlainDrawScreen.h), the yardstick of its speed-up; plus the
// presents alone (the split of a frame).
//
// With --display_scale=N the same run goes to an X server of its own at that display scale,
// presented as the program presents there (its X platform: shared memory, each pixel N x N),
// so the tick's figure holds the present's real cost at a scale the offscreen platform cannot
// show that way.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../RatioReporter.h"
#include "PlainDrawScreen.h"
#include "app/Main.h"
#include "app/Parameters.h"
#include "platform/Mouse.h"
#include "platform/Platform.h"
#include "support/TempDir.h"
#include "support/Xvfb.h"
#include "support/ref/Reference.h"
#include "terrain/TerrainState.h"
#include "toolkit/Application.h"
#include "views/core/KernelChoice.h"
#include "views/core/VoxelRenderer.h"

namespace {

// The main window over a temporary folder whose Map.Dat holds a varied field, shown, with the
// mouse held still over the map's centre and no button down.
struct TFrameRig {
    TTempDir Dir;
    TVoxelRenderer Renderer; // the kernels the program would run; outlives the window
    std::unique_ptr<TMain> Window;
    TMouseSample Mouse{};

    explicit TFrameRig(const TRendererOptions& kernels) : Renderer(kernels) {
        const THeightArray field = Ref::SmoothField(11);
        WriteFileBytes(Dir.File("Map.Dat"), std::vector<uint8_t>(field.begin(), field.end()));
        Window = std::make_unique<TMain>(Renderer, Dir.Path());
        Window->show();
        QApplication::processEvents();
        Mouse = {false, false, 0, 0};
        const QPoint centre = MapCentreOnScreen();
        Mouse.X = centre.x();
        Mouse.Y = centre.y();
        Window->MouseSampler = [this] { return Mouse; };
    }

    // The screen's device pixel over the map's centre, as the platform maps it back (the
    // display scale and the window's origin on the server included).
    QPoint MapCentreOnScreen() const {
        const QPoint cell(160, 120);
        const qreal scale = Window->devicePixelRatioF();
        const QPoint global = Window->DXMap->mapToGlobal(cell);
        QPoint device(qRound(global.x() * scale), qRound(global.y() * scale));
        for (int tries = 0; tries < 4; ++tries) {
            const QPoint got = ScreenToClient(Window->DXMap, device.x(), device.y());
            if (got == cell) break;
            device += (cell - got) * qRound(scale);
        }
        return device;
    }
};

TFrameRig* Rig = nullptr;

// Puts back what a benchmark may have changed: the default camera at angle 0, radius 50, the
// varied field.
void ResetState() {
    MainState::CamRot = 0;
    MainState::CamRotAuto = true;
    MainState::BrushRangeMin = 50;
    MainState::ButtonMode = bmNone;
    Terrain::HeightArray = Ref::SmoothField(11);
}

// Whose cores DrawScreen and DrawMap call: the program's, the reference transcriptions of the
// passes and the brush, or the plain transcription of the passes.
enum class TCores { Program, Reference, Plain };

// While it lives, the window draws with the chosen cores.
template <TCores Kind> struct TCoresFor {
    const TDrawCores Saved = Rig->Window->Cores;
    TCoresFor() {
        if (Kind == TCores::Reference)
            Rig->Window->Cores = {&Ref::ProjectField, &Ref::DrawBars, &Ref::ApplyBrush};
        if (Kind == TCores::Plain)
            Rig->Window->Cores = {&Plain::ProjectField, &Plain::DrawBars, &ApplyBrush};
    }
    ~TCoresFor() { Rig->Window->Cores = Saved; }
};

// Whether the plain transcription draws the renderer's pixels over a whole turn of the
// benchmark's field: a yardstick that drew something else would measure nothing.
bool PlainDrawsAsTheRenderer(TVoxelRenderer& renderer) {
    const TViewTables tables;
    const THeightArray field = Ref::SmoothField(11);
    const TRect clip{0, 0, 319, 239};
    Ref::TMemorySurface ours, plain;
    TProjHeightArray proj;
    TCamera camera;
    for (uint16_t angle = 0; angle < 360; ++angle) {
        camera.CamRot = angle;
        std::fill(ours.Bytes.begin(), ours.Bytes.end(), 0);
        std::fill(plain.Bytes.begin(), plain.Bytes.end(), 0);
        renderer.ProjectField(field, camera, tables.Sin, tables.Cos, clip, proj);
        renderer.DrawBars(proj, ours.Lock, tables.MapPixel, tables.ShadePixel, clip);
        Plain::ProjectField(field, camera, tables.Sin, tables.Cos, clip, proj);
        Plain::DrawBars(proj, plain.Lock, tables.MapPixel, tables.ShadePixel, clip);
        if (ours.Bytes != plain.Bytes) {
            std::fprintf(stderr, "the plain transcription draws other pixels at angle %d\n", angle);
            return false;
        }
    }
    return true;
}

// One frame of the screen view per iteration, the angle one degree further each time.
template <TCores Kind> void ScreenBench(benchmark::State& state) {
    ResetState();
    TMain& window = *Rig->Window;
    const TCoresFor<Kind> cores;
    for (auto _ : state) {
        window.DrawScreen();
        MainState::CamRot = static_cast<uint16_t>((MainState::CamRot + 1) % 360);
    }
}

// One stroke at the map's centre per iteration, raising and lowering in turn.
template <TCores Kind> void MapBench(benchmark::State& state) {
    ResetState();
    MainState::BrushRangeMin = static_cast<int32_t>(state.range(0));
    TMain& window = *Rig->Window;
    const TCoresFor<Kind> cores;
    for (auto _ : state) {
        MainState::ButtonMode = MainState::ButtonMode == bmRaise ? bmLower : bmRaise;
        window.DrawMap(160, 120);
    }
    ResetState();
}

// One whole tick per iteration: the camera turns, the cursor rests over the map (with no
// movement, so a tick that waits for it skips the brush).
template <TCores Kind> void TickBench(benchmark::State& state) {
    ResetState();
    TMain& window = *Rig->Window;
    const TCoresFor<Kind> cores;
    for (auto _ : state) window.DXTimerTimer(window.DXTimer, 1);
}

// One whole tick per iteration with the left button held over the map: a stroke in progress.
void BM_TickStroke(benchmark::State& state) {
    ResetState();
    TMain& window = *Rig->Window;
    Rig->Mouse.LeftDown = true;
    for (auto _ : state) window.DXTimerTimer(window.DXTimer, 1);
    Rig->Mouse.LeftDown = false;
    window.DXTimerTimer(window.DXTimer, 1); // the stroke ends outside the timing
    ResetState();
}

// The present of one view whose every pixel changed since the last one: a fill with one of two
// values in turn, then FlipView.
void PresentBench(benchmark::State& state, bool screen) {
    ResetState();
    TMain& window = *Rig->Window;
    TDXDraw* view = screen ? window.DXScreen : window.DXMap;
    uint32_t value = 0x1234;
    for (auto _ : state) {
        value ^= 0x1234 ^ 0x4321;
        FillSurface(view->BackSurface(), value);
        FlipView(view);
    }
}

void BM_DrawScreen(benchmark::State& state) { ScreenBench<TCores::Program>(state); }
void BM_PlainDrawScreen(benchmark::State& state) { ScreenBench<TCores::Plain>(state); }
void BM_RefDrawScreen(benchmark::State& state) { ScreenBench<TCores::Reference>(state); }
void BM_DrawMap(benchmark::State& state) { MapBench<TCores::Program>(state); }
void BM_RefDrawMap(benchmark::State& state) { MapBench<TCores::Reference>(state); }
void BM_Tick(benchmark::State& state) { TickBench<TCores::Program>(state); }
void BM_RefTick(benchmark::State& state) { TickBench<TCores::Reference>(state); }
void BM_PresentScreen(benchmark::State& state) { PresentBench(state, true); }
void BM_PresentMap(benchmark::State& state) { PresentBench(state, false); }

// Whole turns, so every angle counts the same.
BENCHMARK(BM_DrawScreen)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainDrawScreen)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawScreen)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DrawMap)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefDrawMap)->Arg(50)->Arg(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Tick)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RefTick)->Iterations(360)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TickStroke)->Iterations(3600)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentScreen)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PresentMap)->Unit(benchmark::kMicrosecond);

} // namespace

// Takes --display_scale=N out of the arguments: 0 without it.
int TakeDisplayScale(int& argc, char** argv) {
    constexpr const char* Flag = "--display_scale=";
    int scale = 0;
    int kept = 0;
    for (int i = 0; i < argc; ++i) {
        if (i > 0 && std::strncmp(argv[i], Flag, std::strlen(Flag)) == 0)
            scale = std::atoi(argv[i] + std::strlen(Flag));
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    return scale;
}

// Takes --FLAG NAME (or --FLAG=NAME) out of the arguments, NAME a level as the program takes it:
// level is left as it was without one; false for a name this processor does not run.
bool TakeLevel(int& argc, char** argv, const std::string& flag, TSimd& level) {
    const std::string option = "--" + flag, joined = option + "=";
    int kept = 0;
    bool known = true;
    for (int i = 0; i < argc; ++i) {
        std::string name;
        if (i > 0 && argv[i] == option && i + 1 < argc)
            name = argv[++i];
        else if (i > 0 && std::strncmp(argv[i], joined.c_str(), joined.size()) == 0)
            name = argv[i] + joined.size();
        else {
            argv[kept++] = argv[i];
            continue;
        }
        level = name == "avx512" ? TSimd::Avx512 : name == "avx2" ? TSimd::Avx2 : TSimd::Portable;
        known = (name == "portable" || level != TSimd::Portable) && CpuHas(level);
    }
    argc = kept;
    return known;
}

int main(int argc, char** argv) {
    const int scale = TakeDisplayScale(argc, argv);
    // --kernel NAME: every kernel of the frame at that level, as the program takes it, to time
    // one level on a processor that has a wider one. --turn NAME and --bars NAME then set the
    // renderer's two parts apart (the conversion keeps --kernel's level), to time them apart.
    TRendererOptions kernels;
    kernels.Simd = CpuSimd();
    const bool known = TakeLevel(argc, argv, "kernel", kernels.Simd);
    SetKernelSimd(kernels.Simd);
    kernels.TurnSimd = kernels.BarsSimd = kernels.Simd;
    if (!known || !TakeLevel(argc, argv, "turn", kernels.TurnSimd) ||
        !TakeLevel(argc, argv, "bars", kernels.BarsSimd)) {
        std::fprintf(stderr, "--kernel, --turn and --bars take portable, avx2 or avx512, of "
                             "those this processor runs\n");
        return 1;
    }
    kernels.Simd = CpuSimd();
    std::unique_ptr<TXvfb> server;
    if (scale > 0) {
        // Room for the whole window at that scale, so no put is cut by the screen's edge.
        server = std::make_unique<TXvfb>(true, "2560x2048x24");
        if (!server->Running()) {
            std::fprintf(stderr, "no X server for --display_scale (is Xvfb installed?)\n");
            return 1;
        }
        setenv("DISPLAY", server->Name().c_str(), 1);
        unsetenv("WAYLAND_DISPLAY");
        setenv("QT_QPA_PLATFORM", "xcb", 1);
        setenv("QT_SCALE_FACTOR", std::to_string(scale).c_str(), 1);
        benchmark::AddCustomContext("display", "X server of its own, scale " +
                                                   std::to_string(scale));
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    TApplication app(argc, argv);
    // The platform the program opens: X's under --display_scale, the toolkit's offscreen.
    const std::unique_ptr<TPlatform> platform = OpenPlatform();
    TFrameRig rig(kernels);
    benchmark::AddCustomContext("kernels", std::string("turn ") + LevelName(kernels.TurnSimd) +
                                               ", bars " + LevelName(kernels.BarsSimd) +
                                               ", conversion " + LevelName(KernelSimd()));
    if (!PlainDrawsAsTheRenderer(rig.Renderer)) return 1;
    Rig = &rig;
    TRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio("BM_DrawScreen/iterations:3600", "BM_PlainDrawScreen/iterations:360");
    reporter.PrintRatio("BM_DrawScreen/iterations:3600", "BM_RefDrawScreen/iterations:360");
    reporter.PrintRatio("BM_DrawMap/50", "BM_RefDrawMap/50");
    reporter.PrintRatio("BM_DrawMap/200", "BM_RefDrawMap/200");
    reporter.PrintRatio("BM_Tick/iterations:3600", "BM_RefTick/iterations:360");
    benchmark::Shutdown();
    Rig = nullptr;
    return 0;
}
