// The processor's instruction-set levels, asked once.
#include "util/CpuFeatures.h"

#include "util/Platform.h"

namespace {

TSimd Probe() {
#if VOXEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl"))
        return TSimd::Avx512;
    if (__builtin_cpu_supports("avx2")) return TSimd::Avx2;
#endif
    return TSimd::Portable;
}

} // namespace

TSimd CpuSimd() {
    static const TSimd level = Probe();
    return level;
}
