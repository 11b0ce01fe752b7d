// The fixed lookup tables that spare the per-frame code square roots and colour conversions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "util/Fnc.h"

using TSqrtTable = std::array<uint8_t, 65536>;
using TMapPixelTable = std::array<uint16_t, 256>;   // native 16-bit values
using TShadePixelTable = std::array<uint32_t, 256>; // native values; the low 16 bits are drawn
using TBrushProfile = std::array<int32_t, 12>;      // strength by distance band, centre first

// Entry k: the rounded square root of k, low 8 bits (so 65,281 ... 65,535 hold 0).
void MakeSqrtTable(TSqrtTable& table);

// Colour: red in the low byte, then green, then blue.
using TMatchColor = std::function<uint32_t(uint32_t colour)>;
inline constexpr uint32_t RGBColour(uint32_t r, uint32_t g, uint32_t b) {
    return r | (g << 8) | (b << 16);
}

// MapPixel[i] = match of (i, i, 0); ShadePixel[i] = match of (i, i, (255 - i) div 3); in that order.
void MakeColourRamps(const TMatchColor& match, TMapPixelTable& mapPixel,
                     TShadePixelTable& shadePixel);

// Radio item 0, 1, 2 -> brush mode 1 (Gaussian), 2 (triangle), 3 (square); -1 keeps the mode.
void SelectBrushMode(int itemIndex, uint8_t& brushMode);
// Fills the profile for mode 1 ... 3; any other mode leaves it unchanged.
void FillBrushProfile(uint8_t brushMode, TBrushProfile& profile);
