// Plain transcriptions of the brush and the renderer passes, written for clarity, not speed.
#include "support/ref/Reference.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "util/Exceptions.h"

namespace Ref {

void MakeSqrtTable(TSqrtTable& table) {
    for (int32_t k = 0; k < 65536; ++k)
        table[k] = static_cast<uint8_t>(static_cast<int64_t>(std::nearbyintl(std::sqrt(static_cast<long double>(k)))));
}

void MakeRgb565Ramps(TMapPixelTable& mapPixel, TShadePixelTable& shadePixel) {
    const auto match = [](uint32_t r, uint32_t g, uint32_t b) {
        return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
    };
    for (uint32_t i = 0; i < 256; ++i) {
        mapPixel[i] = match(i, i, 0);
        // Upper bits set so a forgotten "low 16 bits" shows up.
        shadePixel[i] = 0xABCD0000u | match(i, i, (255 - i) / 3);
    }
}

TBrushProfile Profile(int brushMode) {
    switch (brushMode) {
    case 1: return {8, 8, 7, 7, 6, 5, 4, 3, 2, 2, 1, 1};
    case 2: return {6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1};
    default: return {8, 8, 8, 8, 8, 8, 8, 8, 8, 4, 2, 1};
    }
}

namespace {

int32_t Wrap32(uint32_t v) { return static_cast<int32_t>(v); }

int32_t Div(int32_t a, int32_t b) {
    if (b == 0) throw EDivByZero();
    return static_cast<int32_t>(static_cast<int64_t>(a) / b);
}

bool InSurface(const TLockedSurface& s, int32_t x, int32_t y) {
    return s.Bits != nullptr && x >= 0 && y >= 0 && x < s.Width && y < s.Height;
}

uint8_t* PixelAddress(const TLockedSurface& s, int32_t x, int32_t y) {
    return s.Bits + static_cast<int64_t>(x) * (s.Pitch / 320) + static_cast<int64_t>(y) * s.Pitch;
}

// round() of the renderer: nearest, ties to even; false when the result leaves int32.
bool Round(long double v, int64_t& out) {
    const long double r = std::nearbyintl(v);
    if (!(r >= -2147483648.0L && r <= 2147483647.0L)) return false;
    out = static_cast<int64_t>(r);
    return true;
}

} // namespace

void ApplyBrush(THeightArray& field, const TLockedSurface& surface, int32_t cx, int32_t cy,
                const TBrushParams& params, const TBrushProfile& profile,
                const TSqrtTable& sqrtTable, const TMapPixelTable& mapPixel) {
    const int32_t R = params.Radius;
    if (R < 0) return;
    const int32_t rows = std::clamp(params.Rows, 0, 240);
    const int32_t r2 = Wrap32(static_cast<uint32_t>(R) * static_cast<uint32_t>(R));
    for (int32_t x = 0; x <= 319; ++x) {
        for (int32_t y = 0; y <= rows - 1; ++y) {
            const uint32_t dx = static_cast<uint32_t>(x) - static_cast<uint32_t>(cx);
            const uint32_t dy = static_cast<uint32_t>(y) - static_cast<uint32_t>(cy);
            const int32_t d2 = Wrap32(dx * dx + dy * dy);
            const int32_t dist = (d2 >= 0 && d2 < 65536) ? sqrtTable[d2] : sqrtTable[65535];
            if (d2 > r2) continue;
            const int32_t band = std::min(Div(dist * 12, R), 11);
            const int32_t delta = Div(profile[band], params.Divisor);
            int64_t h = field[CellIndex(x, y)];
            if (params.Mode == bmRaise) {
                if (h + delta < 256 && h + delta >= 0) h = h + delta;
            } else if (params.Mode == bmLower) {
                if (delta <= h && h - delta <= 255) h = h - delta;
            }
            field[CellIndex(x, y)] = static_cast<uint8_t>(h);
            if (InSurface(surface, x, y)) {
                const uint16_t pixel = mapPixel[h];
                std::memcpy(PixelAddress(surface, x, y), &pixel, 2);
            }
        }
    }
}

void ProjectFields(const std::vector<const THeightArray*>& fields, const TCamera& camera,
                   const TTrigTable& sinTable, const TTrigTable& cosTable, const TRect& clip,
                   const std::vector<TProjHeightArray*>& outs) {
    for (TProjHeightArray* out : outs) out->fill(0);
    const int64_t cameraX = camera.CameraX, cameraY = camera.CameraY, cameraZ = camera.CameraZ;
    // What depends on the row alone, worked out once per row; the first row raises as the
    // first position would.
    struct TRow {
        bool SyOk;
        int64_t Sy;
        float S2;
    };
    TRow rows[240];
    for (int64_t y = 0; y <= 239; ++y) {
        if (cameraZ == 0) {
            if (cameraY - y == 0) throw EInvalidOp();
            throw EZeroDivide();
        }
        const float s1 = static_cast<float>(static_cast<long double>(cameraY - y) / cameraZ);
        int64_t r = 0; // unused when the rounding fails
        rows[y].SyOk = Round((240 - y) * static_cast<long double>(s1), r);
        rows[y].Sy = 240 - r - camera.HorizonOffset;
        if (cameraY - 240 == 0) throw EZeroDivide();
        rows[y].S2 = static_cast<float>(static_cast<long double>(cameraY - y) / (cameraY - 240));
    }
    for (int64_t x = 0; x <= 319; ++x) {
        for (int64_t y = 0; y <= 239; ++y) {
            const bool syOk = rows[y].SyOk;
            const int64_t sy = rows[y].Sy;
            const float s2 = rows[y].S2;
            int64_t r = 0;
            const bool sxOk = Round((x - cameraX) * static_cast<long double>(s2), r);
            const int64_t sx = r + cameraX;
            if (!syOk || !sxOk) continue;
            const int64_t rx = sx - 160, ry = sy - 120;
            const long double c = cosTable[camera.CamRot % 360];
            const long double s = sinTable[camera.CamRot % 360];
            int64_t u, v;
            if (!Round(rx * c - ry * s, u) || !Round(rx * s + ry * c, v)) continue;
            const int64_t mx = u + 160, my = v + 120;
            const bool inClip = mx >= clip.Left && mx <= clip.Right && my >= clip.Top &&
                                my <= clip.Bottom;
            const bool inField = mx >= 0 && mx <= 319 && my >= 0 && my <= 239;
            if (!inClip || !inField) continue;
            for (size_t f = 0; f < fields.size(); ++f) {
                const uint8_t h =
                    (*fields[f])[CellIndex(static_cast<int32_t>(mx), static_cast<int32_t>(my))];
                if (s2 == 0) {
                    if (h == 0) throw EInvalidOp();
                    throw EZeroDivide();
                }
                // Kept in 8 bits: the low byte of the rounded quotient.
                const int64_t q =
                    static_cast<int64_t>(std::nearbyintl(h / static_cast<long double>(s2)));
                (*outs[f])[CellIndex(static_cast<int32_t>(x), static_cast<int32_t>(y))] =
                    static_cast<uint8_t>(q);
            }
        }
    }
}

void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out) {
    ProjectFields({&field}, camera, sinTable, cosTable, clip, {&out});
}

void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip) {
    for (int32_t x = 0; x <= 319; ++x) {
        for (int32_t y = 239; y >= 0; --y) {
            int32_t v = proj[CellIndex(x, y)];
            while (v > 0) {
                const int32_t py = y - v / 2;
                if (PointInRect({x, py}, clip) && InSurface(surface, x, py)) {
                    uint8_t* p = PixelAddress(surface, x, py);
                    uint16_t old;
                    std::memcpy(&old, p, 2);
                    if (old != 0) break;
                    const uint16_t pixel =
                        v > 32 ? mapPixel[v] : static_cast<uint16_t>(shadePixel[v] & 0xFFFF);
                    std::memcpy(p, &pixel, 2);
                }
                v = v - 2;
            }
        }
    }
}

namespace {
uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}
} // namespace

THeightArray SmoothField(uint32_t seed) {
    // Value noise on a 16-cell lattice, interpolated bilinearly, plus a little per-cell noise.
    constexpr int32_t Step = 16;
    const auto corner = [seed](int32_t i, int32_t j) {
        return static_cast<int32_t>(Hash(seed * 7919u + static_cast<uint32_t>(i * 131 + j)) % 230);
    };
    THeightArray field{};
    for (int32_t x = 0; x < 320; ++x) {
        for (int32_t y = 0; y < 240; ++y) {
            const int32_t i = x / Step, j = y / Step, fx = x % Step, fy = y % Step;
            const int32_t top = corner(i, j) * (Step - fx) + corner(i + 1, j) * fx;
            const int32_t bottom = corner(i, j + 1) * (Step - fx) + corner(i + 1, j + 1) * fx;
            const int32_t smooth = (top * (Step - fy) + bottom * fy) / (Step * Step);
            const int32_t noise = static_cast<int32_t>(Hash(seed ^ static_cast<uint32_t>(x * 240 + y)) % 26);
            field[CellIndex(x, y)] = static_cast<uint8_t>(smooth + noise);
        }
    }
    return field;
}

THeightArray NoiseField(uint32_t seed) {
    THeightArray field{};
    for (int32_t i = 0; i < MapCells; ++i)
        field[i] = static_cast<uint8_t>(Hash(seed * 2654435761u + static_cast<uint32_t>(i)));
    return field;
}

TMemorySurface::TMemorySurface(int32_t pitch, int32_t width, int32_t height)
    : Bytes(static_cast<size_t>(pitch) * static_cast<size_t>(height), 0) {
    Lock.Bits = Bytes.data();
    Lock.Pitch = pitch;
    Lock.BitCount = 16;
    Lock.Width = width;
    Lock.Height = height;
}

uint16_t TMemorySurface::Pixel(int32_t x, int32_t y) const {
    uint16_t p;
    std::memcpy(&p, Bytes.data() + static_cast<size_t>(x) * static_cast<size_t>(Lock.Pitch / 320) +
                        static_cast<size_t>(y) * static_cast<size_t>(Lock.Pitch),
                2);
    return p;
}

} // namespace Ref
