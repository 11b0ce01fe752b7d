// The screen view's drawing: its initialisation and one full frame of the voxel renderer.
#pragma once

#include "present/DXDraw.h"
#include "terrain/HeightField.h"
#include "terrain/Tables.h"
#include "views/core/DrawCores.h"

// Clears the view with the background, sets the canvas for the counter (clear brush, aqua
// text) and presents it.
void InitializeScreenView(TDXDraw* view, const TMapPixelTable& mapPixel);

// Everything one frame of the screen view reads.
struct TScreenFrame {
    const THeightArray& Field;
    const TCamera& Camera;
    const TTrigTable& SinTable;
    const TTrigTable& CosTable;
    const TRect& ClipRect;
    const TMapPixelTable& MapPixel;
    const TShadePixelTable& ShadePixel;
    int32_t FramesPerSecond;
    const TDrawCores& Cores; // the projection and the bars
};

// Fill (left out when the bars write every pixel anyway), projection, bars under a lock,
// "F/S : " counter, present. A failed lock skips the bars only. A view without a back surface
// gets no text and no fault.
void DrawScreenView(TDXDraw* view, const TScreenFrame& frame, TProjHeightArray& proj);
