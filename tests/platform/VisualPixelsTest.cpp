// Writing pictures in an X visual's format: masks, byte order and integer scales.
#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/x11/VisualPixels.h"

// Each format and scale: inside the area every device pixel is the source pixel as Qt widens
// it, packed by the visual's masks in its byte order; outside it nothing is written.
TEST(PresentConversionTest, VisualFormatsAndScalesPackAsTheMasksSay) {
    using TPack = std::function<uint32_t(uint32_t r, uint32_t g, uint32_t b)>;
    struct TRow {
        TVisualFormat Format;
        int Scale;
        TPack Pack;
        TTargetReader Reader = TTargetReader::ThisProgram;
    };
    const TPack rgb888 = [](uint32_t r, uint32_t g, uint32_t b) { return r << 16 | g << 8 | b; };
    const TPack bgr888 = [](uint32_t r, uint32_t g, uint32_t b) { return b << 16 | g << 8 | r; };
    const TPack rgb565 = [](uint32_t r, uint32_t g, uint32_t b) {
        return (r >> 3) << 11 | (g >> 2) << 5 | b >> 3;
    };
    const TPack rgb555 = [](uint32_t r, uint32_t g, uint32_t b) {
        return (r >> 3) << 10 | (g >> 3) << 5 | b >> 3;
    };
    const TPack rgb101010 = [](uint32_t r, uint32_t g, uint32_t b) {
        return (r << 2 | r >> 6) << 20 | (g << 2 | g >> 6) << 10 | (b << 2 | b >> 6);
    };
    const TRow rows[] = {
        {{32, 0xFF0000, 0xFF00, 0xFF, false}, 1, rgb888},
        {{32, 0xFF0000, 0xFF00, 0xFF, false}, 2, rgb888},
        {{16, 0xF800, 0x07E0, 0x1F, false}, 1, rgb565},
        {{16, 0xF800, 0x07E0, 0x1F, false}, 2, rgb565},
        {{16, 0xF800, 0x07E0, 0x1F, false}, 3, rgb565},
        {{32, 0xFF, 0xFF00, 0xFF0000, false}, 2, bgr888},
        {{24, 0xFF0000, 0xFF00, 0xFF, true}, 1, rgb888},
        {{32, 0xFF0000, 0xFF00, 0xFF, true}, 2, rgb888},
        {{16, 0x7C00, 0x03E0, 0x1F, true}, 2, rgb555},
        {{32, 0x3FF00000, 0xFFC00, 0x3FF, false}, 1, rgb101010},
        // For a segment: the rows start at several offsets from a 64-byte line, so the ordinary
        // stores at their ends and the streaming ones between are all checked.
        {{32, 0xFF0000, 0xFF00, 0xFF, false}, 1, rgb888, TTargetReader::OtherProcessor},
        {{16, 0xF800, 0x07E0, 0x1F, false}, 1, rgb565, TTargetReader::OtherProcessor},
        {{32, 0xFF0000, 0xFF00, 0xFF, false}, 2, rgb888, TTargetReader::OtherProcessor},
        {{24, 0xFF0000, 0xFF00, 0xFF, true}, 1, rgb888, TTargetReader::OtherProcessor},
    };
    constexpr int Width = 40, Height = 7; // wide enough for two runs of 16 and a rest
    QImage source(Width, Height, QImage::Format_RGB16);
    for (int y = 0; y < Height; ++y)
        for (int x = 0; x < Width; ++x)
            reinterpret_cast<uint16_t*>(source.scanLine(y))[x] =
                static_cast<uint16_t>(x * 2741 + y * 40503 + 7);
    const QImage widened = source.convertToFormat(QImage::Format_RGB32);
    const int left = 2, top = 1, width = 35, height = 5;
    for (const TRow& row : rows) {
        const TVisualFormat& f = row.Format;
        const int bytes = f.BitsPerPixel / 8, scale = row.Scale;
        const ptrdiff_t pitch = Width * scale * bytes + 4; // wider than a row
        std::vector<uint8_t> buffer(static_cast<size_t>(pitch) * Height * scale + 64, 0xAA);
        uint8_t* const target = buffer.data() + (-reinterpret_cast<uintptr_t>(buffer.data()) % 64);
        ConvertToVisual(source.constBits(), source.bytesPerLine(), left, top, width, height, f,
                        scale, target, pitch, row.Reader);
        SCOPED_TRACE(testing::Message()
                     << f.BitsPerPixel << " bits, masks " << f.RedMask << "," << f.GreenMask << ","
                     << f.BlueMask << ", msb " << f.MsbFirst << ", scale " << scale << ", reader "
                     << static_cast<int>(row.Reader));
        for (int y = 0; y < Height * scale; ++y)
            for (int x = 0; x < Width * scale + 4 / bytes; ++x) {
                const int sx = x / scale, sy = y / scale;
                const bool inside =
                    sx >= left && sx < left + width && sy >= top && sy < top + height;
                const uint8_t* p = target + y * pitch + x * bytes;
                uint32_t want = 0;
                if (inside) {
                    const QRgb c = widened.pixel(sx, sy);
                    want = row.Pack(qRed(c), qGreen(c), qBlue(c));
                }
                // Bits outside the masks mean nothing to the server.
                const uint32_t used = inside ? f.RedMask | f.GreenMask | f.BlueMask : ~0u;
                for (int i = 0; i < bytes; ++i) {
                    const int shift = 8 * (f.MsbFirst ? bytes - 1 - i : i);
                    const auto mask = static_cast<uint8_t>(used >> shift);
                    const auto expected = inside ? static_cast<uint8_t>(want >> shift) : 0xAA;
                    ASSERT_EQ(p[i] & mask, expected & mask)
                        << "device pixel " << x << "," << y << " byte " << i;
                }
            }
    }
}
