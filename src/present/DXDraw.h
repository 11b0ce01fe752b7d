// The view component TDXDraw: a child window area with an off-screen 16-bit back surface that
// is drawn into and then presented 1:1 with FlipView, and its presenting drivers.
//
// Section index: drivers (TDXDrawDriver, TDXDrawDriverBlt), the view (TCustomDXDraw, TDXDraw),
// FlipView.
#pragma once

#include <QColor>
#include <QImage>
#include <QRegion>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "present/DirectDraw.h"

class TForm;
class TControlSubClass;
class TPresenter;
class TCustomDXDraw;

// ---- Drivers ----

// Presenting strategy owned by an initialised view.
class TDXDrawDriver {
  public:
    explicit TDXDrawDriver(TCustomDXDraw* view);
    virtual ~TDXDrawDriver();
    virtual void Finalize() = 0;
    // written: where alone the back surface may have changed since the last present, if known.
    virtual void Flip(const std::optional<QRect>& written) = 0;
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
    void Flip(const std::optional<QRect>& written) override;
    void Initialize() override;
    void Resize() override; // makes the back surface anew at the new size

  private:
    // After the last complete present the window area matched the back surface within
    // FSyncedArea, as of these counts of writes to either surface.
    bool FSynced = false;
    QRect FSyncedArea;
    uint64_t FBackWrites = 0, FPrimaryWrites = 0;
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
    TNotifyEvent OnFinalize, OnFinalizeSurface, OnInitialize, OnInitializeSurface, OnInitializing,
        OnRestoreSurface;

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

    TDirectDrawSurface* PrimarySurface() const;
    TDirectDrawSurface* BackSurface() const; // null before initialisation and after finalisation

    void InitializeView();
    void FinalizeView();
    // After a close request that finalised the view was refused: initialises it again and puts
    // picture (the back surface as it was) back, presented.
    void InitializeAgain(const QImage& picture);
    void RestoreSurfaces();
    bool CanPresent();
    // written: where alone the back surface may have changed since the last present (see
    // FlipView).
    void Flip(const std::optional<QRect>& written = std::nullopt);

    // The picture last presented (the window area's content), for painting and pictures.
    const QImage& Presented() const;

  protected:
    // None while the presenter paints the window itself: the toolkit paints nothing there.
    QPaintEngine* paintEngine() const override;
    void paintEvent(class QPaintEvent* event) override;
    void resizeEvent(class QResizeEvent* event) override;
    bool FormHandler(QEvent* event, const std::function<bool(QEvent*)>& previous);

  private:
    friend class TDXDrawDriverBlt;
    void SetSurfaceSize(int width, int height);
    // The clipper, the surfaces and the display object go (the driver's finalisation).
    void ReleaseSurfaces();
    void Fire(const TNotifyEvent& event);
    // Puts the given part of the presented picture on the screen before returning.
    void ShowPresented(const QRect& area);

    TForm* FForm = nullptr;
    std::unique_ptr<TControlSubClass> FFormHook;
    std::unique_ptr<TDXDrawDriver> FDriver;
    std::unique_ptr<TDirectDraw> FDDraw;
    std::unique_ptr<TDirectDrawClipper> FClipper;
    std::unique_ptr<TDirectDrawSurface> FPrimary;
    std::unique_ptr<TDirectDrawSurface> FBack;
    // Chosen by the platform as the view is made.
    std::unique_ptr<TPresenter> FPresenter;
    int FStoredWidth = 0;
    int FStoredHeight = 0;
    bool FInitialized = false;
    bool FInitializeAttempted = false;
    bool FUpdating = false;
    bool FInitializeMark = false;
    bool FInitializeSurfaceMark = false;
};

class TDXDraw : public TCustomDXDraw {
    Q_OBJECT
  public:
    using TCustomDXDraw::TCustomDXDraw;
};

// Presents the view's back surface in its window area; on the screen when it returns.
void FlipView(TCustomDXDraw* view);
// The same, told that since the last present the back surface changed only within written
// (back-surface pixels): when its one write since was the caller's, only there is compared.
void FlipView(TCustomDXDraw* view, const QRect& written);
