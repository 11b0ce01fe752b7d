#include "terrain/SampleLandscape.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// A fixed pseudo-random value in [0, 1) for each lattice point.
double Lattice(int x, int y) {
    uint32_t h = static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<double>((h ^ (h >> 16)) & 0xFFFFu) / 65536.0;
}

// Smoothly interpolated lattice noise with cells of the given size.
double ValueNoise(double x, double y, double cell) {
    const double fx = x / cell, fy = y / cell;
    const int ix = static_cast<int>(std::floor(fx)), iy = static_cast<int>(std::floor(fy));
    const auto smooth = [](double t) { return t * t * (3 - 2 * t); };
    const double tx = smooth(fx - ix), ty = smooth(fy - iy);
    const double top = Lattice(ix, iy) + (Lattice(ix + 1, iy) - Lattice(ix, iy)) * tx;
    const double bottom =
        Lattice(ix, iy + 1) + (Lattice(ix + 1, iy + 1) - Lattice(ix, iy + 1)) * tx;
    return top + (bottom - top) * ty;
}

// Rolling hills, a winding ridge, a peak and flat valley floors; heights mostly 20 ... 200.
uint8_t SampleHeight(int x, int y) {
    double h =
        10 + 120 * ValueNoise(x, y, 80) + 40 * ValueNoise(x, y, 28) + 10 * ValueNoise(x, y, 9);
    const double ridge = (y - (70 + 0.35 * x + 28 * std::sin(x / 37.0))) / 20.0;
    const double peak = std::hypot(x - 255.0, y - 185.0) / 30.0;
    h += 70 * std::exp(-ridge * ridge) + 90 * std::exp(-peak * peak);
    if (h < 60) { // the low ground eases down into flat plains at height 30
        const double t = std::max(0.0, (h - 20) / 40);
        h = 30 + 30 * t * t * t;
    }
    return static_cast<uint8_t>(std::lround(std::clamp(h, 0.0, 255.0)));
}

} // namespace

void MakeSampleLandscape(THeightArray& field) {
    for (int x = 0; x < MapWidth; ++x)
        for (int y = 0; y < MapHeight; ++y)
            field[CellIndex(x, y)] = SampleHeight(x, y);
}
