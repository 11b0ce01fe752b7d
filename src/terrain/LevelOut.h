// 평준화 (level out): one pass of a 3 x 3 mean over the whole field.
#pragma once

#include "terrain/HeightField.h"

// Each cell becomes (the sum of its 3 x 3 neighbourhood + 4) div 9, a neighbour outside the
// field read at the nearest edge cell. Repeated passes smooth further.
void LevelOut(THeightArray& field);
