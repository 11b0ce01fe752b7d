// The view component TDXDraw: a child window area with an off-screen 16-bit back surface that
// is drawn into and then presented 1:1 with FlipView. Qt stands in for the display platform:
// a surface is a QImage in RGB565, presenting paints the copy into the view widget.
//
// Section index: platform wrappers (TDirectX ...), canvas, driver, view, drawing operations.
#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRegion>
#include <QStaticText>
#include <QStringView>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>

#include "util/Surface.h"

class TForm;
class TCustomDXDraw;

// ---- Platform fault injection (the headless twin's seam; all off in the program) ----
struct TPlatformFaults {
    bool RefuseLock = false;        // LockSurface reports failure
    bool RefuseDeviceContext = false; // canvases get no drawing context
    bool RefusePrimarySurface = false;
    bool RefuseClipper = false;
    int RefuseBackSurface = 0;      // number of back-surface requests to refuse
    bool PrimaryLost = false;       // the primary surface reports itself lost until restored
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
class TDirectDrawClipper;

// The display object of one view; frees its surfaces and clippers when freed.
class TDirectDraw : public TDirectX {
  public:
    TDirectDraw();
    ~TDirectDraw() override;
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

    // Draws text with the top-left of its cell at (x, y); raises EInvalidOperation
    // "Canvas does not allow drawing" when the platform refuses a context.
    void TextOut(int x, int y, const QString& text);
    // The same; a text equal to the last one is drawn from its kept layout without allocating.
    void TextOut(int x, int y, QStringView text);
    // Draws an image at (x, y) (used for colour matching).
    void Draw(int x, int y, const QImage& image);
    // Gives the borrowed context back.
    void Release();
    bool HasContext() const;
    // Closes the painter: the surface's image is about to be replaced or freed.
    void EndPainting();

  private:
    class QPainter* RequireContext();
    void ApplySettings(class QPainter* painter);
    TDirectDrawSurface* FSurface;
    std::unique_ptr<class QPainter> FPainter;
    bool FContext = false;
    // What the painter was last given, so unchanged settings are not set again.
    bool FApplied = false;
    QFont FAppliedFont;
    QColor FAppliedColor;
    int FAscent = 0;        // the font's rounded ascent: the text's baseline is y + FAscent
    qreal FLayoutBase = 0;  // where a laid-out line puts its baseline below its top
    QStaticText FText;      // the last text, laid out once
};

// One surface: a 16-bit image (the platform surface), which may be absent.
class TDirectDrawSurface : public TDirectX {
  public:
    explicit TDirectDrawSurface(TDirectDraw* owner);
    ~TDirectDrawSurface() override;

    // Makes the platform surface; false if refused.
    bool Create(int width, int height);
    bool HasSurface() const;
    QImage* Image(); // the platform surface, or null
    int Width() const;  // 0 without a platform surface
    int Height() const;
    int BitCount() const;
    bool SystemMemory() const { return true; }

    bool Fill(uint32_t native);
    bool Lock(TLockedSurface& desc);
    void Unlock(void* bits);
    bool IsLost() const;
    bool Restore();
    bool Locked() const; // a lock is held (no canvas context meanwhile)
    TDirectDrawSurfaceCanvas* Canvas(); // made on first call; null without a surface object

    TDirectDraw* Owner;
    bool Primary = false;

  private:
    std::unique_ptr<QImage> FImage;
    std::unique_ptr<TDirectDrawSurfaceCanvas> FCanvas;
    bool FLocked = false;
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

// Presenting strategy owned by an initialised view.
class TDXDrawDriver {
  public:
    explicit TDXDrawDriver(TCustomDXDraw* view);
    virtual ~TDXDrawDriver();
    virtual void Finalize() = 0;
    virtual void Flip() = 0;
    virtual void Initialize() = 0;
    virtual void Resize() {}

  protected:
    TCustomDXDraw* FView;
};

// Windowed: presents by copying the back surface into the view's area.
class TDXDrawDriverBlt : public TDXDrawDriver {
  public:
    using TDXDrawDriver::TDXDrawDriver;
    void Finalize() override;
    void Flip() override;
    void Initialize() override;
    void Resize() override; // makes the back surface and window area anew at the new size
};

// Replaces a form's message handler by a component's and remembers the previous one.
class TControlSubClass {
  public:
    using THandler = std::function<bool(QEvent* event, const std::function<bool(QEvent*)>& prev)>;
    TControlSubClass(TForm* form, THandler handler);
    ~TControlSubClass(); // puts the previous handler back
    bool CallPrevious(QEvent* event);

  private:
    TForm* FForm;
    std::function<bool(QEvent*)> FPrevious;
    // Set once the form has begun its destruction: its handler chain is no longer ours to touch.
    bool FFormGone = false;
    QMetaObject::Connection FFormDestroyed;
};

// ---- The view ----
class TCustomDXDraw : public QWidget {
    Q_OBJECT
  public:
    using TNotifyEvent = std::function<void(QObject* sender)>;

    // The parent chain is walked to the first TForm, which gets this view's FormHook.
    explicit TCustomDXDraw(QWidget* parent);
    ~TCustomDXDraw() override; // finalises, then frees the FormHook

    // Settings.
    bool AutoInitialize = true;
    bool AutoSize = true;
    QColor Color;

    // Events, fired with the view as sender.
    TNotifyEvent OnFinalize, OnFinalizeSurface, OnInitialize, OnInitializeSurface,
        OnInitializing, OnRestoreSurface;

    // Back surface size: the real size while there is a platform surface, else the stored one.
    int SurfaceWidth() const;
    int SurfaceHeight() const;
    void SetSurfaceWidth(int width);
    void SetSurfaceHeight(int height);
    // Sets the widget's size (and, with AutoSize before initialisation, the stored size).
    void SetViewSize(int width, int height);

    // End of reading the design: with AutoSize the stored size becomes Width x Height.
    void Loaded();

    bool Initialized() const;
    bool InitializeAttempted() const;
    bool Updating() const;

    TDirectDraw* DDraw() const;
    TDirectDrawSurface* PrimarySurface() const;
    TDirectDrawSurface* BackSurface() const; // null before initialisation and after finalisation
    TDirectDrawClipper* Clipper() const;

    void InitializeView();
    void FinalizeView();
    void RestoreSurfaces();
    bool CanPresent();
    void Flip();

    // The picture last presented (the window area's content), for tests and painting.
    const QImage& Presented() const;

    // Puts the given part of the presented picture on the screen: written straight into the
    // window's backing store and flushed where the store allows it, else repainted.
    void ShowPresented(const QRect& area);

  protected:
    void paintEvent(class QPaintEvent* event) override;
    void resizeEvent(class QResizeEvent* event) override;
    bool FormHandler(QEvent* event, const std::function<bool(QEvent*)>& prev);

  private:
    friend class TDXDrawDriverBlt;
    void SetSurfaceSize(int width, int height);
    void Fire(const TNotifyEvent& event);
    TForm* FForm = nullptr;
    std::unique_ptr<TControlSubClass> FFormHook;
    std::unique_ptr<TDXDrawDriver> FDriver;
    std::unique_ptr<TDirectDraw> FDDraw;
    std::unique_ptr<TDirectDrawClipper> FClipper;
    std::unique_ptr<TDirectDrawSurface> FPrimary;
    std::unique_ptr<TDirectDrawSurface> FBack;
    int FStoredWidth = 0;
    int FStoredHeight = 0;
    bool FInitialized = false;
    bool FInitializeAttempted = false;
    bool FUpdating = false;
    bool FInitializeMark = false;
    bool FInitializeSurfaceMark = false;
    QImage FPicture32; // the window area converted for a 32-bit target while painting
    // The view's area in its window's coordinates, kept for flushing without allocating.
    QRegion FFlushRegion;
    QRect FFlushRect;
    bool WriteToBackingStore(const QRect& area);
};

class TDXDraw : public TCustomDXDraw {
    Q_OBJECT
  public:
    using TCustomDXDraw::TCustomDXDraw;
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
void FlipView(TCustomDXDraw* view);

// Converts a rectangle of an RGB565 image into the 32-bit pixels (0xFFRRGGBB) at target, whose
// rows are targetPitch bytes apart; each channel's top bits repeat below, as Qt converts.
void ConvertRgb565ToRgb32(const QImage& from, const QRect& area, uint8_t* target,
                          qsizetype targetPitch);

// Writes/reads one pixel of a locked surface by the packing rules of its bit count.
void StorePixel(const TLockedSurface& s, int x, int y, uint32_t native);
uint32_t LoadPixel(const TLockedSurface& s, int x, int y);
