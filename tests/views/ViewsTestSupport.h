// Shared setup of the view core tests: the tables, and difference reports that name a position.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "support/ref/Reference.h"
#include "views/core/VoxelRenderer.h"

// A renderer for every options value that behaves differently: the kernels of each level the
// processor runs, without angle grids (a budget of 0 takes the same path), with one grid and with
// the default budget. Renderers of one level come together, the one without grids first.
inline std::vector<TVoxelRenderer> EveryRenderer() {
    std::vector<TVoxelRenderer> all;
    for (const TSimd simd : {TSimd::Portable, TSimd::Avx2, TSimd::Avx512})
        if (CpuHas(simd))
            for (const size_t budget : {size_t{0}, TAngleGrids::OneGrid, TRendererOptions{}.GridBudget})
                all.emplace_back(TRendererOptions{simd, budget != 0, budget});
    return all;
}
inline std::ostream& operator<<(std::ostream& out, const TRendererOptions& o) {
    return out << "simd " << int(o.Simd) << " grids " << o.AngleGrids << " budget " << o.GridBudget;
}

// "" when equal, else the first differing cell as "(x, y): a vs b".
inline std::string FirstDifference(const THeightArray& a, const THeightArray& b) {
    for (int32_t i = 0; i < MapCells; ++i)
        if (a[i] != b[i])
            return std::string("(") + std::to_string(i / MapHeight) + ", " +
                   std::to_string(i % MapHeight) + "): " + std::to_string(a[i]) + " vs " +
                   std::to_string(b[i]);
    return "";
}

// "" when equal, else the first differing byte as "byte n (row r): a vs b".
inline std::string FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                                   int32_t pitch) {
    if (a.size() != b.size()) return "sizes differ";
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return std::string("byte ") + std::to_string(i) + " (row " + std::to_string(i / pitch) +
                   "): " + std::to_string(a[i]) + " vs " + std::to_string(b[i]);
    return "";
}

// A small deterministic generator (SplitMix64) so failures reproduce from the trial number.
class TRandom {
  public:
    explicit TRandom(uint64_t seed) : State(seed) {}
    uint64_t Next() {
        uint64_t z = (State += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in lo ... hi, both included.
    int64_t Range(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    template <typename T> T Pick(std::initializer_list<T> values) {
        return values.begin()[Range(0, static_cast<int64_t>(values.size()) - 1)];
    }

  private:
    uint64_t State;
};
