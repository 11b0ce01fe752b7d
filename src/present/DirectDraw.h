// The platform wrappers of the views and the drawing operations on their surfaces. Qt stands
// in for the display platform: a surface is a QImage in RGB565 (the native format, black = 0),
// its canvas draws through a QPainter, and a fault seam lets tests make the platform refuse.
//
// Section index: fault seam, TDirectX, TDirectDraw, TDirectDrawSurfaceCanvas,
// TDirectDrawSurface, TDirectDrawClipper, drawing operations, pixel packing.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QStaticText>
#include <QStringView>

#include <cstdint>
#include <memory>

#include "util/Surface.h"

class QPainter;
class QWidget;

// ---- Platform fault injection (the headless twin's seam; all off in the program) ----
struct TPlatformFaults {
    bool RefuseLock = false;          // LockSurface reports failure
    bool RefuseDeviceContext = false; // canvases get no drawing context
    bool RefusePrimarySurface = false;
    bool RefuseClipper = false;
    int RefuseBackSurface = 0; // number of back-surface requests to refuse
    bool PrimaryLost = false;  // the primary surface reports itself lost until restored
};
TPlatformFaults& PlatformFaults();

// ---- Platform wrappers ----

// Base of the wrappers: records the result of the last platform call; never raises for it.
class TDirectX {
  public:
    virtual ~TDirectX() = default;
    int32_t LastResult = 0;

  protected:
    void SetResult(int32_t result);
    // Runs whenever a non-zero result is stored; does nothing.
    virtual void DoError(int32_t) {}
};

class TDirectDrawSurface;

// The display object of one view; the view frees its surfaces and clipper before it.
class TDirectDraw : public TDirectX {
  public:
    TDirectDraw();
};

// Draws text on a surface through a painter borrowed from it ("device context"). The painter
// itself stays open while the surface's image lives, so borrowing and giving back cost nothing.
class TDirectDrawSurfaceCanvas {
  public:
    enum class TBrushStyle { bsSolid, bsClear };
    explicit TDirectDrawSurfaceCanvas(TDirectDrawSurface* surface);
    ~TDirectDrawSurfaceCanvas();

    // Settings belong to the canvas and survive Release.
    TBrushStyle BrushStyle = TBrushStyle::bsSolid;
    QColor BrushColor = Qt::white;
    QColor FontColor = Qt::black;
    QFont Font;

    // Draws text with the top-left of its cell at (x, y); raises EInvalidOperation "Canvas does
    // not allow drawing" when the platform refuses a context. A text equal to the last one is
    // drawn from its kept layout without allocating.
    void TextOut(int x, int y, QStringView text);
    // Draws an image at (x, y) (used for colour matching).
    void Draw(int x, int y, const QImage& image);
    // Gives the borrowed context back.
    void Release();
    bool HasContext() const;
    // Closes the painter: the surface's image is about to be replaced or freed.
    void EndPainting();

  private:
    QPainter* RequireContext();
    void ApplySettings(QPainter* painter);
    TDirectDrawSurface* FSurface;
    std::unique_ptr<QPainter> FPainter;
    bool FContext = false;
    // What the painter was last given, so unchanged settings are not set again.
    bool FApplied = false;
    QFont FAppliedFont;
    QColor FAppliedColor;
    int FAscent = 0;       // the font's rounded ascent: the text's baseline is y + FAscent
    qreal FLayoutBase = 0; // where a laid-out line puts its baseline below its top
    QStaticText FText;     // the last text, laid out once
};

// One surface: a 16-bit image (the platform surface), which may be absent. Its description
// (size, bit count, memory) reads from the image; 0 without one.
class TDirectDrawSurface : public TDirectX {
  public:
    explicit TDirectDrawSurface(TDirectDraw* owner);
    ~TDirectDrawSurface() override;

    // Makes the platform surface; false if refused.
    bool Create(int width, int height);
    bool HasSurface() const;
    QImage* Image(); // the platform surface, or null
    int Width() const;
    int Height() const;
    int BitCount() const;
    bool SystemMemory() const { return true; }

    bool Fill(uint32_t native);
    bool Lock(TLockedSurface& desc);
    void Unlock(void* bits);
    bool IsLost() const;
    bool Restore();
    bool Locked() const;                // a lock is held (no canvas context meanwhile)
    TDirectDrawSurfaceCanvas* Canvas(); // made on the first call

    // A count that moves whenever the surface may have been written through it: made, filled,
    // locked, or drawn on by its canvas. A present compares only what was written since the
    // last one.
    uint64_t Writes() const { return FWrites; }
    void NoteWrite() { ++FWrites; }

    TDirectDraw* Owner;
    bool Primary = false;

  private:
    std::unique_ptr<QImage> FImage;
    std::unique_ptr<TDirectDrawSurfaceCanvas> FCanvas;
    bool FLocked = false;
    uint64_t FWrites;      // starts apart from every other surface's, so no two counts meet
    uint64_t FBlankAt = 0; // FWrites as a fill with 0 left it: all black while they are equal
};

// Cuts copies into the primary surface to the visible part of one window.
class TDirectDrawClipper : public TDirectX {
  public:
    explicit TDirectDrawClipper(TDirectDraw* owner);
    void SetWindow(QWidget* window);
    QWidget* Window() const;

  private:
    QWidget* FWindow = nullptr;
};

// ---- Drawing operations used by the drawing code ----
bool FillSurface(TDirectDrawSurface* surface, uint32_t native);
bool LockSurface(TDirectDrawSurface* surface, TLockedSurface& desc);
void UnlockSurface(TDirectDrawSurface* surface, void* bits);
// Native value that drawing the colour (red low byte, green, blue) produces; 0 without surface.
uint32_t MatchColor(TDirectDrawSurface* surface, uint32_t colour);
void PutPixel(TDirectDrawSurface* surface, int x, int y, uint32_t native);
uint32_t ReadPixel(TDirectDrawSurface* surface, int x, int y);
// The surface's canvas, or null when there is no surface object.
TDirectDrawSurfaceCanvas* SurfaceCanvas(TDirectDrawSurface* surface);
void ReleaseCanvas(TDirectDrawSurfaceCanvas* canvas);

// Writes/reads one pixel of a locked surface by the packing rules of its bit count.
void StorePixel(const TLockedSurface& s, int x, int y, uint32_t native);
uint32_t LoadPixel(const TLockedSurface& s, int x, int y);
