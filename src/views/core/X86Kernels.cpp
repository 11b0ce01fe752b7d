// The x86 kernels: column samples (AVX2, AVX-512), gathered look-ups and the blank column
// (AVX-512), the strip transpose (SSE2) and the blank-row scan (AVX2).
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

// The rounding instruction rounds to nearest even, as the shift of the plain kernel does.
__attribute__((target("avx2"))) bool ColumnSamplesAvx2(const int32_t* rx, const double* across,
                                                       const double* down, double c, double s,
                                                       const TFieldClip& fc, int32_t first,
                                                       int32_t last, int32_t* sample) {
    const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s);
    const __m256d half = _mm256_set1_pd(0.5), magnitude = _mm256_set1_pd(-0.0);
    const __m128i left = _mm_set1_epi32(fc.Left - 160), top = _mm_set1_epi32(fc.Top - 120);
    const __m128i width = _mm_set1_epi32(fc.Right - fc.Left);
    const __m128i height = _mm_set1_epi32(fc.Bottom - fc.Top);
    const __m128i rows = _mm_set1_epi32(Rows), base = _mm_set1_epi32(160 * Rows + 120);
    const __m128i outside = _mm_set1_epi32(SampleOutside);
    int ties = 0;
    int32_t y = first;
    for (; y + 3 <= last; y += 4) {
        const __m256d x4 =
            _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rx + y)));
        const __m256d t1 = _mm256_add_pd(_mm256_mul_pd(x4, vc), _mm256_loadu_pd(across + y));
        const __m256d t2 = _mm256_add_pd(_mm256_mul_pd(x4, vs), _mm256_loadu_pd(down + y));
        const int mode = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
        const __m256d r1 = _mm256_round_pd(t1, mode), r2 = _mm256_round_pd(t2, mode);
        const __m256d tie = _mm256_or_pd(
            _mm256_cmp_pd(_mm256_andnot_pd(magnitude, _mm256_sub_pd(t1, r1)), half, _CMP_EQ_OQ),
            _mm256_cmp_pd(_mm256_andnot_pd(magnitude, _mm256_sub_pd(t2, r2)), half, _CMP_EQ_OQ));
        const __m128i u = _mm256_cvtpd_epi32(r1), v = _mm256_cvtpd_epi32(r2); // exact: whole
        const __m128i du = _mm_sub_epi32(u, left), dv = _mm_sub_epi32(v, top);
        const __m128i inside = _mm_and_si128(_mm_cmpeq_epi32(_mm_min_epu32(du, width), du),
                                             _mm_cmpeq_epi32(_mm_min_epu32(dv, height), dv));
        const __m128i index = _mm_add_epi32(_mm_add_epi32(_mm_mullo_epi32(u, rows), v), base);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sample + y),
                         _mm_blendv_epi8(outside, index, inside));
        if (const int lanes = _mm256_movemask_pd(tie); lanes != 0) { // rare
            ties = 1;
            for (int lane = 0; lane < 4; ++lane)
                if (lanes & (1 << lane)) sample[y + lane] = SampleHalfWay;
        }
    }
    return ColumnSamplesPlain(rx, across, down, c, s, fc, y, last, sample) || ties != 0;
}

// Eight rows at a time, the last ones under a mask. rx * c is exact (|rx| < 2^28 and c has 24
// significant bits), so the fused multiply-add rounds rx * c + across once, as the separate
// multiply and add do. The clip test and the field index stay in double precision, where the
// rounded coordinates and u * 240 + v are whole and exact.
__attribute__((target("avx512f,avx512vl"))) bool
ColumnSamplesAvx512(const int32_t* rx, const double* across, const double* down, double c, double s,
                    const TFieldClip& fc, int32_t first, int32_t last, int32_t* sample) {
    const __m512d vc = _mm512_set1_pd(c), vs = _mm512_set1_pd(s), half = _mm512_set1_pd(0.5);
    const __m512d left = _mm512_set1_pd(fc.Left - 160), right = _mm512_set1_pd(fc.Right - 160);
    const __m512d top = _mm512_set1_pd(fc.Top - 120), bottom = _mm512_set1_pd(fc.Bottom - 120);
    const __m512d rows = _mm512_set1_pd(Rows), base = _mm512_set1_pd(160 * Rows + 120);
    const __m256i outside = _mm256_set1_epi32(SampleOutside);
    const __m256i halfWay = _mm256_set1_epi32(SampleHalfWay);
    constexpr int Nearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    __mmask8 ties = 0;
    for (int32_t y = first; y <= last; y += 8) {
        const __mmask8 lanes =
            last - y >= 7 ? 0xFF : static_cast<__mmask8>((1u << (last - y + 1)) - 1);
        // The zero-masked forms throughout: the plain ones draw a false warning from GCC 12.
        const __m512d x8 = _mm512_maskz_cvtepi32_pd(lanes, _mm256_maskz_loadu_epi32(lanes, rx + y));
        const __m512d t1 = _mm512_fmadd_pd(x8, vc, _mm512_maskz_loadu_pd(lanes, across + y));
        const __m512d t2 = _mm512_fmadd_pd(x8, vs, _mm512_maskz_loadu_pd(lanes, down + y));
        const __m512d u = _mm512_maskz_roundscale_pd(lanes, t1, Nearest);
        const __m512d v = _mm512_maskz_roundscale_pd(lanes, t2, Nearest);
        // Neither is ever more than 0.5 from its nearest integer: a tie is the larger at 0.5.
        const __m512d off = _mm512_maskz_max_pd(lanes, _mm512_abs_pd(_mm512_sub_pd(t1, u)),
                                                _mm512_abs_pd(_mm512_sub_pd(t2, v)));
        const __mmask8 tie = _mm512_mask_cmp_pd_mask(lanes, off, half, _CMP_EQ_OQ);
        __mmask8 inside = _mm512_mask_cmp_pd_mask(lanes, u, left, _CMP_GE_OQ);
        inside = _mm512_mask_cmp_pd_mask(inside, u, right, _CMP_LE_OQ);
        inside = _mm512_mask_cmp_pd_mask(inside, v, top, _CMP_GE_OQ);
        inside = _mm512_mask_cmp_pd_mask(inside, v, bottom, _CMP_LE_OQ);
        const __m512d index = _mm512_fmadd_pd(u, rows, _mm512_add_pd(v, base));
        const __m256i result =
            _mm256_mask_mov_epi32(_mm512_mask_cvtpd_epi32(outside, inside, index), tie, halfWay);
        _mm256_mask_storeu_epi32(sample + y, lanes, result);
        ties |= tie;
    }
    return ties != 0;
}

__attribute__((target("avx512f,avx512bw,avx512vl"))) void
LookUpAvx512(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first, int32_t last,
             const uint8_t* heights, uint8_t* outColumn) {
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i low = _mm512_set1_epi32(0xFF), limit = _mm512_set1_epi32(MapCells - 4);
    const __m512i zero = _mm512_setzero_si512();
    for (int32_t y = first; y <= last; y += 16) {
        const __mmask16 lanes =
            last - y >= 15 ? 0xFFFF : static_cast<__mmask16>((1u << (last - y + 1)) - 1);
        const __m512i index = _mm512_maskz_loadu_epi32(lanes, sample + y);
        // Unsigned, so the markers (negative) fail the test too.
        const __mmask16 gathered = _mm512_mask_cmple_epu32_mask(lanes, index, limit);
        const __m512i h =
            _mm512_and_si512(_mm512_mask_i32gather_epi32(zero, gathered, index, heights, 1), low);
        const __m512i at = _mm512_add_epi32(
            _mm512_maskz_slli_epi32(lanes, _mm512_add_epi32(lane, _mm512_set1_epi32(y)), 8), h);
        const __m512i q = _mm512_mask_i32gather_epi32(zero, gathered, at, quotientOf, 1);
        _mm512_mask_cvtepi32_storeu_epi8(outColumn + y, gathered, q); // the low bytes
        for (uint32_t rest = lanes & ~gathered; rest != 0; rest &= rest - 1) {
            const int32_t row = y + __builtin_ctz(rest);
            if (sample[row] >= 0) outColumn[row] = quotientOf[row][heights[sample[row]]];
        }
    }
}

// Sixteen rows at a time in single precision, each row's look-ups while its place is still in a
// register. float(rx) is exact (|rx| < 2^24, else the block takes the double path) and a, the
// row term rounded once, is within 2^-24 |a| of the exact one, so the fused multiply-add tf is
// within 2^-24 (|a| + |tf|) + 2^-149 of the exact value T. E = 2^-23 (|a| + |tf| + 1), even
// computed in floats (the row's part, (|a| + 1) 2^-23, ahead of the frame), exceeds that by more
// than 2^-25 (|tf| + 1); where d, the (exact) distance of tf from its nearest integer n, has
// d + E < 0.5 (a computed sum below 0.5 means the exact one is), T lies within
// 0.5 - 2^-25 (|tf| + 1) of n, farther from the half-way points than the double kernel's one
// rounding of T (2^-53 |T|) can move it: that kernel finds n too, and no half-way case. Large
// (|tf| >= 2^22) or non-finite values fail the test. A block where any row fails takes the
// double kernel and its fix-up (rare). The clip test and the field index stay in floats: the
// rounded coordinates are whole, and inside the clip u * 240 + v + 38520 is below 2^24.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void TurnColumnAvx512(const TTurn& turn,
                                                                           int32_t x, TRows rows,
                                                                           const uint8_t* heights,
                                                                           uint8_t* outColumn) {
    const TCameraCache& k = *turn.Cache;
    const int32_t* rx = k.Rx + CellIndex(x, 0);
    const TFieldClip& fc = k.FieldClip;
    const __m512 cf = _mm512_set1_ps(turn.Cf), sf = _mm512_set1_ps(turn.Sf);
    const __m512 half = _mm512_set1_ps(0.5f);
    const __m512 scale = _mm512_set1_ps(0x1p-23f);
    const __m512i exact = _mm512_set1_epi32((1 << 24) - 1);
    const __m512 left = _mm512_set1_ps(static_cast<float>(fc.Left - 160)),
                 right = _mm512_set1_ps(static_cast<float>(fc.Right - 160));
    const __m512 top = _mm512_set1_ps(static_cast<float>(fc.Top - 120)),
                 bottom = _mm512_set1_ps(static_cast<float>(fc.Bottom - 120));
    const __m512 rowsOf = _mm512_set1_ps(Rows), base = _mm512_set1_ps(160 * Rows + 120);
    const __m512i lane = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    const __m512i low = _mm512_set1_epi32(0xFF), limit = _mm512_set1_epi32(MapCells - 4);
    const __m512i zero = _mm512_setzero_si512();
    constexpr int Nearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    for (int32_t y = rows.First; y <= rows.Last; y += 16) {
        const int32_t end = std::min<int32_t>(y + 15, rows.Last);
        const __mmask16 lanes = static_cast<__mmask16>((1u << (end - y + 1)) - 1);
        const __m512i r = _mm512_maskz_loadu_epi32(lanes, rx + y);
        const __m512 xf = _mm512_maskz_cvtepi32_ps(lanes, r);
        const __m512 a = _mm512_maskz_loadu_ps(lanes, turn.AcrossF + y);
        const __m512 b = _mm512_maskz_loadu_ps(lanes, turn.DownF + y);
        const __m512 t1 = _mm512_fmadd_ps(xf, cf, a), t2 = _mm512_fmadd_ps(xf, sf, b);
        const __m512 u = _mm512_maskz_roundscale_ps(lanes, t1, Nearest),
                     v = _mm512_maskz_roundscale_ps(lanes, t2, Nearest);
        const __m512 e1 =
            _mm512_add_ps(_mm512_abs_ps(_mm512_sub_ps(t1, u)),
                          _mm512_fmadd_ps(_mm512_abs_ps(t1), scale,
                                          _mm512_maskz_loadu_ps(lanes, turn.SlackA + y)));
        const __m512 e2 =
            _mm512_add_ps(_mm512_abs_ps(_mm512_sub_ps(t2, v)),
                          _mm512_fmadd_ps(_mm512_abs_ps(t2), scale,
                                          _mm512_maskz_loadu_ps(lanes, turn.SlackB + y)));
        __mmask16 fast =
            _mm512_mask_cmple_epu32_mask(lanes, _mm512_maskz_abs_epi32(lanes, r), exact);
        fast = _mm512_mask_cmp_ps_mask(fast, e1, half, _CMP_LT_OQ);
        fast = _mm512_mask_cmp_ps_mask(fast, e2, half, _CMP_LT_OQ);
        if (fast != lanes) {
            int32_t sample[Rows];
            turn.Column(&ColumnSamplesAvx512, x,
                        {static_cast<int16_t>(y), static_cast<int16_t>(end)}, sample);
            LookUpAvx512(k.QuotientOf, sample, y, end, heights, outColumn);
            continue;
        }
        __mmask16 inside = _mm512_mask_cmp_ps_mask(lanes, u, left, _CMP_GE_OQ);
        inside = _mm512_mask_cmp_ps_mask(inside, u, right, _CMP_LE_OQ);
        inside = _mm512_mask_cmp_ps_mask(inside, v, top, _CMP_GE_OQ);
        inside = _mm512_mask_cmp_ps_mask(inside, v, bottom, _CMP_LE_OQ);
        const __m512i index =
            _mm512_maskz_cvtps_epi32(inside, _mm512_fmadd_ps(u, rowsOf, _mm512_add_ps(v, base)));
        const __mmask16 gathered = _mm512_mask_cmple_epu32_mask(inside, index, limit);
        const __m512i h =
            _mm512_and_si512(_mm512_mask_i32gather_epi32(zero, gathered, index, heights, 1), low);
        // The quotient as a product with the row's factor; rows with none take the table.
        const __m512 factor = _mm512_maskz_loadu_ps(lanes, k.QuotientFactor + y);
        __m512i q = _mm512_maskz_cvt_roundps_epi32(
            lanes, _mm512_mul_ps(_mm512_maskz_cvtepi32_ps(lanes, h), factor), Nearest);
        if (const __mmask16 table = _mm512_mask_cmp_ps_mask(gathered, factor, factor, _CMP_UNORD_Q);
            table != 0) {
            const __m512i at = _mm512_add_epi32(
                _mm512_maskz_slli_epi32(lanes, _mm512_add_epi32(lane, _mm512_set1_epi32(y)), 8), h);
            q = _mm512_mask_i32gather_epi32(q, table, at, k.QuotientOf, 1);
        }
        _mm512_mask_cvtepi32_storeu_epi8(outColumn + y, gathered, q); // the low bytes
        if (const uint32_t last = inside & ~gathered; last != 0) {    // the field's last cells
            alignas(64) int32_t at16[16];
            _mm512_store_si512(at16, index);
            for (uint32_t rest = last; rest != 0; rest &= rest - 1) {
                const int i = __builtin_ctz(rest);
                outColumn[y + i] = k.QuotientOf[y + i][heights[at16[i]]];
            }
        }
    }
}

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
