// The x86 kernels of the turn: column samples, gathered look-ups and the single-precision turn
// of a column (AVX2, AVX-512). The bars' kernels are in X86BarsKernels.cpp.
#include "views/core/X86Kernels.h"

#if VOXEL_X86
#include <immintrin.h>

#include <algorithm>
#include <cstring>

namespace {
constexpr int32_t Rows = MapHeight;
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

namespace {
// The low bytes of the eight 32-bit lanes of q, into to[0 ... n) where the lane's sign bit in
// keep is set; the other bytes stay as they are.
__attribute__((target("avx2"))) void StoreLowBytes(uint8_t* to, int32_t n, __m256i q,
                                                   __m256i keep) {
    const __m256i low = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                         -1, 0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                         -1, -1);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(q, low), order);
    const __m256i mask = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(keep, low), order);
    const auto value = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(bytes)));
    const auto chosen = static_cast<uint64_t>(_mm_cvtsi128_si64(_mm256_castsi256_si128(mask)));
    if (n == 8) {
        uint64_t old;
        std::memcpy(&old, to, 8);
        const uint64_t merged = (old & ~chosen) | (value & chosen);
        std::memcpy(to, &merged, 8);
        return;
    }
    for (int32_t i = 0; i < n; ++i)
        if ((chosen >> (8 * i)) & 1) to[i] = static_cast<uint8_t>(value >> (8 * i));
}

// The first n of eight lanes, as a mask of sign bits.
__attribute__((target("avx2"))) inline __m256i FirstLanes(int32_t n) {
    return _mm256_cmpgt_epi32(_mm256_set1_epi32(n), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
}

// Unsigned a <= b in each 32-bit lane.
__attribute__((target("avx2"))) inline __m256i AtMost(__m256i a, __m256i b) {
    return _mm256_cmpeq_epi32(_mm256_min_epu32(a, b), a);
}
} // namespace

// Eight rows at a time, as LookUpAvx512.
__attribute__((target("avx2"))) void LookUpAvx2(const uint8_t (*quotientOf)[256],
                                                const int32_t* sample, int32_t first, int32_t last,
                                                const uint8_t* heights, uint8_t* outColumn) {
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i low = _mm256_set1_epi32(0xFF), limit = _mm256_set1_epi32(MapCells - 4);
    const __m256i zero = _mm256_setzero_si256();
    const auto* table = reinterpret_cast<const int*>(quotientOf);
    const auto* field = reinterpret_cast<const int*>(heights);
    for (int32_t y = first; y <= last; y += 8) {
        const int32_t n = std::min<int32_t>(8, last - y + 1);
        const __m256i lanes = FirstLanes(n);
        const __m256i index = _mm256_maskload_epi32(sample + y, lanes);
        // Unsigned, so the markers (negative) fail the test too.
        const __m256i gathered = _mm256_and_si256(lanes, AtMost(index, limit));
        const __m256i h = _mm256_and_si256(
            _mm256_mask_i32gather_epi32(zero, field, index, gathered, 1), low);
        const __m256i at = _mm256_add_epi32(
            _mm256_slli_epi32(_mm256_add_epi32(lane, _mm256_set1_epi32(y)), 8), h);
        const __m256i q = _mm256_mask_i32gather_epi32(zero, table, at, gathered, 1);
        StoreLowBytes(outColumn + y, n, q, gathered);
        for (uint32_t rest = static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(
                 _mm256_andnot_si256(gathered, lanes))));
             rest != 0; rest &= rest - 1) {
            const int32_t row = y + __builtin_ctz(rest);
            if (sample[row] >= 0) outColumn[row] = quotientOf[row][heights[sample[row]]];
        }
    }
}

// TurnColumnAvx512 eight rows at a time, on the same bound (see there): the fused multiply-add
// rounds once, as AVX-512's does.
__attribute__((target("avx2,fma"))) void TurnColumnAvx2(const TTurn& turn, int32_t x, TRows rows,
                                                        const uint8_t* heights,
                                                        uint8_t* outColumn) {
    const TCameraCache& k = *turn.Cache;
    const int32_t* rx = k.Rx + CellIndex(x, 0);
    const TFieldClip& fc = k.FieldClip;
    const __m256 cf = _mm256_set1_ps(turn.Cf), sf = _mm256_set1_ps(turn.Sf);
    const __m256 half = _mm256_set1_ps(0.5f), scale = _mm256_set1_ps(0x1p-23f);
    const __m256 sign = _mm256_set1_ps(-0.0f);
    const __m256i exact = _mm256_set1_epi32((1 << 24) - 1);
    const __m256 left = _mm256_set1_ps(static_cast<float>(fc.Left - 160)),
                 right = _mm256_set1_ps(static_cast<float>(fc.Right - 160));
    const __m256 top = _mm256_set1_ps(static_cast<float>(fc.Top - 120)),
                 bottom = _mm256_set1_ps(static_cast<float>(fc.Bottom - 120));
    const __m256 rowsOf = _mm256_set1_ps(Rows), base = _mm256_set1_ps(160 * Rows + 120);
    const __m256i lane = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i low = _mm256_set1_epi32(0xFF), limit = _mm256_set1_epi32(MapCells - 4);
    const __m256i zero = _mm256_setzero_si256();
    const auto* table = reinterpret_cast<const int*>(k.QuotientOf);
    const auto* field = reinterpret_cast<const int*>(heights);
    constexpr int Nearest = _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC;
    for (int32_t y = rows.First; y <= rows.Last; y += 8) {
        const int32_t n = std::min<int32_t>(8, rows.Last - y + 1);
        const __m256i lanes = FirstLanes(n);
        const __m256i r = _mm256_maskload_epi32(rx + y, lanes);
        const __m256 xf = _mm256_cvtepi32_ps(r);
        const __m256 a = _mm256_maskload_ps(turn.AcrossF + y, lanes);
        const __m256 b = _mm256_maskload_ps(turn.DownF + y, lanes);
        const __m256 t1 = _mm256_fmadd_ps(xf, cf, a), t2 = _mm256_fmadd_ps(xf, sf, b);
        const __m256 u = _mm256_round_ps(t1, Nearest), v = _mm256_round_ps(t2, Nearest);
        const __m256 e1 = _mm256_add_ps(
            _mm256_andnot_ps(sign, _mm256_sub_ps(t1, u)),
            _mm256_fmadd_ps(_mm256_andnot_ps(sign, t1), scale, _mm256_maskload_ps(turn.SlackA + y, lanes)));
        const __m256 e2 = _mm256_add_ps(
            _mm256_andnot_ps(sign, _mm256_sub_ps(t2, v)),
            _mm256_fmadd_ps(_mm256_andnot_ps(sign, t2), scale, _mm256_maskload_ps(turn.SlackB + y, lanes)));
        // The lanes past the column's rows hold zeros, which pass.
        const __m256 fast =
            _mm256_and_ps(_mm256_castsi256_ps(AtMost(_mm256_abs_epi32(r), exact)),
                          _mm256_and_ps(_mm256_cmp_ps(e1, half, _CMP_LT_OQ),
                                        _mm256_cmp_ps(e2, half, _CMP_LT_OQ)));
        if (_mm256_movemask_ps(fast) != 0xFF) {
            const int32_t end = y + n - 1;
            int32_t sample[Rows];
            turn.Column(&ColumnSamplesAvx2, x,
                        {static_cast<int16_t>(y), static_cast<int16_t>(end)}, sample);
            LookUpAvx2(k.QuotientOf, sample, y, end, heights, outColumn);
            continue;
        }
        const __m256 inside = _mm256_and_ps(
            _mm256_and_ps(_mm256_cmp_ps(u, left, _CMP_GE_OQ), _mm256_cmp_ps(u, right, _CMP_LE_OQ)),
            _mm256_and_ps(_mm256_cmp_ps(v, top, _CMP_GE_OQ), _mm256_cmp_ps(v, bottom, _CMP_LE_OQ)));
        const __m256i in = _mm256_and_si256(_mm256_castps_si256(inside), lanes);
        const __m256i index = _mm256_and_si256(
            in, _mm256_cvttps_epi32(_mm256_fmadd_ps(u, rowsOf, _mm256_add_ps(v, base))));
        const __m256i gathered = _mm256_and_si256(in, AtMost(index, limit));
        const __m256i h = _mm256_and_si256(
            _mm256_mask_i32gather_epi32(zero, field, index, gathered, 1), low);
        // The quotient as a product with the row's factor; rows with none take the table.
        const __m256 factor = _mm256_maskload_ps(k.QuotientFactor + y, lanes);
        __m256i q = _mm256_cvttps_epi32(
            _mm256_round_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(h), factor), Nearest));
        const __m256i byTable = _mm256_and_si256(
            gathered, _mm256_castps_si256(_mm256_cmp_ps(factor, factor, _CMP_UNORD_Q)));
        if (!_mm256_testz_si256(byTable, byTable)) {
            const __m256i at = _mm256_add_epi32(
                _mm256_slli_epi32(_mm256_add_epi32(lane, _mm256_set1_epi32(y)), 8), h);
            q = _mm256_mask_i32gather_epi32(q, table, at, byTable, 1);
        }
        StoreLowBytes(outColumn + y, n, q, gathered);
        // The field's last cells, where a 4-byte read would leave the field.
        for (uint32_t rest = static_cast<uint32_t>(
                 _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(gathered, in))));
             rest != 0; rest &= rest - 1) {
            const int i = __builtin_ctz(rest);
            alignas(32) int32_t at8[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(at8), index);
            outColumn[y + i] = k.QuotientOf[y + i][heights[at8[i]]];
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
#endif
