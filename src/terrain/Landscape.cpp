// Gradient noise summed over octaves: each octave has a lattice of random directions twice as
// fine as the last at half the weight, shifted by a random offset so no lattice lines line up.
// Only +, -, *, / and sqrt, each exactly rounded (and no fused multiply-adds in this build),
// so a seed gives the same field on every machine.
#include "terrain/Landscape.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "terrain/FieldRandom.h"

namespace {

constexpr int Octaves = 6;
constexpr double FirstPeriod = 128; // cells between lattice points of the broadest octave

// Sixteen unit directions, 22.5 degrees apart.
constexpr std::array<std::array<double, 2>, 16> Directions = {{
    {1.0, 0.0},
    {0.9238795325112867, 0.3826834323650898},
    {0.7071067811865476, 0.7071067811865476},
    {0.3826834323650898, 0.9238795325112867},
    {0.0, 1.0},
    {-0.3826834323650898, 0.9238795325112867},
    {-0.7071067811865476, 0.7071067811865476},
    {-0.9238795325112867, 0.3826834323650898},
    {-1.0, 0.0},
    {-0.9238795325112867, -0.3826834323650898},
    {-0.7071067811865476, -0.7071067811865476},
    {-0.3826834323650898, -0.9238795325112867},
    {0.0, -1.0},
    {0.3826834323650898, -0.9238795325112867},
    {0.7071067811865476, -0.7071067811865476},
    {0.9238795325112867, -0.3826834323650898},
}};

// 6t^5 - 15t^4 + 10t^3: flat at both ends, so the noise has no creases at lattice lines.
double Fade(double t) {
    return t * t * t * (t * (t * 6 - 15) + 10);
}

// Adds one octave of gradient noise, times weight, to every cell of sum (field order).
void AddOctave(std::vector<double>& sum, double period, double weight, TFieldRandom& random) {
    const double offsetX = random.Unit() * period, offsetY = random.Unit() * period;
    // The offset can put the last cell past one more lattice point.
    const int32_t columns = static_cast<int32_t>(MapWidth / period) + 3;
    const int32_t rows = static_cast<int32_t>(MapHeight / period) + 3;
    std::vector<uint8_t> lattice(static_cast<size_t>(columns) * rows);
    for (uint8_t& direction : lattice)
        direction = static_cast<uint8_t>(random.Next() >> 60);
    const auto gradient = [&](int32_t i, int32_t j, double dx, double dy) {
        const std::array<double, 2>& g = Directions[lattice[static_cast<size_t>(j) * columns + i]];
        return g[0] * dx + g[1] * dy;
    };
    for (int32_t x = 0; x < MapWidth; ++x) {
        const double fx = (x + offsetX) / period;
        const int32_t i = static_cast<int32_t>(fx);
        const double tx = fx - i, u = Fade(tx);
        for (int32_t y = 0; y < MapHeight; ++y) {
            const double fy = (y + offsetY) / period;
            const int32_t j = static_cast<int32_t>(fy);
            const double ty = fy - j, v = Fade(ty);
            const double a = gradient(i, j, tx, ty), b = gradient(i + 1, j, tx - 1, ty);
            const double c = gradient(i, j + 1, tx, ty - 1),
                         d = gradient(i + 1, j + 1, tx - 1, ty - 1);
            const double top = a + (b - a) * u, bottom = c + (d - c) * u;
            sum[CellIndex(x, y)] += (top + (bottom - top) * v) * weight;
        }
    }
}

} // namespace

void GenerateLandscape(THeightArray& field, uint64_t seed) {
    TFieldRandom random(seed);
    std::vector<double> sum(MapCells, 0.0);
    double period = FirstPeriod, weight = 1.0;
    for (int octave = 0; octave < Octaves; ++octave, period /= 2, weight /= 2)
        AddOctave(sum, period, weight, random);
    const auto [low, high] = std::minmax_element(sum.begin(), sum.end());
    const double lowest = *low, span = std::max(*high - lowest, 1e-9);
    for (size_t k = 0; k < sum.size(); ++k) {
        // t^1.5: the valleys widen into lowland (shaded blue-grey by the renderer), the peaks
        // grow sharper.
        const double t = (sum[k] - lowest) / span;
        field[k] = static_cast<uint8_t>(t * std::sqrt(t) * 255 + 0.5);
    }
}
