// The view TCustomDXDraw: its form hook, initialisation and finalisation, restoring, and the
// windowed presenting driver that copies the back surface into the window area.
#include "present/DXDraw.h"

#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QResizeEvent>

#include <QBackingStore>
#include <QWindow>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <exception>
#include <map>
#include <vector>

#include "util/Platform.h"
#if VOXEL_X86
#include <immintrin.h>
#endif

#include "util/CpuFeatures.h"
#include "util/Exceptions.h"
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

void ConvertRowPlain(const uint8_t* source, uint32_t* target, int count) {
    const TRgb565Tables& tables = Rgb565Tables();
    for (int x = 0; x < count; ++x)
        target[x] = tables.Low[source[2 * x]] | tables.High[source[2 * x + 1]];
}

#if VOXEL_X86
// Sixteen pixels at a time: a 5-bit channel c at the top of a 16-bit lane times 0x108 keeps
// c << 3 | c >> 2 in the high half, a 6-bit one at bit 5 times 0x2080 keeps c << 2 | c >> 4.
__attribute__((target("avx2"))) void ConvertRowAvx2(const uint8_t* source, uint32_t* target,
                                                    int count) {
    const __m256i redMask = _mm256_set1_epi16(static_cast<int16_t>(0xF800));
    const __m256i greenMask = _mm256_set1_epi16(0x07E0);
    const __m256i five = _mm256_set1_epi16(0x0108), six = _mm256_set1_epi16(0x2080);
    const __m256i alpha = _mm256_set1_epi16(static_cast<int16_t>(0xFF00));
    int x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(source + 2 * x));
        const __m256i r = _mm256_mulhi_epu16(_mm256_and_si256(p, redMask), five);
        const __m256i g = _mm256_mulhi_epu16(_mm256_and_si256(p, greenMask), six);
        const __m256i b = _mm256_mulhi_epu16(_mm256_slli_epi16(p, 11), five);
        const __m256i low = _mm256_or_si256(b, _mm256_slli_epi16(g, 8)); // green, blue
        const __m256i high = _mm256_or_si256(r, alpha);                  // 0xFF, red
        const __m256i a = _mm256_unpacklo_epi16(low, high); // pixels 0-3, 8-11
        const __m256i c = _mm256_unpackhi_epi16(low, high); // pixels 4-7, 12-15
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + x),
                            _mm256_permute2x128_si256(a, c, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(target + x + 8),
                            _mm256_permute2x128_si256(a, c, 0x31));
    }
    ConvertRowPlain(source + 2 * x, target + x, count - x);
}
#endif

using TConvertRow = void (*)(const uint8_t*, uint32_t*, int);

TConvertRow PickConvertRow() {
#if VOXEL_X86
    if (CpuHas(TSimd::Avx2)) return &ConvertRowAvx2;
#endif
    return &ConvertRowPlain;
}

const TConvertRow ConvertRow = PickConvertRow();

// Whether two runs of 16 pixels are equal, without a library call.
inline bool SameChunk(const uint8_t* a, const uint8_t* b) {
    uint64_t difference = 0;
    for (int i = 0; i < 32; i += 8) {
        uint64_t p, q;
        std::memcpy(&p, a + i, 8);
        std::memcpy(&q, b + i, 8);
        difference |= p ^ q;
    }
    return difference == 0;
}

// Copies the part of a row that differs, in whole runs of 16 pixels: [first, end) are the
// pixels copied. False when the rows are equal.
bool CopyChangedRow(const uint8_t* from, uint8_t* to, int width, int& first, int& end) {
    constexpr int Run = 16;
    const auto same = [from, to, width](int x) {
        if (width - x >= Run) return SameChunk(from + 2 * x, to + 2 * x);
        return std::memcmp(from + 2 * x, to + 2 * x, static_cast<size_t>(width - x) * 2) == 0;
    };
    first = 0;
    while (first < width && same(first)) first += Run;
    if (first >= width) return false;
    int last = (width - 1) / Run * Run;
    while (last > first && same(last)) last -= Run;
    end = std::min(last + Run, width);
    std::memcpy(to + 2 * first, from + 2 * first, static_cast<size_t>(end - first) * 2);
    return true;
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

    // Only what differs from the window area is copied and shown: the map view changes only
    // under the brush, and a view that did not change at all costs a comparison.
    constexpr int BytesPerPixel = 2;
    uint8_t* targetBits = target.bits();
    const uint8_t* sourceBits = source.constBits();
    int left = INT_MAX, right = -1, top = -1, bottom = -1;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        uint8_t* to = targetBits + y * target.bytesPerLine() + area.left() * BytesPerPixel;
        const uint8_t* from = sourceBits + (y - originY) * source.bytesPerLine() +
                              (area.left() - originX) * BytesPerPixel;
        int first = 0, end = 0;
        if (!CopyChangedRow(from, to, area.width(), first, end)) continue;
        left = std::min(left, first);
        right = std::max(right, end - 1);
        if (top < 0) top = y;
        bottom = y;
    }
    if (bottom < 0) return;
    view.ShowPresented(QRect(area.left() + left, top, right - left + 1, bottom - top + 1));
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
            ConvertRgb565ToRgb32(picture, shown,
                                 FPicture32.bits() + shown.top() * FPicture32.bytesPerLine() +
                                     shown.left() * 4,
                                 FPicture32.bytesPerLine());
            painter.drawImage(shown.topLeft(), FPicture32, shown);
        }
    }
    for (const QRect& rest : QRegion(area) - QRegion(shown))
        painter.fillRect(rest, Color);
}

void TCustomDXDraw::ShowPresented(const QRect& area) {
    if (area.isEmpty()) return;
    if (!WriteToBackingStore(area)) repaint(area);
}

// Straight into the window's backing store and flushed: no paint event, no painter, no
// allocation. Only for the plain cases (a visible view on an exposed window whose store is an
// unscaled opaque image of 16 or 32 bits); everything else goes through a repaint.
bool TCustomDXDraw::WriteToBackingStore(const QRect& area) {
    if (!FPrimary || !FPrimary->HasSurface() || !isVisible()) return false;
    QWidget* top = window();
    QBackingStore* store = top->backingStore();
    QWindow* handle = top->windowHandle();
    if (store == nullptr || handle == nullptr || !handle->isExposed()) return false;
    QPaintDevice* device = store->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return false;
    const auto* storeImage = static_cast<const QImage*>(device);
    const QImage::Format format = storeImage->format();
    if (storeImage->devicePixelRatio() != 1.0 ||
        (format != QImage::Format_RGB32 && format != QImage::Format_RGB16))
        return false;
    const QRect viewInWindow(mapTo(top, QPoint(0, 0)), size());
    if (!storeImage->rect().contains(viewInWindow)) return false;
    const QImage& picture = *FPrimary->Image();
    const QRect shown = area & picture.rect() & rect();
    if (shown.isEmpty()) return true;
    if (FFlushRect != viewInWindow) {
        FFlushRegion = QRegion(viewInWindow);
        FFlushRect = viewInWindow;
    }

    store->beginPaint(FFlushRegion);
    auto* image = static_cast<QImage*>(store->paintDevice());
    const qsizetype pitch = image->bytesPerLine();
    const int bytesPerPixel = format == QImage::Format_RGB16 ? 2 : 4;
    uint8_t* target = image->bits() + (viewInWindow.top() + shown.top()) * pitch +
                      (viewInWindow.left() + shown.left()) * bytesPerPixel;
    if (format == QImage::Format_RGB16) {
        const uint8_t* from = picture.constBits() + shown.top() * picture.bytesPerLine() +
                              shown.left() * 2;
        for (int y = 0; y < shown.height(); ++y)
            std::memcpy(target + y * pitch, from + y * picture.bytesPerLine(),
                        static_cast<size_t>(shown.width()) * 2);
    } else {
        ConvertRgb565ToRgb32(picture, shown, target, pitch);
    }
    store->endPaint();
    store->flush(FFlushRegion, handle);
    return true;
}

void ConvertRgb565ToRgb32(const QImage& from, const QRect& area, uint8_t* target,
                          qsizetype targetPitch) {
    const uint8_t* source = from.constBits() + area.top() * from.bytesPerLine() + area.left() * 2;
    for (int y = 0; y < area.height(); ++y)
        ConvertRow(source + y * from.bytesPerLine(),
                   reinterpret_cast<uint32_t*>(target + y * targetPitch), area.width());
}

void FlipView(TCustomDXDraw* view) {
    if (view != nullptr) view->Flip();
}
