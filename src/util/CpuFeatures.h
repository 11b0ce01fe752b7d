// The processor's instruction-set levels, probed once for the whole program.
#pragma once

#include <cstdint>

// Levels in increasing width; each includes the ones before it.
enum class TSimd : uint8_t {
    Portable, // plain C++ only
    Avx2,     // AVX2 (and the SSE levels below it)
    Avx512,   // AVX-512 F, BW and VL
};

// The widest level this processor runs (Portable off x86).
TSimd CpuSimd();

// Whether the processor runs code of this level.
inline bool CpuHas(TSimd level) { return static_cast<uint8_t>(level) <= static_cast<uint8_t>(CpuSimd()); }
