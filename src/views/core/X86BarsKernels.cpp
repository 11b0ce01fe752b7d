// The x86 kernels of the bars: the blank column (AVX2, AVX-512), the strip transpose (SSE2,
// AVX2) and the blank-row scan (AVX2).
#include "views/core/X86Kernels.h"

#if VOXEL_X86
#include <immintrin.h>

#include <algorithm>
#include <cstring>

using namespace BlankBars;

namespace {
constexpr int32_t Rows = MapHeight;

// The rows of a block of 32 that lie in the column.
constexpr __mmask32 ValidRows(int32_t block) {
    return Rows - block * 32 >= 32 ? 0xFFFFFFFFu : (1u << (Rows - block * 32)) - 1u;
}
} // namespace

// 32 rows at a time, with no branch per bar. The bar of entry v at row y has its top t at
// y - v div 2 and the value v - 2 (r - t) = K - 2r at row r, where K = 2y + (v & 1): coloured
// while that is at least 1, down to its bottom (row y or y - 1), black below. Its segment
// starts at max(t, clip top). A row shows the nearest bar that starts at or above it: that bar
// hides the farther ones down to its bottom, and below it no farther bar reaches (each ends at
// its own row or above). The nearest is the one of greatest K, as K grows with y. So each bar's
// K is placed at its start, nearest last so that it wins, and a running maximum down the rows
// gives every row its K. A bar with a nearer one whose top is at or above its own is hidden by
// it (that one's start is at or above its start, and its K is greater), so a bar hidden by the
// next row's or the one after's is not placed: fewer bars to place one by one.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
BlankColumnAvx512(const TBlankBars& b, int32_t x, uint16_t* column) {
    constexpr int32_t Blocks = (Rows + 31) / 32;
    alignas(64) static constexpr int16_t Lanes[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                      22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
    // Words of two registers taken in turn: each row's start and K side by side as one 32-bit
    // value, the rows in order (half 0: rows 0 ... 15, half 1: rows 16 ... 31).
    alignas(64) static constexpr int16_t Pairs[2][32] = {
        {0, 32, 1, 33, 2,  34, 3,  35, 4,  36, 5,  37, 6,  38, 7,  39,
         8, 40, 9, 41, 10, 42, 11, 43, 12, 44, 13, 45, 14, 46, 15, 47},
        {16, 48, 17, 49, 18, 50, 19, 51, 20, 52, 21, 53, 22, 54, 23, 55,
         24, 56, 25, 57, 26, 58, 27, 59, 28, 60, 29, 61, 30, 62, 31, 63}};
    const __m512i lane = _mm512_load_si512(Lanes);
    const __m512i top = _mm512_set1_epi16(static_cast<int16_t>(b.Top));
    const __m512i bottom = _mm512_set1_epi16(static_cast<int16_t>(b.Bottom));
    const __m512i one = _mm512_set1_epi16(1);
    const uint8_t* entries = b.Proj + CellIndex(x, 0);

    // The rows whose bar is hidden by the next row's or the one after's: the top of row y + d
    // is at or above row y's when (v' div 2) - (v div 2) >= d, here on the even parts 2 (v div
    // 2), 64 rows at a time. An empty entry (0) hides nothing.
    uint64_t hidden[(Rows + 63) / 64];
    const __m512i even = _mm512_set1_epi8(static_cast<char>(0xFE)), four = _mm512_set1_epi8(4);
    const auto from = [](int32_t first) -> __mmask64 {
        return Rows - first >= 64 ? ~0ull : (1ull << (Rows - first)) - 1ull;
    };
#pragma GCC unroll 4
    for (int32_t y = 0; y < Rows; y += 64) {
        const __m512i h0 = _mm512_and_si512(_mm512_maskz_loadu_epi8(from(y), entries + y), even);
        const __m512i h1 =
            _mm512_and_si512(_mm512_maskz_loadu_epi8(from(y + 1), entries + y + 1), even);
        const __m512i h2 =
            _mm512_and_si512(_mm512_maskz_loadu_epi8(from(y + 2), entries + y + 2), even);
        hidden[y / 64] =
            _mm512_cmpgt_epu8_mask(h1, h0) | _mm512_cmpge_epu8_mask(h2, _mm512_adds_epu8(h0, four));
    }

    // The bars that reach the clip and may show, farthest first: start | K << 16. Most blocks of
    // a column hold no sample (beyond the field, or outside the clip): they are passed over.
    alignas(64) uint32_t bars[Rows + 16];
    int32_t n = 0;
#pragma GCC unroll 8
    for (int32_t block = 0; block < Blocks; ++block) {
        const __m256i bytes = _mm256_maskz_loadu_epi8(ValidRows(block), entries + block * 32);
        if (_mm256_testz_si256(bytes, bytes)) continue;
        const __m512i v = _mm512_cvtepu8_epi16(bytes);
        const __m512i rows =
            _mm512_add_epi16(lane, _mm512_set1_epi16(static_cast<int16_t>(block * 32)));
        const __m512i barTop = _mm512_sub_epi16(rows, _mm512_srli_epi16(v, 1));
        const __m512i barBottom = _mm512_sub_epi16(
            _mm512_add_epi16(barTop, _mm512_srli_epi16(_mm512_add_epi16(v, one), 1)), one);
        const __mmask32 reaches = _mm512_test_epi16_mask(v, v) &
                                  _mm512_cmpge_epi16_mask(barBottom, top) &
                                  _mm512_cmple_epi16_mask(barTop, bottom);
        const __m512i start = _mm512_max_epi16(barTop, top);
        const __mmask32 draws =
            reaches & ~static_cast<__mmask32>(hidden[block / 2] >> (32 * (block % 2)));
        const __m512i k = _mm512_add_epi16(_mm512_add_epi16(rows, rows), _mm512_and_si512(v, one));
        for (int half = 0; half < 2; ++half) {
            const auto some = static_cast<__mmask16>(draws >> (16 * half));
            const __m512i pair =
                _mm512_permutex2var_epi16(start, _mm512_load_si512(Pairs[half]), k);
            _mm512_storeu_si512(bars + n, _mm512_maskz_compress_epi32(some, pair));
            n += __builtin_popcount(some);
        }
    }
    // memset, not vector stores: the loads below overlap both these stores and the narrow ones
    // after them, and with vector stores the kernel measured 40 % slower.
    alignas(64) int16_t placed[Blocks * 32];
    std::memset(placed, 0, sizeof placed);
    for (int32_t i = 0; i < n; ++i)
        placed[bars[i] & 0xFFFF] = static_cast<int16_t>(bars[i] >> 16);

    __m512i colour[8];
    for (int i = 0; i < 8; ++i)
        colour[i] = _mm512_loadu_si512(b.Colour + 32 * i);
    const __m512i bit6 = _mm512_set1_epi16(64), bit7 = _mm512_set1_epi16(128);
    __m512i above = _mm512_setzero_si512(); // the greatest K placed above the block
    bool sky = true;                        // nothing placed above: K 0, every pixel black
#pragma GCC unroll 8
    for (int32_t block = 0; block < Blocks; ++block) {
        __m512i k = _mm512_load_si512(placed + block * 32);
        if (sky && _mm512_test_epi16_mask(k, k) == 0) {
            _mm512_mask_storeu_epi16(column + block * 32, ValidRows(block), _mm512_setzero_si512());
            continue;
        }
        sky = false;
#pragma GCC unroll 5
        for (int16_t step = 1; step < 32; step *= 2)
            k = _mm512_max_epi16(
                k, _mm512_maskz_permutexvar_epi16(
                       ~((1u << step) - 1u), _mm512_sub_epi16(lane, _mm512_set1_epi16(step)), k));
        k = _mm512_max_epi16(k, above);
        above = _mm512_permutexvar_epi16(_mm512_set1_epi16(31), k);
        const __m512i rows =
            _mm512_add_epi16(lane, _mm512_set1_epi16(static_cast<int16_t>(block * 32)));
        const __m512i value = _mm512_sub_epi16(k, _mm512_add_epi16(rows, rows));
        // colour[value]: four 64-entry look-ups, chosen between by bits 6 and 7.
        const __m512i c0 = _mm512_permutex2var_epi16(colour[0], value, colour[1]);
        const __m512i c1 = _mm512_permutex2var_epi16(colour[2], value, colour[3]);
        const __m512i c2 = _mm512_permutex2var_epi16(colour[4], value, colour[5]);
        const __m512i c3 = _mm512_permutex2var_epi16(colour[6], value, colour[7]);
        const __mmask32 b6 = _mm512_test_epi16_mask(value, bit6);
        const __m512i pixel = _mm512_mask_mov_epi16(_mm512_mask_mov_epi16(c0, b6, c1),
                                                    _mm512_test_epi16_mask(value, bit7),
                                                    _mm512_mask_mov_epi16(c2, b6, c3));
        _mm512_mask_storeu_epi16(
            column + block * 32, ValidRows(block),
            _mm512_maskz_mov_epi16(_mm512_cmpge_epi16_mask(value, one), pixel));
    }
}

namespace {
// For each mask of eight lanes, the permutation that brings its lanes to the front in order.
struct TCompress {
    alignas(32) int32_t Lanes[256][8];
};
constexpr TCompress Compress = [] {
    TCompress c{};
    for (int mask = 0; mask < 256; ++mask) {
        int n = 0;
        for (int lane = 0; lane < 8; ++lane)
            if (mask & (1 << lane)) c.Lanes[mask][n++] = lane;
    }
    return c;
}();

// 300 - the top of the bar of each entry v of rows y ... y + 15, 0 where there is none: from
// 45 up, greater for a higher top.
__attribute__((target("avx2"))) inline __m256i TopsFromBelow(__m256i v, int32_t y, __m256i lane) {
    const __m256i top =
        _mm256_sub_epi16(_mm256_add_epi16(lane, _mm256_set1_epi16(static_cast<int16_t>(y))),
                         _mm256_srli_epi16(v, 1));
    return _mm256_andnot_si256(_mm256_cmpeq_epi16(v, _mm256_setzero_si256()),
                               _mm256_sub_epi16(_mm256_set1_epi16(300), top));
}
} // namespace

// BlankColumnPlain with the bars that show found sixteen rows at a time: those that reach the
// clip and that no nearer bar hides (a nearer top at or above theirs). Each then writes its
// segment, nearest first, with no test per entry.
__attribute__((target("avx2"))) void BlankColumnAvx2(const TBlankBars& b, int32_t x,
                                                     uint16_t* column) {
    constexpr int32_t Blocks = (Rows + 31) / 32;
    // The column with zeros after it: the loads of the next rows stay inside, and no bar lies
    // there.
    alignas(32) uint8_t e[Blocks * 32 + 32];
    std::memcpy(e, b.Proj + CellIndex(x, 0), Rows);
    std::memset(e + Rows, 0, sizeof e - Rows);

    // A bar is hidden when a nearer one's top is at or above its own. The tops as 300 - top
    // (0 for no bar), so that the highest nearer top is a running maximum from the bottom up,
    // sixteen rows a step: nearer[y] is the greatest of rows y ... 239.
    const __m256i lane = _mm256_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m256i zero = _mm256_setzero_si256();
    // Word 0 of each 128-bit half, in every word of that half.
    const __m256i wordZero = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1,
                                              0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1);
    alignas(32) int16_t nearer[Rows + 32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(nearer + Rows), zero);
    _mm256_store_si256(reinterpret_cast<__m256i*>(nearer + Rows + 16), zero);
    __m256i below = zero;
    for (int32_t y = Rows - 16; y >= 0; y -= 16) {
        const __m256i v =
            _mm256_cvtepu8_epi16(_mm_load_si128(reinterpret_cast<const __m128i*>(e + y)));
        __m256i u = TopsFromBelow(v, y, lane);
        u = _mm256_max_epi16(u, _mm256_srli_si256(u, 2));
        u = _mm256_max_epi16(u, _mm256_srli_si256(u, 4));
        u = _mm256_max_epi16(u, _mm256_srli_si256(u, 8));
        const __m256i highFirst = _mm256_shuffle_epi8(u, wordZero);
        u = _mm256_max_epi16(u, _mm256_permute2x128_si256(highFirst, highFirst, 0x81));
        u = _mm256_max_epi16(u, below);
        _mm256_store_si256(reinterpret_cast<__m256i*>(nearer + y), u);
        const __m256i top = _mm256_shuffle_epi8(u, wordZero);
        below = _mm256_permute2x128_si256(top, top, 0x00);
    }

    // The bars that show, as bits of blocks of 32 rows.
    const __m256i one = _mm256_set1_epi16(1);
    const __m256i aboveTop = _mm256_set1_epi16(static_cast<int16_t>(b.Top - 1));
    const __m256i belowBottom = _mm256_set1_epi16(static_cast<int16_t>(b.Bottom + 1));
    // Their rows in a list, eight rows at a time through a table of permutations.
    alignas(32) int32_t list[Rows + 8];
    int32_t n = 0;
    for (int32_t block = 0; block < Blocks; ++block) {
        const __m256i bytes = _mm256_load_si256(reinterpret_cast<const __m256i*>(e + block * 32));
        if (_mm256_testz_si256(bytes, bytes)) continue;
        __m256i reach[2];
        for (int half = 0; half < 2; ++half) {
            const __m256i v = _mm256_cvtepu8_epi16(half == 0 ? _mm256_castsi256_si128(bytes)
                                                             : _mm256_extracti128_si256(bytes, 1));
            const int32_t y = block * 32 + 16 * half;
            const __m256i rows = _mm256_add_epi16(lane, _mm256_set1_epi16(static_cast<int16_t>(y)));
            const __m256i barTop = _mm256_sub_epi16(rows, _mm256_srli_epi16(v, 1));
            const __m256i barBottom =
                _mm256_add_epi16(_mm256_sub_epi16(rows, one), _mm256_and_si256(v, one));
            const __m256i hidden = _mm256_cmpgt_epi16(
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nearer + y + 1)),
                _mm256_sub_epi16(TopsFromBelow(v, y, lane), one));
            reach[half] =
                _mm256_andnot_si256(_mm256_or_si256(hidden, _mm256_cmpeq_epi16(v, zero)),
                                    _mm256_and_si256(_mm256_cmpgt_epi16(barBottom, aboveTop),
                                                     _mm256_cmpgt_epi16(belowBottom, barTop)));
        }
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi16(reach[0], reach[1]),
                                                        _MM_SHUFFLE(3, 1, 2, 0));
        const auto shows = static_cast<uint32_t>(_mm256_movemask_epi8(packed));
        for (int32_t eight = 0; eight < 4; ++eight) {
            const uint32_t some = (shows >> (8 * eight)) & 0xFF;
            const __m256i rows = _mm256_add_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7),
                                                  _mm256_set1_epi32(block * 32 + 8 * eight));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(list + n),
                                _mm256_permutevar8x32_epi32(
                                    rows, _mm256_load_si256(reinterpret_cast<const __m256i*>(
                                              Compress.Lanes[some]))));
            n += __builtin_popcount(some);
        }
    }

    // Nearest first, each bar's segment [from, sky) from its colour sequence in runs of 16 that
    // spill only above from (see WriteSegment); a bar above the clip's top has from = sky, an
    // empty segment.
    int32_t sky = b.Bottom + 1;
    for (int32_t i = n - 1; i >= 0; --i) {
        const int32_t y = list[i];
        const int32_t v = e[y];
        const int32_t barTop = y - v / 2;
        const int32_t from = std::max(barTop, b.Top);
        const int32_t value = v - 2 * (from - barTop);
        const uint16_t* sequence =
            b.Sequence[v & 1] + SequencePad + ((v & 1 ? 255 : 254) - value) / 2 - from;
        // Two runs whatever the length (most segments are shorter), more only for a long one.
        for (int32_t end = sky;; end -= 2 * Run) {
            for (int32_t r = 1; r <= 2; ++r)
                _mm256_storeu_si256(
                    reinterpret_cast<__m256i*>(column + end - r * Run),
                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sequence + end - r * Run)));
            if (end - 2 * Run <= from) break;
        }
        sky = std::min(sky, from);
    }
    for (int32_t end = sky; end > b.Top; end -= Run)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(column + end - Run), zero);
}

// The eight columns of a strip c[] turned into eight rows row[], eight rows by eight (sixteen in
// 256-bit registers, one block in each half): three rounds of interleaving, 16-, 32-, then
// 64-bit. P is the intrinsics' prefix, _mm_ or _mm256_.
#define TRANSPOSE_8(P, c, row)                                                                     \
    do {                                                                                           \
        const auto a0 = P##unpacklo_epi16(c[0], c[1]), a1 = P##unpackhi_epi16(c[0], c[1]);         \
        const auto a2 = P##unpacklo_epi16(c[2], c[3]), a3 = P##unpackhi_epi16(c[2], c[3]);         \
        const auto a4 = P##unpacklo_epi16(c[4], c[5]), a5 = P##unpackhi_epi16(c[4], c[5]);         \
        const auto a6 = P##unpacklo_epi16(c[6], c[7]), a7 = P##unpackhi_epi16(c[6], c[7]);         \
        const auto q0 = P##unpacklo_epi32(a0, a2), q1 = P##unpackhi_epi32(a0, a2);                 \
        const auto q2 = P##unpacklo_epi32(a1, a3), q3 = P##unpackhi_epi32(a1, a3);                 \
        const auto q4 = P##unpacklo_epi32(a4, a6), q5 = P##unpackhi_epi32(a4, a6);                 \
        const auto q6 = P##unpacklo_epi32(a5, a7), q7 = P##unpackhi_epi32(a5, a7);                 \
        row[0] = P##unpacklo_epi64(q0, q4), row[1] = P##unpackhi_epi64(q0, q4);                    \
        row[2] = P##unpacklo_epi64(q1, q5), row[3] = P##unpackhi_epi64(q1, q5);                    \
        row[4] = P##unpacklo_epi64(q2, q6), row[5] = P##unpackhi_epi64(q2, q6);                    \
        row[6] = P##unpacklo_epi64(q3, q7), row[7] = P##unpackhi_epi64(q3, q7);                    \
    } while (false)

void StripToSurfaceSse2(const TBlankBars& b, const uint16_t (*strip)[StripRows], int32_t n,
                        int32_t x0) {
    if (n != StripColumns || b.BytesPerPixel != 2) return StripToSurfacePlain(b, strip, n, x0);
    int32_t y = b.Top;
    for (; y + 7 <= b.Bottom; y += 8) {
        __m128i c[8], row[8];
        for (int i = 0; i < 8; ++i)
            c[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(strip[i] + StripPad + y));
        TRANSPOSE_8(_mm_, c, row);
        for (int r = 0; r < 8; ++r)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(b.Bits + (y + r) * b.Pitch + x0 * 2),
                             row[r]);
    }
    // The last rows, fewer than eight, as the plain kernel does them.
    TBlankBars rest = b;
    rest.Top = y;
    if (y <= b.Bottom) StripToSurfacePlain(rest, strip, n, x0);
}

// Sixteen rows a step: the interleaving works within each 128-bit half, so one pass turns two
// blocks of eight, a third fewer shuffles than the 128-bit kernel (which the transpose waits on).
__attribute__((target("avx2"))) void
StripToSurfaceAvx2(const TBlankBars& b, const uint16_t (*strip)[StripRows], int32_t n, int32_t x0) {
    if (n != StripColumns || b.BytesPerPixel != 2) return StripToSurfacePlain(b, strip, n, x0);
    int32_t y = b.Top;
    for (; y + 15 <= b.Bottom; y += 16) {
        __m256i c[8], row[8];
        for (int i = 0; i < 8; ++i)
            c[i] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(strip[i] + StripPad + y));
        TRANSPOSE_8(_mm256_, c, row);
        uint8_t* const to = b.Bits + x0 * 2;
        for (int r = 0; r < 8; ++r) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + (y + r) * b.Pitch),
                             _mm256_castsi256_si128(row[r]));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to + (y + 8 + r) * b.Pitch),
                             _mm256_extracti128_si256(row[r], 1));
        }
    }
    TBlankBars rest = b;
    rest.Top = y;
    if (y <= b.Bottom) StripToSurfaceSse2(rest, strip, n, x0);
}

__attribute__((target("avx2"))) bool BlankRowsAvx2(const uint8_t* bits, int64_t pitch, int32_t left,
                                                   int32_t right, int32_t top, int32_t bottom) {
    const int64_t bytes = 2 * int64_t{right - left + 1};
    for (int32_t y = top; y <= bottom; ++y) {
        const uint8_t* p = bits + y * pitch + 2 * left;
        __m256i any = _mm256_setzero_si256();
        int64_t i = 0;
        for (; i + 128 <= bytes; i += 128)
            for (int k = 0; k < 128; k += 32)
                any = _mm256_or_si256(
                    any, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i + k)));
        if (!_mm256_testz_si256(any, any)) return false;
        // The tail, fewer than 128 bytes.
        if (!BlankRowsPlain(p + i, pitch, 0, static_cast<int32_t>((bytes - i) / 2) - 1, 0, 0))
            return false;
    }
    return true;
}
#undef TRANSPOSE_8
#endif
