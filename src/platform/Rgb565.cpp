// RGB565 to 32-bit conversion: a table per input byte, sixteen pixels at a time with AVX2; rows
// for a segment the server reads (converted or copied as they are) with streaming stores.
#include "platform/Rgb565.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "util/Platform.h"
#if VOXEL_X86
#include <immintrin.h>
#endif

#include "util/CpuFeatures.h"

namespace {

// RGB565 to RGB32 by ExpandRgb565. Every output bit copies one input bit, so one table per
// input byte suffices (the two looked-up halves OR together); both stay in the L1 cache.
struct TRgb565Tables {
    std::array<uint32_t, 256> Low{};
    std::array<uint32_t, 256> High{};
};

const TRgb565Tables& Rgb565Tables() {
    static const TRgb565Tables tables = [] {
        const auto expand = [](uint32_t c) {
            const TRgb888 rgb = ExpandRgb565(static_cast<uint16_t>(c));
            return uint32_t{rgb.Red} << 16 | uint32_t{rgb.Green} << 8 | rgb.Blue;
        };
        TRgb565Tables t;
        for (uint32_t i = 0; i < 256; ++i) {
            t.Low[i] = 0xFF000000u | expand(i);
            t.High[i] = expand(i << 8);
        }
        return t;
    }();
    return tables;
}

void ConvertRowPlain(const uint8_t* source, uint32_t* target, int count) {
    const TRgb565Tables& tables = Rgb565Tables();
    for (int x = 0; x < count; ++x)
        target[x] = tables.Low[source[2 * x]] | tables.High[source[2 * x + 1]];
}

// Each pixel twice across, into both rows: a display scale of 2.
void ConvertRowDoubledPlain(const uint8_t* source, uint32_t* top, uint32_t* bottom, int count) {
    const TRgb565Tables& tables = Rgb565Tables();
    for (int x = 0; x < count; ++x) {
        const uint32_t pixel = tables.Low[source[2 * x]] | tables.High[source[2 * x + 1]];
        top[2 * x] = top[2 * x + 1] = bottom[2 * x] = bottom[2 * x + 1] = pixel;
    }
}

// RGB565 pixels twice across, unchanged, into both rows.
void DoubleRowPlain(const uint8_t* source, uint16_t* top, uint16_t* bottom, int count) {
    for (int x = 0; x < count; ++x) {
        uint16_t pixel;
        std::memcpy(&pixel, source + 2 * x, 2);
        top[2 * x] = top[2 * x + 1] = bottom[2 * x] = bottom[2 * x + 1] = pixel;
    }
}

#if VOXEL_X86
// Sixteen RGB565 pixels at source as 32-bit ones, pixels 0-7 in first and 8-15 in second: a
// 5-bit channel c at the top of a 16-bit lane times 0x108 keeps c << 3 | c >> 2 in the high
// half, a 6-bit one at bit 5 times 0x2080 keeps c << 2 | c >> 4.
__attribute__((target("avx2"))) inline void Convert16Avx2(const uint8_t* source, __m256i& first,
                                                         __m256i& second) {
    const __m256i redMask = _mm256_set1_epi16(static_cast<int16_t>(0xF800));
    const __m256i greenMask = _mm256_set1_epi16(0x07E0);
    const __m256i five = _mm256_set1_epi16(0x0108), six = _mm256_set1_epi16(0x2080);
    const __m256i alpha = _mm256_set1_epi16(static_cast<int16_t>(0xFF00));
    const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source));
    const __m256i r = _mm256_mulhi_epu16(_mm256_and_si256(p, redMask), five);
    const __m256i g = _mm256_mulhi_epu16(_mm256_and_si256(p, greenMask), six);
    const __m256i b = _mm256_mulhi_epu16(_mm256_slli_epi16(p, 11), five);
    const __m256i low = _mm256_or_si256(b, _mm256_slli_epi16(g, 8)); // green, blue
    const __m256i high = _mm256_or_si256(r, alpha);                  // 0xFF, red
    const __m256i a = _mm256_unpacklo_epi16(low, high);              // pixels 0-3, 8-11
    const __m256i c = _mm256_unpackhi_epi16(low, high);              // pixels 4-7, 12-15
    first = _mm256_permute2x128_si256(a, c, 0x20);
    second = _mm256_permute2x128_si256(a, c, 0x31);
}

// The whole runs of sixteen pixels at the start of a row, with ordinary stores or streaming
// ones (see StreamRowAvx2); returns the pixels written.
template <bool Streamed>
__attribute__((target("avx2"))) int ConvertRunsAvx2(const uint8_t* source, uint32_t* target,
                                                    int count) {
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        __m256i halves[2];
        Convert16Avx2(source + 2 * x, halves[0], halves[1]);
        for (int h = 0; h < 2; ++h) {
            auto* at = reinterpret_cast<__m256i*>(target + x + 8 * h);
            if constexpr (Streamed)
                _mm256_stream_si256(at, halves[h]);
            else
                _mm256_storeu_si256(at, halves[h]);
        }
    }
    return x;
}

__attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t* source, uint32_t* target,
                                                    int count) {
    const int x = ConvertRunsAvx2<false>(source, target, count);
    ConvertRowPlain(source + 2 * x, target + x, count - x);
}

// Rows for a buffer another processor reads next (a shared segment the display server copies
// from): streaming stores write whole 64-byte lines without first fetching them from that
// processor's cache, which otherwise costs more than the conversion. The ends of a row that do
// not fill an aligned line take ordinary stores.
__attribute__((target("avx2"))) void StreamRowAvx2(const uint8_t* source, uint32_t* target,
                                                   int count) {
    const int head =
        std::min(count, static_cast<int>((-reinterpret_cast<uintptr_t>(target) % 64) / 4));
    ConvertRowAvx2(source, target, head);
    const int x = head + ConvertRunsAvx2<true>(source + 2 * head, target + head, count - head);
    ConvertRowAvx2(source + 2 * x, target + x, count - x);
}

__attribute__((target("avx2"))) void StreamCopyAvx2(const uint8_t* source, uint8_t* target,
                                                    size_t bytes) {
    const size_t head = std::min(bytes, (-reinterpret_cast<uintptr_t>(target)) % 64);
    std::memcpy(target, source, head);
    size_t i = head;
    for (; i + 64 <= bytes; i += 64)
        for (size_t half = i; half < i + 64; half += 32)
            _mm256_stream_si256(
                reinterpret_cast<__m256i*>(target + half),
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + half)));
    std::memcpy(target + i, source + i, bytes - i);
}

// The doubled row from registers: each converted pixel stored twice across, in both rows,
// without reading back what was written.
__attribute__((target("avx2"))) void ConvertRowDoubledAvx2(const uint8_t* source, uint32_t* top,
                                                           uint32_t* bottom, int count) {
    const __m256i left = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
    const __m256i right = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        __m256i halves[2];
        Convert16Avx2(source + 2 * x, halves[0], halves[1]);
        for (int h = 0; h < 2; ++h) {
            const __m256i l = _mm256_permutevar8x32_epi32(halves[h], left);
            const __m256i r = _mm256_permutevar8x32_epi32(halves[h], right);
            uint32_t* const rows[] = {top + 2 * x + 16 * h, bottom + 2 * x + 16 * h};
            for (uint32_t* row : rows) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(row), l);
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 8), r);
            }
        }
    }
    ConvertRowDoubledPlain(source + 2 * x, top + 2 * x, bottom + 2 * x, count - x);
}

__attribute__((target("avx2"))) void DoubleRowAvx2(const uint8_t* source, uint16_t* top,
                                                   uint16_t* bottom, int count) {
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 2 * x));
        const __m256i a = _mm256_unpacklo_epi16(p, p); // pixels 0-3, 8-11, each twice
        const __m256i c = _mm256_unpackhi_epi16(p, p); // pixels 4-7, 12-15
        const __m256i first = _mm256_permute2x128_si256(a, c, 0x20);
        const __m256i second = _mm256_permute2x128_si256(a, c, 0x31);
        for (uint16_t* row : {top + 2 * x, bottom + 2 * x}) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row), first);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + 16), second);
        }
    }
    DoubleRowPlain(source + 2 * x, top + 2 * x, bottom + 2 * x, count - x);
}
#endif

void CopyPlain(const uint8_t* source, uint8_t* target, size_t bytes) {
    std::memcpy(target, source, bytes);
}

// The row kernels of one level.
struct TRowKernels {
    void (*Convert)(const uint8_t*, uint32_t*, int);
    void (*ConvertDoubled)(const uint8_t*, uint32_t*, uint32_t*, int);
    void (*Double)(const uint8_t*, uint16_t*, uint16_t*, int);
    void (*StreamConvert)(const uint8_t*, uint32_t*, int);
    void (*StreamCopy)(const uint8_t*, uint8_t*, size_t);
};

// The row kernels of each level, taken at each call from the level the frame's kernels run.
constexpr TRowKernels PlainRowKernels{&ConvertRowPlain, &ConvertRowDoubledPlain, &DoubleRowPlain,
                                      &ConvertRowPlain, &CopyPlain};
#if VOXEL_X86
constexpr TRowKernels LevelKernels[] = {
    PlainRowKernels,
    {&ConvertRowAvx2, &ConvertRowDoubledAvx2, &DoubleRowAvx2, &StreamRowAvx2, &StreamCopyAvx2},
    // AVX-512's twins measured no faster in the tick: the conversion waits on memory.
    {&ConvertRowAvx2, &ConvertRowDoubledAvx2, &DoubleRowAvx2, &StreamRowAvx2, &StreamCopyAvx2}};
#else
constexpr TRowKernels LevelKernels[] = {PlainRowKernels, PlainRowKernels, PlainRowKernels};
#endif

const TRowKernels& Kernels() { return LevelKernels[static_cast<int>(KernelSimd())]; }

} // namespace

void ConvertRgb565ToRgb32(const QImage& from, const QRect& area, uint8_t* target,
                          qsizetype targetPitch) {
    const uint8_t* source = from.constBits() + area.top() * from.bytesPerLine() + area.left() * 2;
    const auto convert = Kernels().Convert; // one level for the whole area
    for (int y = 0; y < area.height(); ++y)
        convert(source + y * from.bytesPerLine(),
                reinterpret_cast<uint32_t*>(target + y * targetPitch), area.width());
}

void ConvertRgb565Row(const uint8_t* source, uint32_t* target, int count) {
    Kernels().Convert(source, target, count);
}

void StreamRgb565Row(const uint8_t* source, uint32_t* target, int count) {
    Kernels().StreamConvert(source, target, count);
}

void StreamCopyRow(const uint8_t* source, uint8_t* target, size_t bytes) {
    Kernels().StreamCopy(source, target, bytes);
}

void EndStreamedRows() {
    // Harmless after ordinary stores, so no record of which kernels ran.
#if VOXEL_X86
    _mm_sfence();
#endif
}

void ConvertRgb565RowDoubled(const uint8_t* source, uint32_t* top, uint32_t* bottom, int count) {
    Kernels().ConvertDoubled(source, top, bottom, count);
}

void DoubleRgb565Row(const uint8_t* source, uint16_t* top, uint16_t* bottom, int count) {
    Kernels().Double(source, top, bottom, count);
}
