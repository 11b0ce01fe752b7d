// The changed part of a row: compared a run of 16 pixels at a time, from the left for its start
// and from the right for its end, then copied in one piece.
#include "present/ChangedRow.h"

#include <algorithm>
#include <cstring>

#include "util/CpuFeatures.h"
#include "util/Platform.h"
#if VOXEL_X86
#include <immintrin.h>
#endif

namespace {

constexpr int Run = ChangedRun;
constexpr int RunBytes = 2 * Run;

// Whether two runs of 16 pixels are equal, without a library call.
inline bool SameRun(const uint8_t* a, const uint8_t* b) {
    uint64_t difference = 0;
    for (int i = 0; i < RunBytes; i += 8) {
        uint64_t p, q;
        std::memcpy(&p, a + i, 8);
        std::memcpy(&q, b + i, 8);
        difference |= p ^ q;
    }
    return difference == 0;
}

// Copies [run * 16, (last + 1) * 16) cut to width, and says so.
bool CopyRuns(const uint8_t* from, uint8_t* to, int width, int run, int last, int& first,
              int& end) {
    first = run * Run;
    end = std::min((last + 1) * Run, width);
    std::memcpy(to + 2 * first, from + 2 * first, static_cast<size_t>(end - first) * 2);
    return true;
}

#if VOXEL_X86
__attribute__((target("avx2"))) inline bool SameRunAvx2(const uint8_t* a, const uint8_t* b) {
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a));
    const __m256i q = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b));
    const __m256i difference = _mm256_xor_si256(p, q);
    return _mm256_testz_si256(difference, difference) != 0;
}

// A run is one register: the view that did not change costs a load pair and a test per run.
__attribute__((target("avx2"))) bool CopyChangedRowAvx2(const uint8_t* from, uint8_t* to,
                                                        int width, int& first, int& end) {
    const int whole = width / Run;
    const int tail = width - whole * Run;
    const bool tailChanged =
        tail > 0 && std::memcmp(from + whole * RunBytes, to + whole * RunBytes,
                                static_cast<size_t>(tail) * 2) != 0;
    int run = 0;
    while (run < whole && SameRunAvx2(from + run * RunBytes, to + run * RunBytes))
        ++run;
    if (run == whole && !tailChanged) return false;
    // A changed tail ends the part; otherwise the last whole run that differs does (the tail
    // is narrower than a register, so it is never loaded as one).
    int last = whole;
    if (!tailChanged) {
        last = whole - 1;
        while (last > run && SameRunAvx2(from + last * RunBytes, to + last * RunBytes))
            --last;
    }
    return CopyRuns(from, to, width, run, last, first, end);
}
#endif

using TCopyChangedRow = bool (*)(const uint8_t*, uint8_t*, int, int&, int&);

// Taken at each call from the level the frame's kernels run.
TCopyChangedRow Kernel() {
#if VOXEL_X86
    if (KernelSimd() >= TSimd::Avx2) return &CopyChangedRowAvx2;
#endif
    return &CopyChangedRowPlain;
}

} // namespace

bool CopyChangedRowPlain(const uint8_t* from, uint8_t* to, int width, int& first, int& end) {
    const auto same = [from, to, width](int x) {
        if (width - x >= Run) return SameRun(from + 2 * x, to + 2 * x);
        return std::memcmp(from + 2 * x, to + 2 * x, static_cast<size_t>(width - x) * 2) == 0;
    };
    int x = 0;
    while (x < width && same(x))
        x += Run;
    if (x >= width) return false;
    int last = (width - 1) / Run * Run;
    while (last > x && same(last))
        last -= Run;
    return CopyRuns(from, to, width, x / Run, last / Run, first, end);
}

bool CopyChangedRow(const uint8_t* from, uint8_t* to, int width, int& first, int& end) {
    return Kernel()(from, to, width, first, end);
}
