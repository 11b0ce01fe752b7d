// Conversion of RGB565 pictures to 32-bit pixels, for presenting on 32-bit windows.
#pragma once

#include <QImage>
#include <QRect>

#include <cstddef>
#include <cstdint>

// The three 8-bit channels of an RGB565 pixel, each widened with its top bits repeated below
// (as Qt converts): every output bit copies one input bit.
struct TRgb888 {
    uint8_t Red, Green, Blue;
};
constexpr TRgb888 ExpandRgb565(uint16_t c) {
    return {static_cast<uint8_t>(((c >> 8) & 0xF8u) | (c >> 13)),
            static_cast<uint8_t>(((c >> 3) & 0xFCu) | ((c >> 9) & 0x03u)),
            static_cast<uint8_t>(((c << 3) & 0xF8u) | ((c >> 2) & 0x07u))};
}

// Converts count RGB565 pixels into opaque 32-bit ones.
void ConvertRgb565Row(const uint8_t* source, uint32_t* target, int count);
// The same, and a plain copy of bytes, into memory another processor reads next (a segment
// shared with the display server): whole aligned lines are written without being fetched. Call
// EndStreamedRows once the rows are written, before telling the reader.
void StreamRgb565Row(const uint8_t* source, uint32_t* target, int count);
void StreamCopyRow(const uint8_t* source, uint8_t* target, size_t bytes);
void EndStreamedRows();
// The same, each pixel twice across, into both rows (2 x count pixels each): a display scale
// of 2 without a second pass over the written rows.
void ConvertRgb565RowDoubled(const uint8_t* source, uint32_t* top, uint32_t* bottom, int count);
// RGB565 pixels as they are, each twice across, into both rows: the same for a 5-6-5 visual.
void DoubleRgb565Row(const uint8_t* source, uint16_t* top, uint16_t* bottom, int count);

// Converts a rectangle of an RGB565 image into the opaque 32-bit pixels (0xFFRRGGBB) at target,
// whose rows are targetPitch bytes apart; each channel's top bits repeat below, as Qt converts.
void ConvertRgb565ToRgb32(const QImage& from, const QRect& area, uint8_t* target,
                          qsizetype targetPitch);
