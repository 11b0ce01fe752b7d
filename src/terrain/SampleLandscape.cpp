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

// Where a coordinate falls among lattice cells of one size: the cell and the smoothed fraction
// across it. Worked out once per column and once per row, not per cell: the build is timed at
// every start, as the kernels' test field.
struct TAxis {
    int I = 0;
    double T = 0;
};

TAxis Axis(int v, double cell) {
    const double f = v / cell;
    const int i = static_cast<int>(std::floor(f));
    const double t = f - i;
    return {i, t * t * (3 - 2 * t)};
}

// Smoothly interpolated lattice noise at the point whose axes are given.
double ValueNoise(TAxis x, TAxis y) {
    const double top = Lattice(x.I, y.I) + (Lattice(x.I + 1, y.I) - Lattice(x.I, y.I)) * x.T;
    const double bottom =
        Lattice(x.I, y.I + 1) + (Lattice(x.I + 1, y.I + 1) - Lattice(x.I, y.I + 1)) * x.T;
    return top + (bottom - top) * y.T;
}

constexpr double Cells[3] = {80, 28, 9}; // the octaves' cell sizes

// Rolling hills, a winding ridge, a peak and flat valley floors; heights mostly 20 ... 200.
// ax and ay: the point's axes for each of Cells; wave: sin(x / 37).
uint8_t SampleHeight(int x, int y, const TAxis* ax, const TAxis* ay, double wave) {
    double h = 10 + 120 * ValueNoise(ax[0], ay[0]) + 40 * ValueNoise(ax[1], ay[1]) +
               10 * ValueNoise(ax[2], ay[2]);
    const double ridge = (y - (70 + 0.35 * x + 28 * wave)) / 20.0;
    // The sum of squares is an exact integer: its root is the distance correctly rounded.
    const double peak = std::sqrt((x - 255.0) * (x - 255.0) + (y - 185.0) * (y - 185.0)) / 30.0;
    h += 70 * std::exp(-ridge * ridge) + 90 * std::exp(-peak * peak);
    if (h < 60) { // the low ground eases down into flat plains at height 30
        const double t = std::max(0.0, (h - 20) / 40);
        h = 30 + 30 * t * t * t;
    }
    return static_cast<uint8_t>(std::lround(std::clamp(h, 0.0, 255.0)));
}

} // namespace

void MakeSampleLandscape(THeightArray& field) {
    TAxis rows[MapHeight][3];
    for (int y = 0; y < MapHeight; ++y)
        for (int k = 0; k < 3; ++k)
            rows[y][k] = Axis(y, Cells[k]);
    for (int x = 0; x < MapWidth; ++x) {
        const TAxis column[3] = {Axis(x, Cells[0]), Axis(x, Cells[1]), Axis(x, Cells[2])};
        const double wave = std::sin(x / 37.0);
        for (int y = 0; y < MapHeight; ++y)
            field[CellIndex(x, y)] = SampleHeight(x, y, column, rows[y], wave);
    }
}
