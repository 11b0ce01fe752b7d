// The view TCustomDXDraw: its form hook, initialisation and finalisation, sizes and restoring.
#include "present/DXDraw.h"

#include <QPaintEvent>
#include <QResizeEvent>

#include <algorithm>
#include <cstring>
#include <exception>

#include "platform/Platform.h"
#include "present/ControlSubClass.h"
#include "toolkit/Form.h"
#include "util/Exceptions.h"

namespace {

// Sets a flag for a scope and clears it on every way out.
class TFlagScope {
  public:
    explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
    ~TFlagScope() { FFlag = false; }
    TFlagScope(const TFlagScope&) = delete;
    TFlagScope& operator=(const TFlagScope&) = delete;

  private:
    bool& FFlag;
};

} // namespace

TCustomDXDraw::TCustomDXDraw(QWidget* parent) : QWidget(parent) {
    Color = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FPresenter = TPlatform::Current().MakePresenter(this);
    for (QWidget* up = parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (auto* form = qobject_cast<TForm*>(up)) {
            FForm = form;
            break;
        }
    }
    if (FForm != nullptr)
        FFormHook = std::make_unique<TControlSubClass>(
            FForm, [this](QEvent* event, const TForm::TWndMethod& previous) {
                return FormHandler(event, previous);
            });
}

TCustomDXDraw::~TCustomDXDraw() {
    try {
        FinalizeView();
    } catch (...) {
        // A destructor cannot pass an error from OnFinalize on; the view is released anyway.
    }
    FFormHook.reset();
}

void TCustomDXDraw::Fire(const TNotifyEvent& event) {
    if (event) event(this);
}

bool TCustomDXDraw::FormHandler(QEvent* event, const std::function<bool(QEvent*)>& previous) {
    switch (event->type()) {
    case QEvent::Show: {
        const bool result = previous(event);
        if (AutoInitialize && !FInitializeAttempted) InitializeView();
        return result;
    }
    case QEvent::Close: {
        // Only the window system's close request finalises; a program close does not.
        if (!event->spontaneous()) return previous(event);
        const bool wasInitialized = FInitialized;
        QImage kept;
        if (wasInitialized && FBack && FBack->Image() != nullptr) kept = FBack->Image()->copy();
        FinalizeView();
        const bool result = previous(event);
        // A refused close (its save failed) leaves a window that goes on: the view works again,
        // showing what it showed.
        if (wasInitialized && !event->isAccepted()) InitializeAgain(kept);
        return result;
    }
    default:
        return previous(event);
    }
}

int TCustomDXDraw::SurfaceWidth() const {
    return FBack && FBack->HasSurface() ? FBack->Width() : FStoredWidth;
}

int TCustomDXDraw::SurfaceHeight() const {
    return FBack && FBack->HasSurface() ? FBack->Height() : FStoredHeight;
}

void TCustomDXDraw::SetSurfaceWidth(int width) {
    SetSurfaceSize(width, SurfaceHeight());
}

void TCustomDXDraw::SetSurfaceHeight(int height) {
    SetSurfaceSize(SurfaceWidth(), height);
}

void TCustomDXDraw::SetSurfaceSize(int width, int height) {
    FStoredWidth = width;
    FStoredHeight = height;
    if (!FInitialized || FUpdating || !FDriver || !FBack) return;
    if (FBack->HasSurface() && FBack->Width() == width && FBack->Height() == height) return;
    {
        TFlagScope updating(FUpdating);
        if (FInitializeSurfaceMark) {
            FInitializeSurfaceMark = false;
            Fire(OnFinalizeSurface);
        }
        FDriver->Resize();
    }
    FInitializeSurfaceMark = true;
    Fire(OnInitializeSurface);
}

void TCustomDXDraw::SetViewSize(int width, int height) {
    resize(width, height);
    // A hidden widget gets its resize event only when shown; the stored size follows now.
    if (AutoSize && !FInitialized) {
        FStoredWidth = width;
        FStoredHeight = height;
    }
}

void TCustomDXDraw::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (FInitialized && FPrimary && FPrimary->Image() != nullptr &&
        FPrimary->Image()->size() != size()) {
        // The window area changed: it starts black until the next present.
        if (FPrimary->Create(std::max(width(), 1), std::max(height(), 1))) FPrimary->Fill(0);
        update();
    }
    if (AutoSize) SetSurfaceSize(width(), height());
}

void TCustomDXDraw::Loaded() {
    if (AutoSize) {
        FStoredWidth = width();
        FStoredHeight = height();
    }
}

bool TCustomDXDraw::Initialized() const {
    return FInitialized;
}

bool TCustomDXDraw::InitializeAttempted() const {
    return FInitializeAttempted;
}

bool TCustomDXDraw::Updating() const {
    return FUpdating;
}

TDirectDrawSurface* TCustomDXDraw::PrimarySurface() const {
    return FPrimary.get();
}

TDirectDrawSurface* TCustomDXDraw::BackSurface() const {
    return FBack.get();
}

void TCustomDXDraw::InitializeView() {
    FInitializeAttempted = true;
    FinalizeView();
    if (FForm == nullptr) throw EDXDrawError("Form not found");
    try {
        Fire(OnInitializing);
        TFlagScope updating(FUpdating);
        FDriver = std::make_unique<TDXDrawDriverBlt>(this);
        FDDraw = std::make_unique<TDirectDraw>();
        if (AutoSize) {
            FStoredWidth = width();
            FStoredHeight = height();
        }
        FDriver->Initialize();
    } catch (...) {
        FinalizeView();
        throw;
    }
    FInitialized = true;
    FInitializeMark = true;
    Fire(OnInitialize);
    FInitializeSurfaceMark = true;
    Fire(OnInitializeSurface);
    // Whatever the handlers drew is cleared: the view starts black.
    RestoreSurfaces();
}

void TCustomDXDraw::InitializeAgain(const QImage& picture) {
    InitializeView();
    if (picture.isNull() || !FBack || FBack->Image() == nullptr ||
        FBack->Image()->size() != picture.size() || FBack->Image()->format() != picture.format())
        return;
    TLockedSurface desc{};
    if (!FBack->Lock(desc)) return;
    const auto row = static_cast<size_t>(picture.width()) * static_cast<size_t>(picture.depth()) / 8;
    for (int y = 0; y < picture.height(); ++y)
        std::memcpy(desc.Bits + static_cast<ptrdiff_t>(y) * desc.Pitch, picture.constScanLine(y),
                    row);
    FBack->Unlock(desc.Bits);
    Flip();
}

void TCustomDXDraw::FinalizeView() {
    // What the presenter holds for the pictures goes with the views' surfaces (the close box
    // finalises them).
    FPresenter->Release();
    if (!FDriver && !FDDraw && !FPrimary && !FBack && !FClipper) return;
    FStoredWidth = SurfaceWidth();
    FStoredHeight = SurfaceHeight();
    FUpdating = true;
    // The objects go in every case; the last error from the handlers is passed on after.
    std::exception_ptr error;
    if (FInitializeSurfaceMark) {
        FInitializeSurfaceMark = false;
        try {
            Fire(OnFinalizeSurface);
        } catch (...) {
            error = std::current_exception();
        }
    }
    if (FInitializeMark) {
        FInitializeMark = false;
        try {
            Fire(OnFinalize);
        } catch (...) {
            error = std::current_exception();
        }
    }
    FInitialized = false;
    if (FDriver) FDriver->Finalize();
    FDriver.reset();
    ReleaseSurfaces(); // also when no driver was made
    FUpdating = false;
    if (error) std::rethrow_exception(error);
}

void TCustomDXDraw::ReleaseSurfaces() {
    FClipper.reset();
    FBack.reset();
    FPrimary.reset();
    FDDraw.reset();
}

void TCustomDXDraw::RestoreSurfaces() {
    if (!FInitialized || FUpdating) return;
    TFlagScope updating(FUpdating);
    if (!FPrimary || !FPrimary->Restore() || !FBack || !FBack->Restore()) return;
    FPrimary->Fill(0);
    FBack->Fill(0);
    update();
    Fire(OnRestoreSurface);
}

bool TCustomDXDraw::CanPresent() {
    if (!FPrimary || !FPrimary->HasSurface()) return false;
    if (!FPrimary->IsLost()) return true;
    RestoreSurfaces();
    return !FPrimary->IsLost();
}

const QImage& TCustomDXDraw::Presented() const {
    static const QImage none;
    return FPrimary && FPrimary->HasSurface() ? *FPrimary->Image() : none;
}

QPaintEngine* TCustomDXDraw::paintEngine() const {
    return FPresenter && FPresenter->PaintsItself() ? nullptr : QWidget::paintEngine();
}

void TCustomDXDraw::paintEvent(QPaintEvent* event) {
    FPresenter->Expose(FPrimary && FPrimary->HasSurface() ? FPrimary->Image() : nullptr,
                       event->rect(), Color);
}

void TCustomDXDraw::ShowPresented(const QRect& area) {
    if (!area.isEmpty()) FPresenter->Show(*FPrimary->Image(), area);
}

void TCustomDXDraw::Flip(const std::optional<QRect>& written) {
    if (!FInitialized || FUpdating || !FDriver || !CanPresent()) return;
    FDriver->Flip(written);
}

void FlipView(TCustomDXDraw* view) {
    if (view != nullptr) view->Flip();
}

void FlipView(TCustomDXDraw* view, const QRect& written) {
    if (view != nullptr) view->Flip(written);
}
