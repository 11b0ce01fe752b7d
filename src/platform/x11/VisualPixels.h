// Writing RGB565 pixels in an X visual's own format (masks, bits per pixel, byte order), each
// pixel repeated scale x scale times for an integer display scale. No Qt: plain arithmetic.
#pragma once

#include <cstddef>
#include <cstdint>

// The pixel layout of a window's visual as the server stores Z-format images.
struct TVisualFormat {
    int BitsPerPixel = 0; // 16, 24 or 32 are written
    uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;
    bool MsbFirst = false; // the server's image byte order
};

// Whether ConvertToVisual writes this format.
bool VisualWritable(const TVisualFormat& format);

// The visual's pixel for 8-bit channels: each channel's top bits where its mask says.
uint32_t VisualPixel(const TVisualFormat& format, uint8_t red, uint8_t green, uint8_t blue);

// Who reads the converted picture next: this program (a buffer it sends), or another processor
// (a segment the server copies from), for which whole lines are written without being fetched.
enum class TTargetReader { ThisProgram, OtherProcessor };

// Converts the source rectangle (left, top, width, height) of an RGB565 picture (rows
// sourcePitch bytes apart) into target, the visual-format picture of scale times its size
// (rows targetPitch bytes apart): device pixel (x, y) shows source pixel (x / scale, y / scale).
// Channels widen with their top bits repeated below, as the rest of the program converts.
void ConvertToVisual(const uint8_t* source, ptrdiff_t sourcePitch, int left, int top, int width,
                     int height, const TVisualFormat& format, int scale, uint8_t* target,
                     ptrdiff_t targetPitch, TTargetReader reader);
