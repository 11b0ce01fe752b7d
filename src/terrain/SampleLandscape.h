// A fixed landscape of rolling hills, a ridge, a peak and flat plains, the same on every
// machine: the sample map, and the field the renderer's kernels are timed on.
#pragma once

#include "terrain/HeightField.h"

void MakeSampleLandscape(THeightArray& field);
