// Timing the renderer's levels on a fixed landscape, so the choice does not depend on the map.
#include "views/core/KernelChoice.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "terrain/SampleLandscape.h"
#include "terrain/Tables.h"
#include "util/Fnc.h"
#include "views/core/VoxelRenderer.h"

TSimd FastestLevel(const std::vector<TLevelTiming>& timings) {
    TSimd best = TSimd::Portable;
    double bestSeconds = 0;
    bool any = false;
    for (const TLevelTiming& t : timings) {
        const bool narrower = static_cast<int>(t.Level) < static_cast<int>(best);
        if (!any || t.Seconds < bestSeconds || (t.Seconds == bestSeconds && narrower)) {
            best = t.Level;
            bestSeconds = t.Seconds;
            any = true;
        }
    }
    return best;
}

const char* LevelName(TSimd level) {
    switch (level) {
    case TSimd::Avx2:
        return "avx2";
    case TSimd::Avx512:
        return "avx512";
    default:
        return "portable";
    }
}

TKernelTimings TimeLevels(int trials) {
    // A landscape, not a smooth or flat field: on those, kernels whose branches a real map
    // defeats look faster than they are.
    auto field = std::make_unique<THeightArray>();
    MakeSampleLandscape(*field);
    TTrigTable sinTable, cosTable;
    MakeTrigTables(sinTable, cosTable);
    TMapPixelTable mapPixel;
    TShadePixelTable shadePixel;
    for (int i = 0; i < 256; ++i) {
        mapPixel[static_cast<size_t>(i)] = static_cast<uint16_t>(i * 0x0841);
        shadePixel[static_cast<size_t>(i)] = static_cast<uint32_t>(i * 0x0821);
    }
    constexpr int Width = 320, Height = 240;
    std::vector<uint8_t> pixels(static_cast<size_t>(Width) * Height * 2);
    const TLockedSurface surface{pixels.data(), Width * 2, 16, Width, Height};
    const TRect clip{0, 0, Width - 1, Height - 1};
    auto proj = std::make_unique<TProjHeightArray>();

    // One camera cache for every level: the camera and the clip are the same throughout, and
    // its build would otherwise be paid once per level.
    TCamera camera;
    auto cache = std::make_unique<TCameraCache>();
    cache->Update(camera, clip);
    std::vector<std::unique_ptr<TVoxelRenderer>> renderers;
    TKernelTimings timings;
    for (const TSimd level : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512}) {
        if (!CpuHas(level)) continue;
        TRendererOptions options;
        options.Simd = level;
        // The grids as the program keeps them, for the few angles timed: a level's first
        // turn at an angle builds its grid, and the minimum leaves that trial out.
        options.GridBudget = 4 * TAngleGrids::OneGrid;
        renderers.push_back(std::make_unique<TVoxelRenderer>(options));
        renderers.back()->UseCache(*cache);
        timings.Turn.push_back({level, 1e9});
        timings.Bars.push_back({level, 1e9});
    }
    // After a trial at each angle, a level half again as slow as the fastest at a part is timed
    // no further at that part: it cannot win it, and the slow levels' trials were most of the
    // timing's time. (Those first trials also build each level's grids, alike for every level
    // and far within the margin.)
    constexpr int Settled = 4;
    constexpr double Behind = 1.5;
    std::vector<bool> turnRaces(renderers.size(), true), barsRaces(renderers.size(), true);
    const auto dropBehind = [&](const std::vector<TLevelTiming>& part, std::vector<bool>& races) {
        double best = part.front().Seconds;
        for (const TLevelTiming& t : part)
            best = std::min(best, t.Seconds);
        for (size_t i = 0; i < part.size(); ++i)
            if (part[i].Seconds >= Behind * best) races[i] = false;
    };
    using TClock = std::chrono::steady_clock;
    const auto seconds = [](TClock::duration d) {
        return std::chrono::duration<double>(d).count();
    };
    for (int trial = 0; trial < trials; ++trial) {
        if (trial == Settled && !renderers.empty()) {
            dropBehind(timings.Turn, turnRaces);
            dropBehind(timings.Bars, barsRaces);
        }
        constexpr uint16_t Angles[] = {17, 107, 197, 287};
        camera.CamRot = Angles[trial % 4];
        for (size_t i = 0; i < renderers.size(); ++i) {
            if (turnRaces[i]) {
                const TClock::time_point start = TClock::now();
                renderers[i]->ProjectField(*field, camera, sinTable, cosTable, clip, *proj);
                const TClock::duration took = TClock::now() - start;
                timings.Turn[i].Seconds = std::min(timings.Turn[i].Seconds, seconds(took));
            }
            if (!barsRaces[i]) continue;
            // Cleared first, as each frame of the screen view is: the bars then take the path
            // for a blank surface, as in the program. They draw the frame projected last, of
            // this angle or, when no level has turned yet in this trial, of the one before.
            std::fill(pixels.begin(), pixels.end(), uint8_t{0});
            const TClock::time_point start = TClock::now();
            renderers[i]->DrawBars(*proj, surface, mapPixel, shadePixel, clip);
            const TClock::duration took = TClock::now() - start;
            timings.Bars[i].Seconds = std::min(timings.Bars[i].Seconds, seconds(took));
        }
    }
    return timings;
}
