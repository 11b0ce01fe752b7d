// The processor's instruction-set levels, probed once for the whole program.
#pragma once

#include <cstdint>

// Levels in increasing width; each includes the ones before it.
enum class TSimd : uint8_t {
    Portable, // plain C++ only
    Avx2,     // AVX2 and FMA (and the SSE levels below them)
    Avx512,   // AVX-512 F, BW and VL
};

// The widest level this processor runs (Portable off x86).
TSimd CpuSimd();

// The widest level the frame's kernels take (the renderer's, the 5-6-5 conversion's, the
// changed-row search's): the processor's, unless set lower to measure or test a narrower one.
TSimd KernelSimd();
// Sets that level, capped at the processor's; before the kernels run, or between frames.
void SetKernelSimd(TSimd level);

// Whether the processor runs code of this level.
inline bool CpuHas(TSimd level) { return static_cast<uint8_t>(level) <= static_cast<uint8_t>(CpuSimd()); }
