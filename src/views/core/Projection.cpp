// The voxel renderer's passes. The projection keeps what depends only on the camera (sample
// rows, sample columns, quotient tables, the reachable part of each column) until the camera
// changes, and per frame only turns the sample grid in double precision, falling back to the
// extended-precision formula where a half-way case could round differently.
#include "views/core/Projection.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

#include "toolkit/Exceptions.h"

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

#if defined(__x86_64__) && defined(__GNUC__)
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
#if defined(__x86_64__) && defined(__GNUC__)
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

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void TurnColumnsAvx2(const TTurn& turn, TProjHeightArray& out) {
    TurnColumns<true>(turn, out);
}
#endif

using TTurnColumns = void (*)(const TTurn&, TProjHeightArray&);

TTurnColumns PickTurnColumns() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init(); // runs before main
    if (__builtin_cpu_supports("avx2")) return &TurnColumnsAvx2;
#endif
    return &TurnColumnsPlain;
}

const TTurnColumns TurnColumnsBest = PickTurnColumns();

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
    TurnColumnsBest(turn, out);
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
