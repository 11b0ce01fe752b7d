// What the arithmetic takes for granted of the compiler and the processor, checked where a
// build on another platform would otherwise round differently without a word.
#pragma once

#include <cfloat>
#include <limits>

// The projection's reference rounding is done in x87 extended precision.
static_assert(std::numeric_limits<long double>::digits == 64,
              "long double must carry a 64-bit mantissa");
// Every float and double expression must round to its own type, step by step.
static_assert(FLT_EVAL_METHOD == 0, "floating-point expressions must be evaluated in their type");
#if defined(__FAST_MATH__)
#error "fast-math reorders and fuses the roundings the renderer depends on"
#endif

// The hand-written x86 kernels (chosen at run time by the processor's features).
#if defined(__x86_64__) && defined(__GNUC__)
#define VOXEL_X86 1
#else
#define VOXEL_X86 0
#endif
