// The lookup tables: square roots, colour ramps and brush profiles.
#include "terrain/Tables.h"

#include <cmath>

void MakeSqrtTable(TSqrtTable& table) {
    for (uint32_t k = 0; k < table.size(); ++k) {
        // Rounded in extended precision; roots of 65,281 and up round to 256 and keep only 0.
        const long double root = std::nearbyintl(std::sqrt(static_cast<long double>(k)));
        table[k] = static_cast<uint8_t>(static_cast<uint32_t>(root) & 0xFFu);
    }
}

void MakeColourRamps(const TMatchColor& match, TMapPixelTable& mapPixel,
                     TShadePixelTable& shadePixel) {
    for (uint32_t i = 0; i < 256; ++i) {
        mapPixel[i] = static_cast<uint16_t>(match(RGBColour(i, i, 0)));
        shadePixel[i] = match(RGBColour(i, i, (255 - i) / 3));
    }
}

void SelectBrushMode(int itemIndex, uint8_t& brushMode) {
    if (itemIndex >= 0 && itemIndex <= 2) brushMode = static_cast<uint8_t>(itemIndex + 1);
}

void FillBrushProfile(uint8_t brushMode, TBrushProfile& profile) {
    static constexpr TBrushProfile Gaussian{8, 8, 7, 7, 6, 5, 4, 3, 2, 2, 1, 1};
    static constexpr TBrushProfile Triangle{6, 6, 5, 5, 4, 4, 3, 3, 2, 2, 1, 1};
    static constexpr TBrushProfile Square{8, 8, 8, 8, 8, 8, 8, 8, 8, 4, 2, 1};
    switch (brushMode) {
    case 1:
        profile = Gaussian;
        break;
    case 2:
        profile = Triangle;
        break;
    case 3:
        profile = Square;
        break;
    default:
        break;
    }
}
