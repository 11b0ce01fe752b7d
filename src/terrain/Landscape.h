// 자동생성 (generate automatically): a new landscape over the whole field.
#pragma once

#include <cstdint>

#include "terrain/HeightField.h"

// Fills the field with a landscape of hills, peaks and broad valleys: six octaves of gradient
// noise (from a TFieldRandom with this seed), stretched over 0 ... 255 and bent so the low
// ground flattens and the peaks sharpen. A seed gives the same field on every machine.
void GenerateLandscape(THeightArray& field, uint64_t seed);
