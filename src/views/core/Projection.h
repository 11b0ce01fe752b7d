// The voxel renderer's arithmetic: the projection pass that samples the field into a buffer
// of scaled heights, and the drawing pass that turns them into vertical bars.
#pragma once

#include <cstdint>

#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "util/Geometry.h"
#include "util/Surface.h"

// Scaled heights per screen position, indexed like the field (x * 240 + y).
using TProjHeightArray = THeightArray;

struct TCamera {
    int32_t CameraX = 160;
    int32_t CameraY = 480;
    int32_t CameraZ = 240;
    int32_t HorizonOffset = 72;
    uint16_t CamRot = 0;
};

// Clears out and fills it from the field as seen from the camera. Raises EZeroDivide when
// CameraZ is 0. CamRot is taken modulo 360. Samples outside the clip or the field, or whose
// rounding leaves 32 bits, give 0.
void ProjectField(const THeightArray& field, const TCamera& camera, const TTrigTable& sinTable,
                  const TTrigTable& cosTable, const TRect& clip, TProjHeightArray& out);

// Draws the bars, nearest row first, into a locked 16-bit surface already filled with black.
// Only pixels inside both the clip and the surface's Width x Height are read or written.
void DrawBars(const TProjHeightArray& proj, const TLockedSurface& surface,
              const TMapPixelTable& mapPixel, const TShadePixelTable& shadePixel,
              const TRect& clip);

// Lets the passes use every instruction set the processor has (the default), or only the
// portable code, so tests can check both.
void UseWideInstructions(bool enabled);
