// The voxel renderer's passes. The projection keeps what depends only on the camera (sample
// rows, sample columns, quotient tables, the reachable part of each column) until the camera
// changes; the first frame at an angle turns the sample grid in double precision, falling back
// to the extended-precision formula where a half-way case could round differently, and keeps
// where each sample lands, so later frames at that angle are only look-ups.
#include "views/core/Projection.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "util/Platform.h"
#if VOXEL_X86
#include <immintrin.h>
#endif

#include "util/Exceptions.h"

namespace {

constexpr int32_t Columns = MapWidth;
constexpr int32_t Rows = MapHeight;
// Sample offsets up to this size keep every product with a single-precision factor exact in
// double precision, and every turned coordinate far below 2^51.
constexpr int64_t SmallOffset = int64_t{1} << 28;
// Markers of the per-column sample list.
constexpr int32_t Outside = -1;
constexpr int32_t HalfWay = -2;

// Rounding to nearest, ties to even, of the extended-precision value; false when the result
// does not fit 32 bits (such a sample lies outside the field).
bool RoundToInt32(long double v, int64_t& out) {
    const long double r = std::nearbyintl(v);
    if (!(r >= -2147483648.0L && r <= 2147483647.0L)) return false;
    out = static_cast<int64_t>(r);
    return true;
}

// Nearest-even rounding of a double below 2^51 in magnitude by the 1.5 * 2^52 shift.
inline double RoundDouble(double t) {
    constexpr double Shift = 6755399441055744.0;
    return (t + Shift) - Shift; // not folded: the compiler keeps IEEE semantics here
}

struct TSampleRow {
    float S2 = 0;      // depth scale of the row, single precision
    bool SyOk = false; // the sampled row fits 32 bits
    int64_t Sy = 0;
};

TSampleRow SampleRow(const TCamera& camera, int64_t y) {
    TSampleRow row;
    const int64_t num = int64_t{camera.CameraY} - y;
    const float s1 = static_cast<float>(static_cast<long double>(num) / camera.CameraZ);
    int64_t r = 0;
    row.SyOk = RoundToInt32((240 - y) * static_cast<long double>(s1), r);
    row.Sy = 240 - r - camera.HorizonOffset;
    row.S2 = static_cast<float>(static_cast<long double>(num) / (int64_t{camera.CameraY} - 240));
    return row;
}

// Sample column of screen column x in a row of scale s2; false when it does not fit 32 bits.
bool SampleColumn(const TCamera& camera, int64_t x, float s2, int64_t& sx) {
    int64_t r = 0;
    if (!RoundToInt32((x - camera.CameraX) * static_cast<long double>(s2), r)) return false;
    sx = r + camera.CameraX;
    return true;
}

// The scaled height of a sample, kept in 8 bits; raises where the scale is 0.
uint8_t Quotient(uint8_t h, float s2) {
    if (s2 == 0) {
        if (h == 0) throw EInvalidOp();
        throw EZeroDivide();
    }
    return static_cast<uint8_t>(static_cast<int64_t>(std::nearbyintl(h / static_cast<long double>(s2))));
}

struct TClip {
    int32_t Left, Top, Right, Bottom; // the clip rectangle within the field; may be empty
    bool Empty() const { return Left > Right || Top > Bottom; }
    bool Contains(int64_t mx, int64_t my) const {
        return mx >= Left && mx <= Right && my >= Top && my <= Bottom;
    }
};

TClip FieldClip(const TRect& clip) {
    return {std::max(clip.Left, 0), std::max(clip.Top, 0), std::min(clip.Right, Columns - 1),
            std::min(clip.Bottom, Rows - 1)};
}

// The entry of one position, turned in extended precision.
uint8_t ProjectOne(const THeightArray& field, const TClip& clip, int64_t rx, int64_t ry,
                   long double c, long double s, float s2) {
    int64_t u = 0, v = 0;
    if (!RoundToInt32(rx * c - ry * s, u) || !RoundToInt32(rx * s + ry * c, v)) return 0;
    const int64_t mx = u + 160, my = v + 120;
    if (!clip.Contains(mx, my)) return 0;
    return Quotient(field[CellIndex(static_cast<int32_t>(mx), static_cast<int32_t>(my))], s2);
}

// Every position from scratch: for cameras the cache does not cover, and for the errors.
void ProjectEveryPosition(const THeightArray& field, const TCamera& camera, long double c,
                          long double s, const TClip& clip, TProjHeightArray& out) {
    for (int64_t x = 0; x < Columns; ++x) {
        for (int64_t y = 0; y < Rows; ++y) {
            if (camera.CameraZ == 0) {
                if (int64_t{camera.CameraY} - y == 0) throw EInvalidOp();
                throw EZeroDivide();
            }
            if (int64_t{camera.CameraY} - 240 == 0) throw EZeroDivide();
            const TSampleRow row = SampleRow(camera, y);
            int64_t sx = 0;
            if (!SampleColumn(camera, x, row.S2, sx) || !row.SyOk) continue;
            out[CellIndex(static_cast<int32_t>(x), static_cast<int32_t>(y))] =
                ProjectOne(field, clip, sx - 160, row.Sy - 120, c, s, row.S2);
        }
    }
}

// What the projection keeps while the camera and the clip stay the same.
struct TProjectionCache {
    bool Built = false;
    TCamera Camera;
    TRect Clip;
    bool Usable = false; // every sample is small and every division defined
    TClip FieldClip{};
    float S2[Rows];
    double Ry[Rows];
    int32_t Rx[MapCells];                // x * 240 + y
    uint8_t QuotientOf[Rows][256];       // round(h / s2) of each row, kept in 8 bits
    int16_t First[Columns], Last[Columns]; // rows of each column that can sample the clip
};

TProjectionCache Cache;

// Where one position's sample lands, turned in extended precision: a field index, or Outside.
int32_t PlaceOne(const TClip& clip, int64_t rx, int64_t ry, long double c, long double s) {
    int64_t u = 0, v = 0;
    if (!RoundToInt32(rx * c - ry * s, u) || !RoundToInt32(rx * s + ry * c, v)) return Outside;
    const int64_t mx = u + 160, my = v + 120;
    if (!clip.Contains(mx, my)) return Outside;
    return CellIndex(static_cast<int32_t>(mx), static_cast<int32_t>(my));
}

// The turned sample grid of one angle, kept per column from its first to its last sample in
// the clip, so a frame at an angle seen before is only look-ups.
struct TAngleGrid {
    bool Built = false;
    float Cf = 0, Sf = 0;          // the table entries it was turned by
    const int32_t* Entries = nullptr; // field index or Outside, column after column
    size_t Size = 0;                  // entries in all columns
    uint32_t Offset[Columns];
    int16_t Lo[Columns], Count[Columns];
};

// One grid per table angle for the current camera and clip; emptied when those change.
std::vector<TAngleGrid> Grids;
// The grids' entries live in one store of this many bytes, made (and touched) once, so the
// program's memory does not move with the camera; an angle whose grid would not fit is turned
// every frame instead.
constexpr size_t GridBudget = size_t{56} << 20;
constexpr size_t GridCapacity = GridBudget / sizeof(int32_t);
std::unique_ptr<int32_t[]> GridStore;
size_t GridUsed = 0;                 // entries of the store in use, from its start
std::vector<int32_t> GridScratch;    // one angle's grid as it is built
bool GridSkipped[360] = {};

void ForgetGrids() {
    for (TAngleGrid& grid : Grids) {
        grid.Built = false;
        grid.Entries = nullptr;
        grid.Size = 0;
    }
    std::fill(std::begin(GridSkipped), std::end(GridSkipped), false);
    GridUsed = 0;
}

bool SameKey(const TCamera& a, const TRect& clipA, const TCamera& b, const TRect& clipB) {
    return a.CameraX == b.CameraX && a.CameraY == b.CameraY && a.CameraZ == b.CameraZ &&
           a.HorizonOffset == b.HorizonOffset && clipA.Left == clipB.Left &&
           clipA.Top == clipB.Top && clipA.Right == clipB.Right && clipA.Bottom == clipB.Bottom;
}

void BuildCache(const TCamera& camera, const TRect& clip) {
    TProjectionCache& k = Cache;
    k.Built = true;
    k.Camera = camera;
    k.Clip = clip;
    k.FieldClip = FieldClip(clip);
    k.Usable = false;
    ForgetGrids();
    if (camera.CameraZ == 0 || int64_t{camera.CameraY} - 240 == 0) return;
    for (int32_t y = 0; y < Rows; ++y) {
        const TSampleRow row = SampleRow(camera, y);
        if (!row.SyOk || row.S2 == 0 || std::abs(row.Sy - 120) >= SmallOffset) return;
        k.S2[y] = row.S2;
        k.Ry[y] = static_cast<double>(row.Sy - 120);
        for (int32_t h = 0; h < 256; ++h)
            k.QuotientOf[y][h] = Quotient(static_cast<uint8_t>(h), row.S2);
        for (int32_t x = 0; x < Columns; ++x) {
            int64_t sx = 0;
            if (!SampleColumn(camera, x, row.S2, sx) || std::abs(sx - 160) >= SmallOffset) return;
            k.Rx[CellIndex(x, y)] = static_cast<int32_t>(sx - 160);
        }
    }
    // A turned sample keeps its distance from the centre (c² + s² is 1 within single
    // precision) and rounding moves it by under 0.71, so a sample farther than the clip's
    // farthest corner plus 1 never lands in the clip at any angle.
    const TClip& fc = k.FieldClip;
    int64_t reach2 = -1;
    if (!fc.Empty()) {
        int64_t far2 = 0;
        for (int64_t px : {fc.Left, fc.Right})
            for (int64_t py : {fc.Top, fc.Bottom})
                far2 = std::max(far2, (px - 160) * (px - 160) + (py - 120) * (py - 120));
        const int64_t far = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(far2))));
        reach2 = (far + 2) * (far + 2);
    }
    for (int32_t x = 0; x < Columns; ++x) {
        int32_t first = Rows, last = -1;
        for (int32_t y = 0; y < Rows; ++y) {
            const int64_t rx = k.Rx[CellIndex(x, y)];
            const int64_t ry = static_cast<int64_t>(k.Ry[y]);
            if (rx * rx + ry * ry <= reach2) {
                first = std::min(first, y);
                last = y;
            }
        }
        k.First[x] = static_cast<int16_t>(first);
        k.Last[x] = static_cast<int16_t>(last);
    }
    k.Usable = true;
}


// Where the samples of rows first ... last of a column land: a field index, or Outside, or
// HalfWay where the double result is a tie and only the extended formula can decide.
// rx * c and the row term are exact, so each t is the exact value rounded once; its nearest
// integer matches the extended-precision one unless t itself is a half-way case.
void ColumnSamplesPlain(const int32_t* rx, const double* across, const double* down, double c,
                        double s, const TClip& fc, int32_t first, int32_t last, int32_t* sample) {
    const uint32_t clipWidth = static_cast<uint32_t>(fc.Right - fc.Left);
    const uint32_t clipHeight = static_cast<uint32_t>(fc.Bottom - fc.Top);
    for (int32_t y = first; y <= last; ++y) {
        const double t1 = rx[y] * c + across[y];
        const double t2 = rx[y] * s + down[y];
        const double r1 = RoundDouble(t1), r2 = RoundDouble(t2);
        const bool halfWay = (std::abs(t1 - r1) == 0.5) | (std::abs(t2 - r2) == 0.5);
        const int32_t mx = static_cast<int32_t>(r1) + 160;
        const int32_t my = static_cast<int32_t>(r2) + 120;
        const bool inside = (static_cast<uint32_t>(mx - fc.Left) <= clipWidth) &
                            (static_cast<uint32_t>(my - fc.Top) <= clipHeight);
        sample[y] = halfWay ? HalfWay : inside ? mx * Rows + my : Outside;
    }
}

#if VOXEL_X86
// The same four rows at a time on AVX2; the rounding instruction rounds to nearest even.
__attribute__((target("avx2"))) void ColumnSamplesAvx2(const int32_t* rx, const double* across,
                                                       const double* down, double c, double s,
                                                       const TClip& fc, int32_t first,
                                                       int32_t last, int32_t* sample) {
    const __m256d vc = _mm256_set1_pd(c), vs = _mm256_set1_pd(s);
    const __m256d half = _mm256_set1_pd(0.5), magnitude = _mm256_set1_pd(-0.0);
    const __m128i left = _mm_set1_epi32(fc.Left - 160), top = _mm_set1_epi32(fc.Top - 120);
    const __m128i width = _mm_set1_epi32(fc.Right - fc.Left);
    const __m128i height = _mm_set1_epi32(fc.Bottom - fc.Top);
    const __m128i rows = _mm_set1_epi32(Rows), base = _mm_set1_epi32(160 * Rows + 120);
    const __m128i outside = _mm_set1_epi32(Outside);
    int32_t y = first;
    for (; y + 3 <= last; y += 4) {
        const __m256d x4 = _mm256_cvtepi32_pd(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rx + y)));
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
        if (const int ties = _mm256_movemask_pd(tie); ties != 0) // rare
            for (int lane = 0; lane < 4; ++lane)
                if (ties & (1 << lane)) sample[y + lane] = HalfWay;
    }
    ColumnSamplesPlain(rx, across, down, c, s, fc, y, last, sample);
}
#endif

// One frame's turn of the cached sample grid.
struct TTurn {
    const THeightArray* Field;
    const TProjectionCache* Cache;
    float Cf, Sf;        // the table entries
    bool Rotation;       // c² + s² is 1: the reach of each column holds
    double Across[Rows]; // -ry * s per row: exact
    double Down[Rows];   // ry * c per row: exact
};

// All columns: first the arithmetic over a column, then its look-ups. Kept in one function
// per instruction set so the wide code is entered once per frame.
template <bool Wide>
[[gnu::always_inline]] inline void TurnColumns(const TTurn& turn, TProjHeightArray& out) {
    const TProjectionCache& k = *turn.Cache;
    const TClip& fc = k.FieldClip;
    const THeightArray& field = *turn.Field;
    for (int32_t x = 0; x < Columns; ++x) {
        const int32_t first = turn.Rotation ? k.First[x] : 0;
        const int32_t last = turn.Rotation ? k.Last[x] : Rows - 1;
        const int32_t* rxColumn = k.Rx + CellIndex(x, 0);
        uint8_t* outColumn = out.data() + CellIndex(x, 0);
        int32_t sample[Rows];
#if VOXEL_X86
        if constexpr (Wide)
            ColumnSamplesAvx2(rxColumn, turn.Across, turn.Down, turn.Cf, turn.Sf, fc, first, last,
                              sample);
        else
#endif
            ColumnSamplesPlain(rxColumn, turn.Across, turn.Down, turn.Cf, turn.Sf, fc, first,
                               last, sample);
        for (int32_t y = first; y <= last; ++y) {
            if (sample[y] >= 0) outColumn[y] = k.QuotientOf[y][field[sample[y]]];
            else if (sample[y] == HalfWay)
                outColumn[y] = ProjectOne(field, fc, rxColumn[y], static_cast<int64_t>(k.Ry[y]),
                                          turn.Cf, turn.Sf, k.S2[y]);
        }
    }
}

void TurnColumnsPlain(const TTurn& turn, TProjHeightArray& out) { TurnColumns<false>(turn, out); }

#if VOXEL_X86
__attribute__((target("avx2"))) void TurnColumnsAvx2(const TTurn& turn, TProjHeightArray& out) {
    TurnColumns<true>(turn, out);
}
#endif

// The AVX2 variant where the processor has it, else the plain one; chosen once, before main.
template <class F> F PickAvx2(F plain, [[maybe_unused]] F avx2) {
#if VOXEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return avx2;
#endif
    return plain;
}

#if VOXEL_X86
const auto TurnColumnsBest = PickAvx2(&TurnColumnsPlain, &TurnColumnsAvx2);
#else
const auto TurnColumnsBest = &TurnColumnsPlain;
#endif

// Turns the cached sample grid for one angle into its compact per-column form.
template <bool Wide>
[[gnu::always_inline]] inline void BuildGrid(const TTurn& turn, TAngleGrid& grid) {
    const TProjectionCache& k = *turn.Cache;
    const TClip& fc = k.FieldClip;
    std::vector<int32_t>& entries = GridScratch;
    entries.clear();
    for (int32_t x = 0; x < Columns; ++x) {
        const int32_t first = turn.Rotation ? k.First[x] : 0;
        const int32_t last = turn.Rotation ? k.Last[x] : Rows - 1;
        const int32_t* rxColumn = k.Rx + CellIndex(x, 0);
        int32_t sample[Rows];
#if VOXEL_X86
        if constexpr (Wide)
            ColumnSamplesAvx2(rxColumn, turn.Across, turn.Down, turn.Cf, turn.Sf, fc, first, last,
                              sample);
        else
#endif
            ColumnSamplesPlain(rxColumn, turn.Across, turn.Down, turn.Cf, turn.Sf, fc, first,
                               last, sample);
        int32_t lo = Rows, hi = -1;
        for (int32_t y = first; y <= last; ++y) {
            if (sample[y] == HalfWay)
                sample[y] = PlaceOne(fc, rxColumn[y], static_cast<int64_t>(k.Ry[y]), turn.Cf,
                                     turn.Sf);
            if (sample[y] >= 0) {
                lo = std::min(lo, y);
                hi = y;
            }
        }
        grid.Offset[x] = static_cast<uint32_t>(entries.size());
        grid.Lo[x] = static_cast<int16_t>(lo);
        grid.Count[x] = static_cast<int16_t>(hi >= lo ? hi - lo + 1 : 0);
        if (hi >= lo) entries.insert(entries.end(), sample + lo, sample + hi + 1);
    }
    grid.Entries = entries.data();
    grid.Size = entries.size();
    grid.Cf = turn.Cf;
    grid.Sf = turn.Sf;
    grid.Built = true;
}

void BuildGridPlain(const TTurn& turn, TAngleGrid& grid) { BuildGrid<false>(turn, grid); }

#if VOXEL_X86
__attribute__((target("avx2"))) void BuildGridAvx2(const TTurn& turn, TAngleGrid& grid) {
    BuildGrid<true>(turn, grid);
}
#endif

#if VOXEL_X86
const auto BuildGridBest = PickAvx2(&BuildGridPlain, &BuildGridAvx2);
#else
const auto BuildGridBest = &BuildGridPlain;
#endif

// The frame from a built grid: each sample's height through its row's quotient table.
void GatherGrid(const TAngleGrid& grid, const TProjectionCache& k, const THeightArray& field,
                TProjHeightArray& out) {
    const uint8_t* heights = field.data();
    for (int32_t x = 0; x < Columns; ++x) {
        const int32_t lo = grid.Lo[x], count = grid.Count[x];
        const int32_t* entries = grid.Entries + grid.Offset[x];
        uint8_t* outColumn = out.data() + CellIndex(x, lo);
        const uint8_t(*quotient)[256] = k.QuotientOf + lo;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t e = entries[i];
            if (e >= 0) outColumn[i] = quotient[i][heights[e]];
        }
    }
}

// ---- Bars on a blank surface ----
//
// When the clip holds only 0 and every bar colour is non-zero, a pixel is occupied exactly when
// a nearer bar of its column drew it, and the nearer bars of a column cover every row from the
// highest top among them (the "sky") down to the current row. A bar therefore draws rows
// max(its top, clip top) ... min(its bottom, sky - 1), with no pixel to look at; the rows from
// its bottom down to the sky stay empty. So a drawing bar fills the segment [from, sky) of its
// column with its colours followed by zeros, and the segments of a column's drawing bars
// partition the rows from the last one's top down to the clip's bottom.
//
// Columns are built eight at a time in a small column-major strip, copying each segment in
// fixed runs of 16 rows from a descending colour sequence (no loop whose length the branch
// predictor has to guess per bar), and the strip is then turned into the surface's rows.

constexpr int32_t StripColumns = 8;
constexpr int32_t Run = 16;                 // rows copied at once
constexpr int32_t StripPad = Run;           // rows before row 0 that a run may spill into
constexpr int32_t StripRows = StripPad + Rows;
// Colours of one parity from the top value down to 1 or 2, then zeros for a whole column.
constexpr int32_t SequencePad = Run;
constexpr int32_t SequenceLength = SequencePad + 128 + Rows + Run;

struct TBlankBars {
    const uint8_t* Proj;
    uint8_t* Bits;
    int64_t Pitch, BytesPerPixel;
    const uint16_t* Sequence[2]; // [v & 1]: colours of 254, 252 ... 2 and of 255, 253 ... 1
    int32_t Left, Right, Top, Bottom;
};

// Fills rows [from, end) of a strip column with the colours of the bar of entry v whose top is
// barTop, starting at row from. Runs spill only above from, into rows not final yet.
inline void WriteSegment(const TBlankBars& b, uint16_t* column, int32_t v, int32_t barTop,
                         int32_t from, int32_t end) {
    const int32_t value = v - 2 * (from - barTop);
    const uint16_t* sequence = b.Sequence[v & 1] + SequencePad + ((v & 1 ? 255 : 254) - value) / 2;
    for (int32_t e = end; e > from; e -= Run)
        std::memcpy(column + e - Run, sequence + (e - Run - from), Run * 2);
}

// Clears rows [top, end) of a strip column (spilling only above top).
inline void ClearAbove(uint16_t* column, int32_t top, int32_t end) {
    for (int32_t e = end; e > top; e -= Run) std::memset(column + e - Run, 0, Run * 2);
}

// One column into its strip column (row 0 at column[0]); the scan from the nearest row up.
void BlankColumnPlain(const TBlankBars& b, int32_t x, uint16_t* column) {
    const uint8_t* entries = b.Proj + CellIndex(x, 0);
    int32_t sky = b.Bottom + 1;
    for (int32_t block = Rows - 8; block >= 0; block -= 8) {
        uint64_t eight;
        std::memcpy(&eight, entries + block, 8);
        if (eight == 0) continue;
        for (int32_t y = block + 7; y >= block; --y) {
            const int32_t v = entries[y];
            const int32_t barTop = y - v / 2;
            if (v == 0 || barTop >= sky) continue;
            const int32_t from = std::max(barTop, b.Top);
            if (from > std::min(barTop + (v + 1) / 2 - 1, sky - 1)) continue;
            WriteSegment(b, column, v, barTop, from, sky);
            sky = from;
        }
    }
    ClearAbove(column, b.Top, sky);
}

#if VOXEL_X86
// 32 rows at a time: the tops and their running minimum from the bottom up (the sky of each
// row) for all blocks of the column first, so the blocks' scans overlap; then which entries
// draw, and only those are visited one by one.
__attribute__((target("avx512f,avx512bw,avx512vl"))) void
BlankColumnAvx512(const TBlankBars& b, int32_t x, uint16_t* column) {
    constexpr int32_t Blocks = (Rows + 31) / 32;
    alignas(64) static constexpr int16_t Lanes[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
                                                      11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                                      22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
    const __m512i lane = _mm512_load_si512(Lanes);
    const __m512i none = _mm512_set1_epi16(0x7FFF); // the top of an empty entry
    const __m512i top = _mm512_set1_epi16(static_cast<int16_t>(b.Top));
    const __m512i one = _mm512_set1_epi16(1);
    const uint8_t* entries = b.Proj + CellIndex(x, 0);

    __m512i v[Blocks], barTop[Blocks], least[Blocks];
#pragma GCC unroll 8
    for (int32_t k = 0; k < Blocks; ++k) {
        const int32_t y0 = k * 32;
        const __mmask32 valid = Rows - y0 >= 32 ? 0xFFFFFFFFu : (1u << (Rows - y0)) - 1u;
        v[k] = _mm512_cvtepu8_epi16(_mm256_maskz_loadu_epi8(valid, entries + y0));
        const __mmask32 empty = _mm512_cmpeq_epi16_mask(v[k], _mm512_setzero_si512());
        const __m512i rows = _mm512_add_epi16(lane, _mm512_set1_epi16(static_cast<int16_t>(y0)));
        barTop[k] = _mm512_mask_mov_epi16(_mm512_sub_epi16(rows, _mm512_srli_epi16(v[k], 1)),
                                          empty, none);
        least[k] = barTop[k]; // the least top of this row and the rows below it in the block
#pragma GCC unroll 5
        for (int16_t step = 1; step < 32; step *= 2)
            least[k] = _mm512_min_epi16(
                least[k], _mm512_permutex2var_epi16(
                              least[k], _mm512_add_epi16(lane, _mm512_set1_epi16(step)), none));
    }

    int32_t carry = b.Bottom + 1; // the sky below the block
    int32_t lowest = b.Bottom + 1;
    for (int32_t k = Blocks - 1; k >= 0; --k) {
        const __m512i sky = _mm512_min_epi16(
            _mm512_permutex2var_epi16(least[k], _mm512_add_epi16(lane, one), none),
            _mm512_set1_epi16(static_cast<int16_t>(carry)));
        alignas(64) int16_t leastOf[32];
        _mm512_store_si512(leastOf, least[k]);
        carry = std::min<int32_t>(carry, leastOf[0]);
        const __m512i barBottom = _mm512_sub_epi16(
            _mm512_add_epi16(barTop[k], _mm512_srli_epi16(_mm512_add_epi16(v[k], one), 1)), one);
        __mmask32 draws = _mm512_cmplt_epi16_mask(barTop[k], sky) &
                          _mm512_cmplt_epi16_mask(top, sky) &
                          _mm512_cmpge_epi16_mask(barBottom, top);
        if (draws == 0) continue;
        alignas(64) int16_t tops[32], skies[32];
        _mm512_store_si512(tops, barTop[k]);
        _mm512_store_si512(skies, sky);
        // Nearest first, so each segment's spill lands on rows a farther segment rewrites.
        for (; draws != 0; draws &= ~(1u << (31 - __builtin_clz(draws)))) {
            const int i = 31 - __builtin_clz(draws);
            const int32_t from = std::max<int32_t>(tops[i], b.Top);
            WriteSegment(b, column, entries[k * 32 + i], tops[i], from, skies[i]);
            lowest = std::min(lowest, from);
        }
    }
    ClearAbove(column, b.Top, lowest);
}
#endif

using TBlankColumn = void (*)(const TBlankBars&, int32_t, uint16_t*);

// Rows top ... bottom of a strip of n columns into the surface at column x0.
void StripToSurface(const TBlankBars& b, const uint16_t (*strip)[StripRows], int32_t n,
                    int32_t x0) {
    int32_t y = b.Top;
#if VOXEL_X86 && defined(__SSE2__)
    if (n == StripColumns && b.BytesPerPixel == 2) {
        for (; y + 7 <= b.Bottom; y += 8) {
            __m128i c[8];
            for (int i = 0; i < 8; ++i)
                c[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(strip[i] + StripPad + y));
            const __m128i a0 = _mm_unpacklo_epi16(c[0], c[1]), a1 = _mm_unpackhi_epi16(c[0], c[1]);
            const __m128i a2 = _mm_unpacklo_epi16(c[2], c[3]), a3 = _mm_unpackhi_epi16(c[2], c[3]);
            const __m128i a4 = _mm_unpacklo_epi16(c[4], c[5]), a5 = _mm_unpackhi_epi16(c[4], c[5]);
            const __m128i a6 = _mm_unpacklo_epi16(c[6], c[7]), a7 = _mm_unpackhi_epi16(c[6], c[7]);
            const __m128i q0 = _mm_unpacklo_epi32(a0, a2), q1 = _mm_unpackhi_epi32(a0, a2);
            const __m128i q2 = _mm_unpacklo_epi32(a1, a3), q3 = _mm_unpackhi_epi32(a1, a3);
            const __m128i q4 = _mm_unpacklo_epi32(a4, a6), q5 = _mm_unpackhi_epi32(a4, a6);
            const __m128i q6 = _mm_unpacklo_epi32(a5, a7), q7 = _mm_unpackhi_epi32(a5, a7);
            const __m128i row[8] = {_mm_unpacklo_epi64(q0, q4), _mm_unpackhi_epi64(q0, q4),
                                    _mm_unpacklo_epi64(q1, q5), _mm_unpackhi_epi64(q1, q5),
                                    _mm_unpacklo_epi64(q2, q6), _mm_unpackhi_epi64(q2, q6),
                                    _mm_unpacklo_epi64(q3, q7), _mm_unpackhi_epi64(q3, q7)};
            for (int r = 0; r < 8; ++r)
                _mm_storeu_si128(
                    reinterpret_cast<__m128i*>(b.Bits + (y + r) * b.Pitch + x0 * 2), row[r]);
        }
    }
#endif
    for (; y <= b.Bottom; ++y)
        for (int32_t i = 0; i < n; ++i)
            std::memcpy(b.Bits + (x0 + i) * b.BytesPerPixel + y * b.Pitch,
                        &strip[i][StripPad + y], 2);
}

void BlankBars(const TBlankBars& b, TBlankColumn drawColumn) {
    alignas(32) uint16_t strip[StripColumns][StripRows];
    for (int32_t x0 = b.Left; x0 <= b.Right; x0 += StripColumns) {
        const int32_t n = std::min(StripColumns, b.Right - x0 + 1);
        for (int32_t i = 0; i < n; ++i) drawColumn(b, x0 + i, strip[i] + StripPad);
        StripToSurface(b, strip, n, x0);
    }
}

bool WideInstructions = true;

TBlankColumn PickBlankColumn() {
#if VOXEL_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vl"))
        return &BlankColumnAvx512;
#endif
    return &BlankColumnPlain;
}

const TBlankColumn BlankColumnBest = PickBlankColumn();

// Whether every pixel of the rectangle holds 0.
bool BlankArea(const TLockedSurface& surface, int32_t left, int32_t right, int32_t top,
               int32_t bottom) {
    const int64_t bytesPerPixel = surface.Pitch / Columns;
    for (int32_t y = top; y <= bottom; ++y) {
        const uint8_t* row = surface.Bits + y * int64_t{surface.Pitch};
        uint64_t any = 0;
        if (bytesPerPixel == 2) {
            const uint8_t* p = row + 2 * left;
            const int64_t bytes = 2 * int64_t{right - left + 1};
            int64_t i = 0;
#if VOXEL_X86 && defined(__SSE2__)
            __m128i wide = _mm_setzero_si128();
            for (; i + 64 <= bytes; i += 64)
                wide = _mm_or_si128(
                    wide, _mm_or_si128(
                              _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16))),
                              _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 32)),
                                           _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 48)))));
            any = _mm_movemask_epi8(_mm_cmpeq_epi8(wide, _mm_setzero_si128())) != 0xFFFF;
#endif
            for (; i + 8 <= bytes; i += 8) {
                uint64_t eight;
                std::memcpy(&eight, p + i, 8);
                any |= eight;
            }
            for (; i < bytes; ++i) any |= p[i];
        } else {
            for (int32_t x = left; x <= right; ++x) {
                uint16_t pixel;
                std::memcpy(&pixel, row + x * bytesPerPixel, 2);
                any |= pixel;
            }
        }
        if (any != 0) return false;
    }
    return true;
}


} // namespace

void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out) {
    out.fill(0);
    const int32_t angle = camera.CamRot % 360; // an angle outside the tables is taken mod 360
    const float cf = cosTable[angle], sf = sinTable[angle];
    if (!Cache.Built || !SameKey(Cache.Camera, Cache.Clip, camera, clip)) BuildCache(camera, clip);
    const TProjectionCache& k = Cache;
    const bool smallTurn = std::abs(cf) <= 2.0f && std::abs(sf) <= 2.0f; // false for NaN too
    if (!k.Usable || !smallTurn) {
        ProjectEveryPosition(field, camera, cf, sf, k.FieldClip, out);
        return;
    }
    if (k.FieldClip.Empty()) return;
    TTurn turn;
    turn.Field = &field;
    turn.Cache = &k;
    turn.Cf = cf;
    turn.Sf = sf;
    turn.Rotation = static_cast<double>(cf) * cf + static_cast<double>(sf) * sf >= 1 - 1e-5;
    for (int32_t y = 0; y < Rows; ++y) {
        turn.Across[y] = -k.Ry[y] * static_cast<double>(sf);
        turn.Down[y] = k.Ry[y] * static_cast<double>(cf);
    }
    if (!WideInstructions) {
        TurnColumnsPlain(turn, out);
        return;
    }
    if (Grids.size() != 360) Grids.resize(360);
    TAngleGrid& grid = Grids[static_cast<size_t>(angle)];
    const bool sameTurn = std::bit_cast<uint32_t>(grid.Cf) == std::bit_cast<uint32_t>(cf) &&
                          std::bit_cast<uint32_t>(grid.Sf) == std::bit_cast<uint32_t>(sf);
    if (grid.Built && sameTurn) {
        GatherGrid(grid, k, field, out);
        return;
    }
    if (GridSkipped[angle] && sameTurn) {
        TurnColumnsBest(turn, out);
        return;
    }
    // First frame at this angle (or with other table entries): build, then keep if it fits.
    // (A grid rebuilt for other table entries leaves its old place unused until the camera
    // changes; tables never change while the program runs.)
    if (!GridStore) GridStore.reset(new int32_t[GridCapacity]()); // zeroed: resident at once
    if (GridScratch.capacity() < static_cast<size_t>(MapCells)) GridScratch.reserve(MapCells);
    GridSkipped[angle] = false;
    BuildGridBest(turn, grid);
    GatherGrid(grid, k, field, out);
    if (GridUsed + grid.Size <= GridCapacity) {
        int32_t* kept = GridStore.get() + GridUsed;
        std::copy_n(GridScratch.data(), grid.Size, kept);
        grid.Entries = kept;
        GridUsed += grid.Size;
    } else {
        grid.Built = false;
        grid.Entries = nullptr;
        grid.Size = 0;
        GridSkipped[angle] = true;
    }
}

void UseWideInstructions(bool enabled) {
    WideInstructions = enabled;
}

void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip) {
    if (surface.Bits == nullptr) return;
    // The clip within the surface: no pixel outside it is read or written.
    const int32_t left = std::max(clip.Left, 0);
    const int32_t right = std::min({clip.Right, Columns - 1, surface.Width - 1});
    const int32_t top = std::max(clip.Top, 0);
    const int32_t bottom = std::min({clip.Bottom, Rows - 1, surface.Height - 1});
    if (left > right || top > bottom) return;

    uint16_t colour[256];
    bool allVisible = true; // every bar colour non-zero, so whatever a bar draws stays drawn
    for (int32_t v = 0; v < 256; ++v) {
        colour[v] = v > 32 ? mapPixel[v] : static_cast<uint16_t>(shadePixel[v] & 0xFFFF);
        allVisible = allVisible && (v == 0 || colour[v] != 0);
    }
    const int64_t pitch = surface.Pitch;
    const int64_t bytesPerPixel = pitch / Columns;
    if (allVisible && BlankArea(surface, left, right, top, bottom)) {
        alignas(32) uint16_t even[SequenceLength] = {}, odd[SequenceLength] = {};
        for (int32_t j = 0; j < 127; ++j) even[SequencePad + j] = colour[254 - 2 * j];
        for (int32_t j = 0; j < 128; ++j) odd[SequencePad + j] = colour[255 - 2 * j];
        const TBlankBars blank{proj.data(), surface.Bits, pitch, bytesPerPixel, {even, odd},
                               left,        right,        top,   bottom};
        BlankBars(blank, WideInstructions ? BlankColumnBest : &BlankColumnPlain);
        return;
    }
    for (int32_t x = left; x <= right; ++x) {
        const uint8_t* column = proj.data() + CellIndex(x, 0);
        uint8_t* pixels = surface.Bits + x * bytesPerPixel;
        // Rows skyline ... min(y, bottom) hold pixels this pass drew (so non-zero): a bar
        // starting there stops at once without a look, and one starting above it can only
        // meet its own rows' old pixels before the skyline. Only an old non-zero pixel met on
        // the way breaks that picture; the column then goes on pixel by pixel.
        int32_t skyline = allVisible ? bottom + 1 : top;
        bool tracked = allVisible;
        for (int32_t block = Rows - 8; block >= 0; block -= 8) {
            uint64_t eight;
            std::memcpy(&eight, column + block, 8);
            if (eight == 0) continue; // most of a column is empty
            for (int32_t y = block + 7; y >= block; --y) {
                const int32_t v = column[y];
                if (v == 0) continue;
                // The bar runs down one row per step from y - v div 2, its value falling by 2,
                // over (v + 1) div 2 rows; only the rows inside the clip are looked at.
                const int32_t barTop = y - v / 2;
                const int32_t barBottom = barTop + (v + 1) / 2 - 1;
                const int32_t from = std::max(barTop, top);
                int32_t to = std::min(barBottom, bottom);
                if (tracked) {
                    if (from >= skyline) continue;
                    to = std::min(to, skyline - 1);
                }
                if (from > to) continue;
                int32_t value = v - 2 * (from - barTop);
                uint8_t* p = pixels + from * pitch;
                int32_t py = from;
                for (; py <= to; ++py, value -= 2, p += pitch) {
                    uint16_t old;
                    std::memcpy(&old, p, 2);
                    if (old != 0) break; // a nearer bar, or what the surface held
                    std::memcpy(p, &colour[value], 2);
                }
                if (tracked) {
                    if (py <= to) tracked = false;
                    else skyline = from;
                }
            }
        }
    }
}
