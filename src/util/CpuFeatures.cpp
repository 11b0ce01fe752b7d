// The processor's instruction-set levels, asked once.
#include "util/CpuFeatures.h"

#include <algorithm>
#include <atomic>

#include "util/Platform.h"

namespace {

TSimd Probe() {
#if VOXEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("fma"))
        return TSimd::Avx512;
    // The AVX2 kernels' single-precision turn needs the fused multiply-add's one rounding.
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return TSimd::Avx2;
#endif
    return TSimd::Portable;
}

} // namespace

TSimd CpuSimd() {
    static const TSimd level = Probe();
    return level;
}

namespace {
// Above every level until set: the processor's then.
std::atomic<uint8_t> KernelCap{0xFF};
} // namespace

TSimd KernelSimd() {
    return std::min(CpuSimd(), static_cast<TSimd>(KernelCap.load(std::memory_order_relaxed)));
}

void SetKernelSimd(TSimd level) {
    KernelCap.store(static_cast<uint8_t>(std::min(level, CpuSimd())), std::memory_order_relaxed);
}
