// The screen view's drawing around the renderer's arithmetic.
#include "views/ScreenView.h"

#include "views/SurfaceLock.h"

void InitializeScreenView(TDXDraw* view, const TMapPixelTable& mapPixel) {
    FillSurface(view->BackSurface(), mapPixel[0]);
    if (TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(view->BackSurface())) {
        canvas->BrushStyle = TDirectDrawSurfaceCanvas::TBrushStyle::bsClear;
        canvas->FontColor = QColor(0, 255, 255); // aqua
    }
    FlipView(view);
}

void DrawScreenView(TDXDraw* view, const TScreenFrame& frame, TProjHeightArray& proj) {
    TDirectDrawSurface* back = view->BackSurface();
    FillSurface(back, frame.MapPixel[0]);
    ProjectField(frame.Field, frame.Camera, frame.SinTable, frame.CosTable, frame.ClipRect, proj);
    {
        TSurfaceLock lock(back);
        if (lock.Locked())
            DrawBars(proj, lock.Surface(), frame.MapPixel, frame.ShadePixel, frame.ClipRect);
    }
    // Without a back surface (failed initialisation, or finalised by the close box while the
    // window stayed open) there is nothing to write on; the frame goes on.
    if (TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(back)) {
        canvas->TextOut(8, 8, QStringLiteral("F/S : %1").arg(frame.FramesPerSecond));
        ReleaseCanvas(canvas);
    }
    FlipView(view);
}
