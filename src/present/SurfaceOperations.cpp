// The drawing operations on surfaces (fill, lock, pixels, colour matching, canvas) and the
// packing of pixels of every depth in locked memory.
#include "present/DirectDraw.h"

#include <QGuiApplication>
#include <QPalette>

#include <cstddef>

namespace {

uint8_t* PixelRow(const TLockedSurface& s, int y) {
    return s.Bits + static_cast<std::ptrdiff_t>(y) * s.Pitch;
}

bool InSurface(const TLockedSurface& s, int x, int y) {
    return s.Bits != nullptr && x >= 0 && y >= 0 && x < s.Width && y < s.Height;
}

bool HasPlatformSurface(const TDirectDrawSurface* surface) {
    return surface != nullptr && surface->HasSurface();
}

} // namespace

void StorePixel(const TLockedSurface& s, int x, int y, uint32_t native) {
    if (!InSurface(s, x, y)) return;
    uint8_t* row = PixelRow(s, y);
    switch (s.BitCount) {
    case 1: {
        // Leftmost pixel in the most significant bit.
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
        uint8_t& byte = row[x >> 3];
        byte = static_cast<uint8_t>((native & 1u) ? (byte | mask) : (byte & ~mask));
        break;
    }
    case 4: {
        // Even x in the high nibble.
        uint8_t& byte = row[x >> 1];
        const uint8_t nibble = static_cast<uint8_t>(native & 0x0Fu);
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0u) | nibble)
                       : static_cast<uint8_t>((byte & 0x0Fu) | (nibble << 4));
        break;
    }
    case 8:
        row[x] = static_cast<uint8_t>(native);
        break;
    case 16:
    case 24:
    case 32: {
        // Little-endian: least significant byte first.
        const int bytes = s.BitCount / 8;
        uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
        for (int i = 0; i < bytes; ++i)
            p[i] = static_cast<uint8_t>(native >> (8 * i));
        break;
    }
    default:
        break;
    }
}

uint32_t LoadPixel(const TLockedSurface& s, int x, int y) {
    if (!InSurface(s, x, y)) return 0;
    const uint8_t* row = PixelRow(s, y);
    switch (s.BitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
    case 24:
    case 32: {
        const int bytes = s.BitCount / 8;
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint32_t>(p[i]) << (8 * i);
        return value;
    }
    default:
        return 0;
    }
}

// ---- Drawing operations ----

bool FillSurface(TDirectDrawSurface* surface, uint32_t native) {
    return surface != nullptr && surface->Fill(native);
}

bool LockSurface(TDirectDrawSurface* surface, TLockedSurface& desc) {
    if (surface == nullptr) {
        desc = TLockedSurface{};
        return false;
    }
    return surface->Lock(desc);
}

void UnlockSurface(TDirectDrawSurface* surface, void* bits) {
    if (surface != nullptr) surface->Unlock(bits);
}

void PutPixel(TDirectDrawSurface* surface, int x, int y, uint32_t native) {
    if (!HasPlatformSurface(surface)) return;
    if (x < 0 || y < 0 || x >= surface->Width() || y >= surface->Height()) return;
    TLockedSurface desc;
    if (!surface->Lock(desc)) return;
    StorePixel(desc, x, y, native);
    surface->Unlock(desc.Bits);
}

uint32_t ReadPixel(TDirectDrawSurface* surface, int x, int y) {
    if (!HasPlatformSurface(surface)) return 0;
    if (x < 0 || y < 0 || x >= surface->Width() || y >= surface->Height()) return 0;
    TLockedSurface desc;
    if (!surface->Lock(desc)) return 0;
    const uint32_t value = LoadPixel(desc, x, y);
    surface->Unlock(desc.Bits);
    return value;
}

namespace {

// A system colour (high byte 0x80, index in the low byte) replaced by its current RGB.
QColor ColourToQColor(uint32_t colour) {
    if ((colour >> 24) == 0x80u) {
        const QPalette palette = QGuiApplication::palette();
        switch (colour & 0xFFu) {
        case 5:
            return palette.color(QPalette::Base); // window
        case 8:
            return palette.color(QPalette::Text); // window text
        case 13:
            return palette.color(QPalette::Highlight);
        case 14:
            return palette.color(QPalette::HighlightedText);
        case 18:
            return palette.color(QPalette::ButtonText);
        default:
            return palette.color(QPalette::Button); // button face and the rest
        }
    }
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

} // namespace

uint32_t MatchColor(TDirectDrawSurface* surface, uint32_t colour) {
    if (!HasPlatformSurface(surface)) return 0;
    const uint32_t saved = ReadPixel(surface, 0, 0);
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.setPixelColor(0, 0, ColourToQColor(colour));
    TDirectDrawSurfaceCanvas* canvas = surface->Canvas();
    canvas->Draw(0, 0, dot);
    ReleaseCanvas(canvas);
    const uint32_t result = ReadPixel(surface, 0, 0);
    PutPixel(surface, 0, 0, saved);
    return result;
}

TDirectDrawSurfaceCanvas* SurfaceCanvas(TDirectDrawSurface* surface) {
    return surface != nullptr ? surface->Canvas() : nullptr;
}

void ReleaseCanvas(TDirectDrawSurfaceCanvas* canvas) {
    if (canvas != nullptr) canvas->Release();
}
