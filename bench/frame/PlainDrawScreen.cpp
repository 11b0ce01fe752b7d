#include "PlainDrawScreen.h"

#include <cmath>
#include <cstring>

namespace Plain {

void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out) {
    out.fill(0);
    const double c = cosTable[camera.CamRot % 360];
    const double s = sinTable[camera.CamRot % 360];
    for (int32_t x = 0; x <= 319; ++x) {
        for (int32_t y = 0; y <= 239; ++y) {
            // lrint rounds in the default mode: to nearest, ties to even.
            const float s1 =
                static_cast<float>(static_cast<double>(camera.CameraY - y) / camera.CameraZ);
            const long sy =
                240 - std::lrint((240 - y) * static_cast<double>(s1)) - camera.HorizonOffset;
            const float s2 = static_cast<float>(static_cast<double>(camera.CameraY - y) /
                                                (camera.CameraY - 240));
            const long sx =
                std::lrint((x - camera.CameraX) * static_cast<double>(s2)) + camera.CameraX;
            const long rx = sx - 160, ry = sy - 120;
            const long mx = std::lrint(rx * c - ry * s) + 160;
            const long my = std::lrint(rx * s + ry * c) + 120;
            if (PointInRect({static_cast<int32_t>(mx), static_cast<int32_t>(my)}, clip))
                out[CellIndex(x, y)] = static_cast<uint8_t>(std::lrint(
                    field[CellIndex(static_cast<int32_t>(mx), static_cast<int32_t>(my))] /
                    static_cast<double>(s2)));
        }
    }
}

void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip) {
    const int32_t bytesPerPixel = surface.Pitch / 320;
    for (int32_t x = 0; x <= 319; ++x) {
        for (int32_t y = 239; y >= 0; --y) {
            int32_t v = proj[CellIndex(x, y)];
            while (v > 0) {
                const int32_t py = y - v / 2;
                if (PointInRect({x, py}, clip)) {
                    uint8_t* p = surface.Bits + x * bytesPerPixel + py * surface.Pitch;
                    uint16_t old;
                    std::memcpy(&old, p, 2);
                    if (old != 0) break;
                    const uint16_t pixel =
                        v > 32 ? mapPixel[v] : static_cast<uint16_t>(shadePixel[v]);
                    std::memcpy(p, &pixel, 2);
                }
                v -= 2;
            }
        }
    }
}

} // namespace Plain
