// The screen view's drawing around the renderer's arithmetic.
#include "views/ScreenView.h"

#include <array>

#include "views/SurfaceLock.h"
#include "views/core/Bars.h"

namespace {

// "F/S : " and the value in decimal, formatted into the buffer without allocating.
QStringView CounterText(int32_t value, std::array<char16_t, 24>& buffer) {
    constexpr char16_t Prefix[] = u"F/S : ";
    size_t length = 0;
    for (const char16_t c : Prefix)
        if (c != 0) buffer[length++] = c;
    int64_t rest = value;
    if (rest < 0) {
        buffer[length++] = u'-';
        rest = -rest;
    }
    char16_t digits[12];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char16_t>(u'0' + rest % 10);
        rest /= 10;
    } while (rest != 0);
    while (count > 0) buffer[length++] = digits[--count];
    return QStringView(buffer.data(), static_cast<qsizetype>(length));
}

// Whether the bars of this frame write every pixel of the back surface: the renderer's blank
// path (the background black, every bar colour visible) over a clip that covers the surface,
// a 16-bit one of the map's size.
bool BarsCoverSurface(const TScreenFrame& frame, TDirectDrawSurface* back) {
    if (back == nullptr || !back->HasSurface() || back->BitCount() != 16 ||
        back->Width() != MapWidth || back->Height() != MapHeight)
        return false;
    if (!frame.Cores.BarsWriteBlankClip || (frame.MapPixel[0] & 0xFFFFu) != 0) return false;
    const TRect& clip = frame.ClipRect;
    const bool covers = clip.Left <= 0 && clip.Top <= 0 && clip.Right >= MapWidth - 1 &&
                        clip.Bottom >= MapHeight - 1;
    return covers && BarsWriteWholeClip(frame.MapPixel, frame.ShadePixel);
}

} // namespace

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
    // Bars that write every pixel of the surface make its black fill before them redundant: it
    // is left out and the bars are told the surface counts as blank. Only a refused lock then
    // needs the fill, after the fact.
    const bool barsCover = BarsCoverSurface(frame, back);
    if (!barsCover) FillSurface(back, frame.MapPixel[0]);
    frame.Cores.ProjectField(frame.Field, frame.Camera, frame.SinTable, frame.CosTable,
                             frame.ClipRect, proj);
    bool drawn = false;
    {
        TSurfaceLock lock(back);
        if (lock.Locked()) {
            TLockedSurface surface = lock.Surface();
            surface.Blank = surface.Blank || barsCover;
            frame.Cores.DrawBars(proj, surface, frame.MapPixel, frame.ShadePixel, frame.ClipRect);
            drawn = true;
        }
    }
    if (barsCover && !drawn) FillSurface(back, frame.MapPixel[0]);
    // Without a back surface (failed initialisation, or finalised by the close box while the
    // window stayed open) there is nothing to write on; the frame goes on.
    if (TDirectDrawSurfaceCanvas* canvas = SurfaceCanvas(back)) {
        std::array<char16_t, 24> text;
        canvas->TextOut(8, 8, CounterText(frame.FramesPerSecond, text));
        ReleaseCanvas(canvas);
    }
    FlipView(view);
}
