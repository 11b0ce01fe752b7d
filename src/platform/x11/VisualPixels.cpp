// RGB565 to an X visual's pixels: the common layouts (32-bit 8-8-8 and 16-bit 5-6-5, least
// significant byte first) by whole rows, any other 16, 24 or 32-bit layout pixel by pixel.
#include "platform/x11/VisualPixels.h"

#include <bit>
#include <cstring>

#include "platform/Rgb565.h"

namespace {

bool Is888(const TVisualFormat& f) {
    return f.BitsPerPixel == 32 && !f.MsbFirst && f.RedMask == 0xFF0000u &&
           f.GreenMask == 0xFF00u && f.BlueMask == 0xFFu;
}

bool Is565(const TVisualFormat& f) {
    return f.BitsPerPixel == 16 && !f.MsbFirst && f.RedMask == 0xF800u &&
           f.GreenMask == 0x07E0u && f.BlueMask == 0x001Fu;
}

uint32_t Place(uint32_t mask, uint8_t channel) {
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const int bits = std::popcount(mask);
    // Wider than 8 bits: the 8 repeat downward, as a narrower channel widens.
    uint32_t value = channel;
    int have = 8;
    while (have < bits) {
        value = (value << 8) | channel;
        have += 8;
    }
    value >>= have - bits;
    return (value << shift) & mask;
}

// One row of count source pixels as the visual's pixels, one device pixel each.
void ConvertRow(const uint8_t* source, int count, const TVisualFormat& format, bool streamed,
                uint8_t* target) {
    if (Is565(format)) {
        const auto bytes = static_cast<size_t>(count) * 2;
        if (streamed)
            StreamCopyRow(source, target, bytes);
        else
            std::memcpy(target, source, bytes);
        return;
    }
    // The rows of a segment are 4-byte aligned; an unaligned target takes the general way.
    if (Is888(format) && reinterpret_cast<uintptr_t>(target) % alignof(uint32_t) == 0) {
        auto* pixels = reinterpret_cast<uint32_t*>(target);
        if (streamed)
            StreamRgb565Row(source, pixels, count);
        else
            ConvertRgb565Row(source, pixels, count);
        return;
    }
    const int bytes = format.BitsPerPixel / 8;
    for (int x = 0; x < count; ++x) {
        const TRgb888 c =
            ExpandRgb565(static_cast<uint16_t>(source[2 * x] | source[2 * x + 1] << 8));
        const uint32_t pixel = VisualPixel(format, c.Red, c.Green, c.Blue);
        uint8_t* to = target + x * bytes;
        for (int i = 0; i < bytes; ++i)
            to[i] = static_cast<uint8_t>(pixel >> (8 * (format.MsbFirst ? bytes - 1 - i : i)));
    }
}

// Repeats each of width pixels scale times, left to right, in place (see ConvertToVisual).
template <class T> void Spread(const uint8_t* from, uint8_t* to, int width, int scale) {
    for (int x = 0; x < width; ++x) {
        T pixel;
        std::memcpy(&pixel, from + x * sizeof(T), sizeof(T));
        for (int k = 0; k < scale; ++k)
            std::memcpy(to + (x * scale + k) * sizeof(T), &pixel, sizeof(T));
    }
}

} // namespace

bool VisualWritable(const TVisualFormat& format) {
    const int bpp = format.BitsPerPixel;
    return (bpp == 16 || bpp == 24 || bpp == 32) && format.RedMask != 0 &&
           format.GreenMask != 0 && format.BlueMask != 0;
}

uint32_t VisualPixel(const TVisualFormat& format, uint8_t red, uint8_t green, uint8_t blue) {
    return Place(format.RedMask, red) | Place(format.GreenMask, green) |
           Place(format.BlueMask, blue);
}

void ConvertToVisual(const uint8_t* source, ptrdiff_t sourcePitch, int left, int top, int width,
                     int height, const TVisualFormat& format, int scale, uint8_t* target,
                     ptrdiff_t targetPitch, TTargetReader reader) {
    if (width <= 0 || height <= 0 || scale < 1 || !VisualWritable(format)) return;
    const int bytes = format.BitsPerPixel / 8;
    const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(width) * scale * bytes;
    for (int y = top; y < top + height; ++y) {
        const uint8_t* from = source + y * sourcePitch + left * 2;
        uint8_t* row = target + static_cast<ptrdiff_t>(y) * scale * targetPitch +
                       static_cast<ptrdiff_t>(left) * scale * bytes;
        if (scale == 1) {
            ConvertRow(from, width, format, reader == TTargetReader::OtherProcessor, row);
            continue;
        }
        // A scale of 2 in the common layouts: each row once, into both device rows.
        const bool aligned = reinterpret_cast<uintptr_t>(row) % 4 == 0 && targetPitch % 4 == 0;
        if (scale == 2 && aligned && Is888(format)) {
            ConvertRgb565RowDoubled(from, reinterpret_cast<uint32_t*>(row),
                                    reinterpret_cast<uint32_t*>(row + targetPitch), width);
            continue;
        }
        if (scale == 2 && aligned && Is565(format)) {
            DoubleRgb565Row(from, reinterpret_cast<uint16_t*>(row),
                            reinterpret_cast<uint16_t*>(row + targetPitch), width);
            continue;
        }
        // Converted into the row's last part, then spread from the left: pixel x is read
        // before any write reaches it, so no scratch row is needed.
        const uint8_t* unscaled = row + rowBytes - static_cast<ptrdiff_t>(width) * bytes;
        ConvertRow(from, width, format, false,
                   row + rowBytes - static_cast<ptrdiff_t>(width) * bytes);
        if (bytes == 2)
            Spread<uint16_t>(unscaled, row, width, scale);
        else if (bytes == 4)
            Spread<uint32_t>(unscaled, row, width, scale);
        else
            for (int x = 0; x < width; ++x) {
                uint8_t pixel[4];
                std::memcpy(pixel, unscaled + x * bytes, static_cast<size_t>(bytes));
                for (int k = 0; k < scale; ++k)
                    std::memcpy(row + (x * scale + k) * bytes, pixel, static_cast<size_t>(bytes));
            }
        for (int k = 1; k < scale; ++k)
            std::memcpy(row + k * targetPitch, row, static_cast<size_t>(rowBytes));
    }
    if (reader == TTargetReader::OtherProcessor) EndStreamedRows();
}
