// Which kernels the renderer uses on this machine: each level the processor runs is timed on a
// fixed field at start-up and the fastest taken, since the widest instructions are not the
// fastest everywhere (gathers are slow on some processors).
#pragma once

#include <vector>

#include "util/CpuFeatures.h"

struct TLevelTiming {
    TSimd Level;
    double Seconds; // the fastest trial of the level
};

// The level of the smallest time; of equal times the narrower level, so the same timings always
// choose the same. Portable for an empty list.
TSimd FastestLevel(const std::vector<TLevelTiming>& timings);

// The fastest trial of each level this processor runs, for the turn (the projection) and for
// the bars apart, since a level can win one and lose the other: a projection and the bars of a
// fixed field per trial at one of four angles, the levels taking turns trial by trial, so a
// disturbance strikes them alike. Give at least two trials per angle. From the fifth trial on,
// a level far behind the fastest at a part is no longer timed at it (its time stays its best
// of the first four).
struct TKernelTimings {
    std::vector<TLevelTiming> Turn, Bars;
};
TKernelTimings TimeLevels(int trials);

// The level's name as the command line takes it ("portable", "avx2", "avx512").
const char* LevelName(TSimd level);
