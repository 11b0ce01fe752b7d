// The noise: one draw per cell, in field order.
#include "terrain/FieldNoise.h"

#include <algorithm>

#include "terrain/FieldRandom.h"
#include "util/Exceptions.h"

void AddNoise(THeightArray& field, uint8_t damping, uint64_t seed) {
    if (damping == 0) throw EDivByZero();
    const int32_t amplitude = 64 / damping;
    if (amplitude == 0) return;
    TFieldRandom random(seed);
    for (uint8_t& cell : field)
        cell =
            static_cast<uint8_t>(std::clamp(cell + random.Between(-amplitude, amplitude), 0, 255));
}
