// Timing the renderer's levels on a field made here, so the choice does not depend on the map.
#include "views/core/KernelChoice.h"

#include <chrono>
#include <memory>

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

std::vector<TLevelTiming> TimeLevels(int trials) {
    // Hills of every height, so the bars are as long and varied as on a sculpted map.
    auto field = std::make_unique<THeightArray>();
    for (int y = 0; y < MapHeight; ++y)
        for (int x = 0; x < MapWidth; ++x)
            (*field)[static_cast<size_t>(y * MapWidth + x)] =
                static_cast<uint8_t>((x * 7 + y * 3 + ((x * y) >> 5)) & 0xFF);
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

    std::vector<std::unique_ptr<TVoxelRenderer>> renderers;
    std::vector<TLevelTiming> timings;
    for (const TSimd level : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512}) {
        if (!CpuHas(level)) continue;
        TRendererOptions options;
        options.Simd = level;
        // The grids as the program keeps them, for the few angles timed: a level's first
        // turn at an angle builds its grid, and the minimum leaves that trial out.
        options.GridBudget = 4 * TAngleGrids::OneGrid;
        renderers.push_back(std::make_unique<TVoxelRenderer>(options));
        timings.push_back({level, 1e9});
    }
    using TClock = std::chrono::steady_clock;
    TCamera camera;
    for (int trial = 0; trial < trials; ++trial) {
        constexpr uint16_t Angles[] = {17, 107, 197, 287};
        camera.CamRot = Angles[trial % 4];
        for (size_t i = 0; i < renderers.size(); ++i) {
            const TClock::time_point start = TClock::now();
            renderers[i]->ProjectField(*field, camera, sinTable, cosTable, clip, *proj);
            renderers[i]->DrawBars(*proj, surface, mapPixel, shadePixel, clip);
            const double seconds = std::chrono::duration<double>(TClock::now() - start).count();
            if (seconds < timings[i].Seconds) timings[i].Seconds = seconds;
        }
    }
    return timings;
}
