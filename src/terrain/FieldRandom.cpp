// SplitMix64: small, fast, and good enough for terrain; its finaliser also mixes the click seeds.
#include "terrain/FieldRandom.h"

namespace {

uint64_t Mix(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
    return z ^ (z >> 31);
}

} // namespace

uint64_t TFieldRandom::Next() {
    return Mix(FState += 0x9E3779B97F4A7C15u);
}

int32_t TFieldRandom::Between(int32_t lo, int32_t hi) {
    const uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
    return static_cast<int32_t>(lo + static_cast<int64_t>(((Next() >> 32) * span) >> 32));
}

uint64_t ClickSeed(uint32_t seed, uint32_t click) {
    return Mix((static_cast<uint64_t>(seed) << 32) | click);
}
