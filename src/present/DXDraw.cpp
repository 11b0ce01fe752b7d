// The view TCustomDXDraw: its form hook, initialisation and finalisation, restoring, and the
// windowed presenting driver that copies the back surface into the window area.
#include "present/DXDraw.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <map>
#include <vector>

#include "toolkit/Exceptions.h"
#include "toolkit/Form.h"

namespace {

// The hooks of each form in order of installation, so that one can come off out of order
// (Qt destroys a form's children first to last, so the first hook usually goes first).
std::map<const TForm*, std::vector<TControlSubClass*>>& HookChains() {
    static std::map<const TForm*, std::vector<TControlSubClass*>> chains;
    return chains;
}

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

// RGB565 to RGB32 with each channel's top bits repeated below (as Qt converts). Every output
// bit copies one input bit, so one table per input byte suffices; both stay in the L1 cache.
struct TRgb565Tables {
    std::array<uint32_t, 256> Low{};
    std::array<uint32_t, 256> High{};
};

const TRgb565Tables& Rgb565Tables() {
    static const TRgb565Tables tables = [] {
        const auto expand = [](uint32_t c) {
            return ((c << 3) & 0xF8u) | ((c >> 2) & 0x07u) | ((c << 5) & 0xFC00u) |
                   ((c >> 1) & 0x300u) | ((c << 8) & 0xF80000u) | ((c << 3) & 0x70000u);
        };
        TRgb565Tables t;
        for (uint32_t i = 0; i < 256; ++i) {
            t.Low[i] = 0xFF000000u | expand(i);
            t.High[i] = expand(i << 8);
        }
        return t;
    }();
    return tables;
}

// Converts the rectangle of an RGB565 image into the same place of an RGB32 image.
void ConvertRgb565(const QImage& from, QImage& to, const QRect& area) {
    const TRgb565Tables& tables = Rgb565Tables();
    const uint8_t* fromBits = from.constBits();
    uint8_t* toBits = to.bits();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const uint8_t* source = fromBits + y * from.bytesPerLine() + area.left() * 2;
        auto* target = reinterpret_cast<uint32_t*>(toBits + y * to.bytesPerLine()) + area.left();
        for (int x = 0; x < area.width(); ++x)
            target[x] = tables.Low[source[2 * x]] | tables.High[source[2 * x + 1]];
    }
}

bool PaintsOnRgb16(QPainter& painter) {
    const QPaintDevice* device =
        painter.paintEngine() ? painter.paintEngine()->paintDevice() : nullptr;
    return device != nullptr && device->devType() == QInternal::Image &&
           static_cast<const QImage*>(device)->format() == QImage::Format_RGB16;
}

} // namespace

// ---- Form hook ----

TControlSubClass::TControlSubClass(TForm* form, THandler handler) : FForm(form) {
    FPrevious = std::move(form->WindowProc);
    form->WindowProc = [this, handler = std::move(handler)](QEvent* event) {
        return handler(event, FPrevious);
    };
    HookChains()[form].push_back(this);
    // QWidget announces its destruction before it deletes its children (the views).
    FFormDestroyed = QObject::connect(form, &QObject::destroyed, [this] { FFormGone = true; });
}

TControlSubClass::~TControlSubClass() {
    QObject::disconnect(FFormDestroyed);
    auto& chains = HookChains();
    const auto chain = chains.find(FForm);
    if (chain == chains.end()) return;
    std::vector<TControlSubClass*>& hooks = chain->second;
    const auto self = std::find(hooks.begin(), hooks.end(), this);
    if (self == hooks.end()) return;
    if (!FFormGone) {
        // The hook installed right after this one calls this one's handler as its previous.
        if (self + 1 == hooks.end())
            FForm->WindowProc = std::move(FPrevious);
        else
            (*(self + 1))->FPrevious = std::move(FPrevious);
    }
    hooks.erase(self);
    if (hooks.empty()) chains.erase(chain);
}

bool TControlSubClass::CallPrevious(QEvent* event) {
    return FPrevious(event);
}

// ---- Drivers ----

TDXDrawDriver::TDXDrawDriver(TCustomDXDraw* view) : FView(view) {}

TDXDrawDriver::~TDXDrawDriver() = default;

void TDXDrawDriverBlt::Initialize() {
    TCustomDXDraw& view = *FView;
    // The window area of the view stands in for the screen.
    view.FPrimary = std::make_unique<TDirectDrawSurface>(view.FDDraw.get());
    view.FPrimary->Primary = true;
    if (!view.FPrimary->Create(std::max(view.width(), 1), std::max(view.height(), 1)))
        throw EDXDrawError("Primary Surface cannot be made");

    if (PlatformFaults().RefuseClipper) throw EDirectDrawClipperError("Clipper cannot be made");
    view.FClipper = std::make_unique<TDirectDrawClipper>(view.FDDraw.get());
    view.FClipper->SetWindow(&view);

    view.FBack = std::make_unique<TDirectDrawSurface>(view.FDDraw.get());
    const int width = std::max(view.FStoredWidth, 1);
    const int height = std::max(view.FStoredHeight, 1);
    if (!view.FBack->Create(width, height) && !view.FBack->Create(width, height))
        throw EDXDrawError("Surface cannot be made");
    view.FBack->Fill(0);
}

void TDXDrawDriverBlt::Finalize() {
    TCustomDXDraw& view = *FView;
    view.FClipper.reset();
    view.FBack.reset();
    view.FPrimary.reset();
    view.FDDraw.reset();
}

void TDXDrawDriverBlt::Flip() {
    TCustomDXDraw& view = *FView;
    TDirectDrawSurface* back = view.FBack.get();
    TDirectDrawSurface* primary = view.FPrimary.get();
    if (back == nullptr || !back->HasSurface() || primary == nullptr || !primary->HasSurface())
        return;
    // A locked surface cannot take part in a copy.
    if (back->Locked() || primary->Locked()) return;
    const QImage& source = *back->Image();
    QImage& target = *primary->Image();

    // Centred without scaling; the division truncates toward zero.
    const int originX = (view.width() - source.width()) / 2;
    const int originY = (view.height() - source.height()) / 2;
    QRect area = QRect(originX, originY, source.width(), source.height()) & target.rect();
    if (view.FClipper && view.FClipper->Window() != nullptr)
        area &= view.FClipper->Window()->rect();
    if (area.isEmpty()) return;

    constexpr int BytesPerPixel = 2;
    const qsizetype rowBytes = static_cast<qsizetype>(area.width()) * BytesPerPixel;
    uint8_t* targetBits = target.bits();
    const uint8_t* sourceBits = source.constBits();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uint8_t* to = targetBits + y * target.bytesPerLine() + area.left() * BytesPerPixel;
        const uint8_t* from = sourceBits + (y - originY) * source.bytesPerLine() +
                              (area.left() - originX) * BytesPerPixel;
        std::memcpy(to, from, static_cast<size_t>(rowBytes));
    }
    view.repaint(area);
}

void TDXDrawDriverBlt::Resize() {
    TCustomDXDraw& view = *FView;
    if (!view.FBack) return;
    // A refusal leaves the view without a platform back surface; drawing then finds none.
    if (view.FBack->Create(std::max(view.FStoredWidth, 1), std::max(view.FStoredHeight, 1)))
        view.FBack->Fill(0);
}

// ---- The view ----

TCustomDXDraw::TCustomDXDraw(QWidget* parent) : QWidget(parent) {
    Color = palette().color(QPalette::Button);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (QWidget* up = parentWidget(); up != nullptr; up = up->parentWidget()) {
        if (auto* form = qobject_cast<TForm*>(up)) {
            FForm = form;
            break;
        }
    }
    if (FForm != nullptr)
        FFormHook = std::make_unique<TControlSubClass>(
            FForm, [this](QEvent* event, const std::function<bool(QEvent*)>& prev) {
                return FormHandler(event, prev);
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

bool TCustomDXDraw::FormHandler(QEvent* event, const std::function<bool(QEvent*)>& prev) {
    switch (event->type()) {
    case QEvent::Show: {
        const bool result = prev(event);
        if (AutoInitialize && !FInitializeAttempted) InitializeView();
        return result;
    }
    case QEvent::Close:
        // Only the window system's close request finalises; a program close does not.
        if (event->spontaneous()) FinalizeView();
        return prev(event);
    default:
        return prev(event);
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

TDirectDraw* TCustomDXDraw::DDraw() const {
    return FDDraw.get();
}

TDirectDrawSurface* TCustomDXDraw::PrimarySurface() const {
    return FPrimary.get();
}

TDirectDrawSurface* TCustomDXDraw::BackSurface() const {
    return FBack.get();
}

TDirectDrawClipper* TCustomDXDraw::Clipper() const {
    return FClipper.get();
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

void TCustomDXDraw::FinalizeView() {
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
    FClipper.reset();
    FBack.reset();
    FPrimary.reset();
    FDDraw.reset();
    FPicture32 = QImage();
    FUpdating = false;
    if (error) std::rethrow_exception(error);
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

void TCustomDXDraw::Flip() {
    if (!FInitialized || FUpdating || !FDriver || !CanPresent()) return;
    FDriver->Flip();
}

const QImage& TCustomDXDraw::Presented() const {
    static const QImage none;
    return FPrimary && FPrimary->HasSurface() ? *FPrimary->Image() : none;
}

void TCustomDXDraw::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    const QRect area = event->rect();
    if (!FPrimary || !FPrimary->HasSurface()) {
        painter.fillRect(area, Color);
        return;
    }
    const QImage& picture = *FPrimary->Image();
    const QRect shown = area & picture.rect();
    if (!shown.isEmpty()) {
        if (PaintsOnRgb16(painter)) {
            painter.drawImage(shown.topLeft(), picture, shown);
        } else {
            // Qt's generic 16-to-32-bit path costs several times this conversion plus a plain copy.
            if (FPicture32.size() != picture.size())
                FPicture32 = QImage(picture.size(), QImage::Format_RGB32);
            ConvertRgb565(picture, FPicture32, shown);
            painter.drawImage(shown.topLeft(), FPicture32, shown);
        }
    }
    for (const QRect& rest : QRegion(area) - QRegion(shown))
        painter.fillRect(rest, Color);
}

void FlipView(TCustomDXDraw* view) {
    if (view != nullptr) view->Flip();
}
