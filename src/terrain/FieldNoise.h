// 잡음 (noise): every cell moved by a random amount.
#pragma once

#include <cstdint>

#include "terrain/HeightField.h"

// Moves every cell by a random amount in [-A, A], A = 64 div damping (integer division, as the
// brush divides), clamped to 0 ... 255; the amounts come from a TFieldRandom with this seed.
// A damping above 64 changes nothing. Raises EDivByZero for a damping of 0, the field untouched.
void AddNoise(THeightArray& field, uint8_t damping, uint64_t seed);
