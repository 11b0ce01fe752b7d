// A locked drawing surface as plain data: the only thing the pixel arithmetic knows of a frame buffer.
#pragma once

#include <cstdint>

// Pixel (x, y) begins at Bits + y * Pitch + x * BitCount / 8. Pitch may exceed Width * bytes.
struct TLockedSurface {
    uint8_t* Bits = nullptr; // address of pixel (0, 0)
    int32_t Pitch = 0;       // bytes from one row to the next
    int32_t BitCount = 0;    // bits per pixel
    int32_t Width = 0;
    int32_t Height = 0;
    bool Blank = false; // every pixel 0, known without looking (filled so, not written since)
};
