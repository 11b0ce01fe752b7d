// The projection's camera cache and its turn. The first frame with a camera keeps what depends
// only on the camera; each frame then turns the sample grid in double precision, falling back to
// the extended-precision formula where a half-way case could round differently.
#include "views/core/Projection.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "util/Exceptions.h"

namespace {

constexpr int32_t Columns = MapWidth;
constexpr int32_t Rows = MapHeight;
// Sample offsets up to this size keep every product with a single-precision factor exact in
// double precision, and every turned coordinate far below 2^51.
constexpr int64_t SmallOffset = int64_t{1} << 28;

// Rounding to nearest, ties to even, of the extended-precision value; false when the result
// does not fit 32 bits (such a sample lies outside the field). rintl rounds as nearbyintl does
// in the rounding mode the program never changes, but is one instruction where nearbyintl saves
// and restores the floating-point environment around it: most of a camera cache's build.
bool RoundToInt32(long double v, int64_t& out) {
    const long double r = std::rintl(v);
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
    return static_cast<uint8_t>(
        static_cast<int64_t>(std::rintl(h / static_cast<long double>(s2))));
}

// A factor for QuotientFactor: 1 / s2 in single precision or one of its neighbours, proved on
// every height; NaN when none of them gives every quotient.
float QuotientFactorOf(const uint8_t* quotients, float s2) {
    const float nearest = 1.0f / s2;
    for (const float factor :
         {nearest, std::nextafter(nearest, 0.0f), std::nextafter(nearest, 2 * nearest)}) {
        bool every = true;
        for (int32_t h = 0; h < 256 && every; ++h) {
            const float product = static_cast<float>(h) * factor;
            // The kernel's conversion is of the 32-bit signed range: a larger product fails.
            every =
                std::fabs(product) < 0x1p30f &&
                static_cast<uint8_t>(static_cast<int32_t>(std::nearbyint(product))) == quotients[h];
        }
        if (every) return factor;
    }
    return std::numeric_limits<float>::quiet_NaN();
}

TFieldClip FieldClipOf(const TRect& clip) {
    return {std::max(clip.Left, 0), std::max(clip.Top, 0), std::min(clip.Right, Columns - 1),
            std::min(clip.Bottom, Rows - 1)};
}

// Where one position's sample lands, turned in extended precision: a field index, or
// SampleOutside.
int32_t PlaceOne(const TFieldClip& clip, int64_t rx, int64_t ry, long double c, long double s) {
    int64_t u = 0, v = 0;
    if (!RoundToInt32(rx * c - ry * s, u) || !RoundToInt32(rx * s + ry * c, v))
        return SampleOutside;
    const int64_t mx = u + 160, my = v + 120;
    if (!clip.Contains(mx, my)) return SampleOutside;
    return static_cast<int32_t>(CellIndex(static_cast<int32_t>(mx), static_cast<int32_t>(my)));
}

bool SameKey(const TCamera& a, const TRect& clipA, const TCamera& b, const TRect& clipB) {
    return a.CameraX == b.CameraX && a.CameraY == b.CameraY && a.CameraZ == b.CameraZ &&
           a.HorizonOffset == b.HorizonOffset && clipA.Left == clipB.Left &&
           clipA.Top == clipB.Top && clipA.Right == clipB.Right && clipA.Bottom == clipB.Bottom;
}

// Every row of every column: the rows a turn that is not a rotation looks at.
constexpr std::array<TRows, Columns> EveryRow = [] {
    std::array<TRows, Columns> all{};
    all.fill({0, Rows - 1});
    return all;
}();

// LookUpPlain that also returns the rows from the first to the last sample in the clip.
TRows LookUpAndFind(const TCameraCache& k, const int32_t* sample, TRows rows,
                    const THeightArray& field, uint8_t* outColumn) {
    int32_t first = Rows, last = -1;
    for (int32_t y = rows.First; y <= rows.Last; ++y) {
        if (sample[y] < 0) continue;
        outColumn[y] = k.QuotientOf[y][field[sample[y]]];
        first = std::min(first, y);
        last = y;
    }
    return {static_cast<int16_t>(first), static_cast<int16_t>(last)};
}

// Squared distance from the centre beyond which a sample never lands in the clip: a turned
// sample keeps its distance (c² + s² is 1 within single precision) and rounding moves it by
// under 0.71, so the clip's farthest corner plus 1 bounds it. -1 for an empty clip.
int64_t ReachSquared(const TFieldClip& fc) {
    if (fc.Empty()) return -1;
    int64_t far2 = 0;
    for (int64_t px : {fc.Left, fc.Right})
        for (int64_t py : {fc.Top, fc.Bottom})
            far2 = std::max(far2, (px - 160) * (px - 160) + (py - 120) * (py - 120));
    const int64_t far = static_cast<int64_t>(std::ceil(std::sqrt(static_cast<double>(far2))));
    return (far + 2) * (far + 2);
}

} // namespace

bool ColumnSamplesPlain(const int32_t* rx, const double* across, const double* down, double c,
                        double s, const TFieldClip& fc, int32_t first, int32_t last,
                        int32_t* sample) {
    // rx * c and the row term are exact, so each t is the exact value rounded once; its nearest
    // integer matches the extended-precision one unless t itself is a half-way case.
    const uint32_t clipWidth = static_cast<uint32_t>(fc.Right - fc.Left);
    const uint32_t clipHeight = static_cast<uint32_t>(fc.Bottom - fc.Top);
    bool ties = false;
    for (int32_t y = first; y <= last; ++y) {
        const double t1 = rx[y] * c + across[y];
        const double t2 = rx[y] * s + down[y];
        const double r1 = RoundDouble(t1), r2 = RoundDouble(t2);
        const bool halfWay = (std::abs(t1 - r1) == 0.5) | (std::abs(t2 - r2) == 0.5);
        const int32_t mx = static_cast<int32_t>(r1) + 160;
        const int32_t my = static_cast<int32_t>(r2) + 120;
        const bool inside = (static_cast<uint32_t>(mx - fc.Left) <= clipWidth) &
                            (static_cast<uint32_t>(my - fc.Top) <= clipHeight);
        sample[y] = halfWay ? SampleHalfWay : inside ? mx * Rows + my : SampleOutside;
        ties |= halfWay;
    }
    return ties;
}

bool TCameraCache::Update(const TCamera& camera, const TRect& clip) {
    if (Built && SameKey(Camera, Clip, camera, clip)) return false;
    Built = true;
    Camera = camera;
    Clip = clip;
    FieldClip = FieldClipOf(clip);
    Usable = false;
    if (camera.CameraZ == 0 || int64_t{camera.CameraY} - 240 == 0) return true;
    for (int32_t y = 0; y < Rows; ++y) {
        const TSampleRow row = SampleRow(camera, y);
        if (!row.SyOk || row.S2 == 0 || std::abs(row.Sy - 120) >= SmallOffset) return true;
        S2[y] = row.S2;
        Ry[y] = static_cast<double>(row.Sy - 120);
        for (int32_t h = 0; h < 256; ++h)
            QuotientOf[y][h] = Quotient(static_cast<uint8_t>(h), row.S2);
        for (int32_t x = 0; x < Columns; ++x) {
            int64_t sx = 0;
            if (!SampleColumn(camera, x, row.S2, sx) || std::abs(sx - 160) >= SmallOffset)
                return true;
            Rx[CellIndex(x, y)] = static_cast<int32_t>(sx - 160);
        }
    }
    for (int32_t y = 0; y < Rows; ++y)
        QuotientFactor[y] = QuotientFactorOf(QuotientOf[y], S2[y]);
    const int64_t reach2 = ReachSquared(FieldClip);
    for (int32_t x = 0; x < Columns; ++x) {
        int32_t first = Rows, last = -1;
        for (int32_t y = 0; y < Rows; ++y) {
            const int64_t rx = Rx[CellIndex(x, y)], ry = static_cast<int64_t>(Ry[y]);
            if (rx * rx + ry * ry <= reach2) {
                first = std::min(first, y);
                last = y;
            }
        }
        Reach[x] = {static_cast<int16_t>(first), static_cast<int16_t>(last)};
    }
    Usable = true;
    return true;
}

void TTurn::Set(const TCameraCache& cache, float cf, float sf) {
    Cache = &cache;
    Cf = cf;
    Sf = sf;
    const bool rotation = static_cast<double>(cf) * cf + static_cast<double>(sf) * sf >= 1 - 1e-5;
    Reach = rotation ? cache.Reach : EveryRow.data();
    for (int32_t y = 0; y < Rows; ++y) {
        Across[y] = -cache.Ry[y] * static_cast<double>(sf);
        Down[y] = cache.Ry[y] * static_cast<double>(cf);
        SetSingle(y);
    }
}

void TTurn::SetSingle(int32_t y) {
    AcrossF[y] = static_cast<float>(Across[y]);
    DownF[y] = static_cast<float>(Down[y]);
    SlackA[y] = (std::fabs(AcrossF[y]) + 1.0f) * 0x1p-23f;
    SlackB[y] = (std::fabs(DownF[y]) + 1.0f) * 0x1p-23f;
}

void TTurn::Column(TColumnSamples kernel, int32_t x, TRows rows, int32_t* sample) const {
    const TCameraCache& k = *Cache;
    const int32_t* rx = k.Rx + CellIndex(x, 0);
    if (!kernel(rx, Across, Down, Cf, Sf, k.FieldClip, rows.First, rows.Last, sample)) return;
    for (int32_t y = rows.First; y <= rows.Last; ++y) // rare
        if (sample[y] == SampleHalfWay)
            sample[y] = PlaceOne(k.FieldClip, rx[y], static_cast<int64_t>(k.Ry[y]), Cf, Sf);
}

void ProjectEveryPosition(const THeightArray& field, const TCamera& camera, long double c,
                          long double s, const TFieldClip& clip, TProjHeightArray& out) {
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
            const int32_t at = PlaceOne(clip, sx - 160, row.Sy - 120, c, s);
            if (at >= 0)
                out[CellIndex(static_cast<int32_t>(x), static_cast<int32_t>(y))] =
                    Quotient(field[at], row.S2);
        }
    }
}

void LookUpPlain(const uint8_t (*quotientOf)[256], const int32_t* sample, int32_t first,
                 int32_t last, const uint8_t* heights, uint8_t* outColumn) {
    for (int32_t y = first; y <= last; ++y)
        if (sample[y] >= 0) outColumn[y] = quotientOf[y][heights[sample[y]]];
}

void TurnColumns(const TTurn& turn, const TTurnKernels& kernels, const TRows* rows,
                 const THeightArray& field, TProjHeightArray& out, TRows* found) {
    const TCameraCache& k = *turn.Cache;
    if (rows == nullptr) rows = turn.Reach;
    for (int32_t x = 0; x < Columns; ++x) {
        const TRows r = rows[x];
        uint8_t* outColumn = out.data() + CellIndex(x, 0);
        if (found == nullptr && kernels.Column != nullptr) {
            kernels.Column(turn, x, r, field.data(), outColumn);
            continue;
        }
        int32_t sample[Rows];
        turn.Column(kernels.Samples, x, r, sample);
        if (found != nullptr)
            found[x] = LookUpAndFind(k, sample, r, field, outColumn);
        else
            kernels.LookUp(k.QuotientOf, sample, r.First, r.Last, field.data(), outColumn);
    }
}

int32_t HorizonOffsetFor(int32_t cameraZ, int32_t cameraY) {
    // Sums and products wrap in 32 bits; done unsigned so the wrap is defined.
    const auto product = static_cast<int32_t>(static_cast<uint32_t>(cameraZ) * 120u);
    const auto divisor = static_cast<int32_t>(static_cast<uint32_t>(cameraY) + 120u);
    return static_cast<int32_t>(120u - static_cast<uint32_t>(CheckedDiv(product, divisor)));
}
