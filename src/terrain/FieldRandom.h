// The random numbers of the field tools (noise, generated landscapes): a generator of our own
// with a fixed mapping to a range, so a seed gives the same field with every library.
#pragma once

#include <cstdint>

class TFieldRandom {
  public:
    explicit TFieldRandom(uint64_t seed) : FState(seed) {}
    // The next 64 random bits (SplitMix64).
    uint64_t Next();
    // A value in lo ... hi (lo <= hi, hi - lo < 2^32): the top 32 bits scaled by a multiply and
    // a shift, the same on every machine.
    int32_t Between(int32_t lo, int32_t hi);
    // A value in [0, 1): the top 53 bits.
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

  private:
    uint64_t FState;
};

// The seed of the click-th use (1, 2, ...) of the tools after start with this seed: each click
// has a stream of its own, so the k-th gives the same field in every run.
uint64_t ClickSeed(uint32_t seed, uint32_t click);
