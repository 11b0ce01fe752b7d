// Surfaces and their canvas on QImage (RGB565), the fault seam, pixel packing and the drawing
// operations that the views' drawing code calls.
#include "present/DXDraw.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>
#include <bit>
#include <cstddef>

#include "util/Exceptions.h"

// Pixels are little-endian words in memory, and QImage keeps them in the host's order.
static_assert(std::endian::native == std::endian::little, "RGB565 surfaces assume little-endian");

namespace {

// Result codes recorded in LastResult; 0 is success.
constexpr int32_t ResultOk = 0;
constexpr int32_t ResultNoSurface = 1;
constexpr int32_t ResultOutOfMemory = 2;
constexpr int32_t ResultBusy = 3;
constexpr int32_t ResultNotLocked = 4;
constexpr int32_t ResultRefused = 5;

uint8_t* PixelRow(const TLockedSurface& s, int y) {
    return s.Bits + static_cast<std::ptrdiff_t>(y) * s.Pitch;
}

bool InSurface(const TLockedSurface& s, int x, int y) {
    return s.Bits != nullptr && x >= 0 && y >= 0 && x < s.Width && y < s.Height;
}

bool HasPlatformSurface(const TDirectDrawSurface* surface) {
    return surface != nullptr && surface->HasSurface();
}

} // namespace

TPlatformFaults& PlatformFaults() {
    static TPlatformFaults faults;
    return faults;
}

// ---- Wrappers ----

void TDirectX::SetResult(int32_t result) {
    LastResult = result;
    if (result != 0) DoError(result);
}

TDirectDraw::TDirectDraw() {
    SetResult(ResultOk);
}

// The view frees this display object's surfaces and clipper before it.
TDirectDraw::~TDirectDraw() = default;

TDirectDrawClipper::TDirectDrawClipper(TDirectDraw*) {
    SetResult(ResultOk);
}

void TDirectDrawClipper::SetWindow(QWidget* window) {
    FWindow = window;
    SetResult(ResultOk);
}

QWidget* TDirectDrawClipper::Window() const {
    return FWindow;
}

// ---- Canvas ----

TDirectDrawSurfaceCanvas::TDirectDrawSurfaceCanvas(TDirectDrawSurface* surface)
    : FSurface(surface) {
    FText.setTextFormat(Qt::PlainText);
}

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() {
    EndPainting();
}

QPainter* TDirectDrawSurfaceCanvas::RequireContext() {
    if (FContext) return FPainter.get();
    // A locked surface gives no context, as the platform's does not.
    if (!FSurface->HasSurface() || FSurface->Locked() || PlatformFaults().RefuseDeviceContext)
        throw EInvalidOperation("Canvas does not allow drawing");
    if (!FPainter) {
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(FSurface->Image()))
            throw EInvalidOperation("Canvas does not allow drawing");
        FPainter = std::move(painter);
        FApplied = false;
    }
    FContext = true;
    return FPainter.get();
}

void TDirectDrawSurfaceCanvas::ApplySettings(QPainter* painter) {
    if (FApplied && Font == FAppliedFont && FontColor == FAppliedColor) return;
    if (!FApplied || Font != FAppliedFont) {
        painter->setFont(Font);
        FAppliedFont = Font;
        FAscent = painter->fontMetrics().ascent();
        // A laid-out line puts its baseline at the font's exact ascent (plus a positive leading)
        // below its top, where drawing a text at a point uses the rounded ascent.
        const QFontMetricsF exact(painter->font(), painter->device());
        FLayoutBase = exact.ascent() + std::max<qreal>(exact.leading(), 0);
    }
    painter->setPen(FontColor);
    FAppliedColor = FontColor;
    FApplied = true;
}

void TDirectDrawSurfaceCanvas::TextOut(int x, int y, const QString& text) {
    TextOut(x, y, QStringView(text));
}

void TDirectDrawSurfaceCanvas::TextOut(int x, int y, QStringView text) {
    QPainter* painter = RequireContext();
    ApplySettings(painter);
    if (BrushStyle == TBrushStyle::bsSolid) {
        const QString copy = text.toString();
        painter->fillRect(QRect(x, y, painter->fontMetrics().horizontalAdvance(copy),
                                painter->fontMetrics().height()),
                          BrushColor);
    }
    if (FText.text() != text) FText.setText(text.toString());
    painter->drawStaticText(QPointF(x, y + FAscent - FLayoutBase), FText);
}

void TDirectDrawSurfaceCanvas::Draw(int x, int y, const QImage& image) {
    RequireContext()->drawImage(x, y, image);
}

void TDirectDrawSurfaceCanvas::Release() {
    FContext = false;
}

bool TDirectDrawSurfaceCanvas::HasContext() const {
    return FContext;
}

void TDirectDrawSurfaceCanvas::EndPainting() {
    FContext = false;
    if (!FPainter) return;
    FPainter->end();
    FPainter.reset();
}

// ---- Surface ----

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* owner) : Owner(owner) {}

TDirectDrawSurface::~TDirectDrawSurface() {
    // The canvas paints on the image, so it goes first.
    FCanvas.reset();
}

bool TDirectDrawSurface::Create(int width, int height) {
    TPlatformFaults& faults = PlatformFaults();
    const bool refused = Primary ? faults.RefusePrimarySurface : faults.RefuseBackSurface > 0;
    if (refused) {
        if (!Primary) --faults.RefuseBackSurface;
        SetResult(ResultOutOfMemory);
        return false;
    }
    if (width <= 0 || height <= 0) {
        SetResult(ResultRefused);
        return false;
    }
    if (FCanvas) FCanvas->EndPainting();
    FLocked = false;
    FImage = std::make_unique<QImage>(width, height, QImage::Format_RGB16);
    if (FImage->isNull()) {
        FImage.reset();
        SetResult(ResultOutOfMemory);
        return false;
    }
    // Fresh memory is undefined on the platform; here it starts black so reads are defined.
    FImage->fill(0u);
    SetResult(ResultOk);
    return true;
}

bool TDirectDrawSurface::HasSurface() const {
    return FImage != nullptr;
}

QImage* TDirectDrawSurface::Image() {
    return FImage.get();
}

int TDirectDrawSurface::Width() const {
    return FImage ? FImage->width() : 0;
}

int TDirectDrawSurface::Height() const {
    return FImage ? FImage->height() : 0;
}

int TDirectDrawSurface::BitCount() const {
    return FImage ? FImage->depth() : 0;
}

bool TDirectDrawSurface::Fill(uint32_t native) {
    if (!FImage) {
        SetResult(ResultNoSurface);
        return false;
    }
    if (FLocked) {
        SetResult(ResultBusy);
        return false;
    }
    // At 16 bits QImage stores the value as it is: the native value's low 16 bits.
    FImage->fill(native & 0xFFFFu);
    SetResult(ResultOk);
    return true;
}

bool TDirectDrawSurface::Lock(TLockedSurface& desc) {
    desc = TLockedSurface{};
    if (!FImage) {
        SetResult(ResultNoSurface);
        return false;
    }
    if (PlatformFaults().RefuseLock || FLocked || (FCanvas && FCanvas->HasContext())) {
        SetResult(ResultBusy);
        return false;
    }
    desc.Bits = FImage->bits();
    desc.Pitch = static_cast<int32_t>(FImage->bytesPerLine());
    desc.BitCount = FImage->depth();
    desc.Width = FImage->width();
    desc.Height = FImage->height();
    FLocked = true;
    SetResult(ResultOk);
    return true;
}

void TDirectDrawSurface::Unlock(void*) {
    if (!FLocked) {
        SetResult(ResultNotLocked);
        return;
    }
    FLocked = false;
    SetResult(ResultOk);
}

bool TDirectDrawSurface::Locked() const {
    return FLocked;
}

bool TDirectDrawSurface::IsLost() const {
    return Primary && FImage && PlatformFaults().PrimaryLost;
}

bool TDirectDrawSurface::Restore() {
    if (!FImage) {
        SetResult(ResultNoSurface);
        return false;
    }
    if (IsLost()) PlatformFaults().PrimaryLost = false;
    SetResult(ResultOk);
    return true;
}

TDirectDrawSurfaceCanvas* TDirectDrawSurface::Canvas() {
    if (!FCanvas) FCanvas = std::make_unique<TDirectDrawSurfaceCanvas>(this);
    return FCanvas.get();
}

// ---- Pixel packing ----

void StorePixel(const TLockedSurface& s, int x, int y, uint32_t native) {
    if (!InSurface(s, x, y)) return;
    uint8_t* row = PixelRow(s, y);
    switch (s.BitCount) {
    case 1: {
        // Leftmost pixel in the most significant bit.
        const uint8_t mask = static_cast<uint8_t>(0x80u >> (x & 7));
        uint8_t& byte = row[x >> 3];
        byte = static_cast<uint8_t>((native & 1u) ? (byte | mask) : (byte & ~mask));
        break;
    }
    case 4: {
        // Even x in the high nibble.
        uint8_t& byte = row[x >> 1];
        const uint8_t nibble = static_cast<uint8_t>(native & 0x0Fu);
        byte = (x & 1) ? static_cast<uint8_t>((byte & 0xF0u) | nibble)
                       : static_cast<uint8_t>((byte & 0x0Fu) | (nibble << 4));
        break;
    }
    case 8:
        row[x] = static_cast<uint8_t>(native);
        break;
    case 16:
    case 24:
    case 32: {
        // Little-endian: least significant byte first.
        const int bytes = s.BitCount / 8;
        uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
        for (int i = 0; i < bytes; ++i)
            p[i] = static_cast<uint8_t>(native >> (8 * i));
        break;
    }
    default:
        break;
    }
}

uint32_t LoadPixel(const TLockedSurface& s, int x, int y) {
    if (!InSurface(s, x, y)) return 0;
    const uint8_t* row = PixelRow(s, y);
    switch (s.BitCount) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1u;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0Fu) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
    case 24:
    case 32: {
        const int bytes = s.BitCount / 8;
        const uint8_t* p = row + static_cast<std::ptrdiff_t>(x) * bytes;
        uint32_t value = 0;
        for (int i = 0; i < bytes; ++i)
            value |= static_cast<uint32_t>(p[i]) << (8 * i);
        return value;
    }
    default:
        return 0;
    }
}

// ---- Drawing operations ----

bool FillSurface(TDirectDrawSurface* surface, uint32_t native) {
    return surface != nullptr && surface->Fill(native);
}

bool LockSurface(TDirectDrawSurface* surface, TLockedSurface& desc) {
    if (surface == nullptr) {
        desc = TLockedSurface{};
        return false;
    }
    return surface->Lock(desc);
}

void UnlockSurface(TDirectDrawSurface* surface, void* bits) {
    if (surface != nullptr) surface->Unlock(bits);
}

void PutPixel(TDirectDrawSurface* surface, int x, int y, uint32_t native) {
    if (!HasPlatformSurface(surface)) return;
    if (x < 0 || y < 0 || x >= surface->Width() || y >= surface->Height()) return;
    TLockedSurface desc;
    if (!surface->Lock(desc)) return;
    StorePixel(desc, x, y, native);
    surface->Unlock(desc.Bits);
}

uint32_t ReadPixel(TDirectDrawSurface* surface, int x, int y) {
    if (!HasPlatformSurface(surface)) return 0;
    if (x < 0 || y < 0 || x >= surface->Width() || y >= surface->Height()) return 0;
    TLockedSurface desc;
    if (!surface->Lock(desc)) return 0;
    const uint32_t value = LoadPixel(desc, x, y);
    surface->Unlock(desc.Bits);
    return value;
}

namespace {

// A system colour (high byte 0x80, index in the low byte) replaced by its current RGB.
QColor ColourToQColor(uint32_t colour) {
    if ((colour >> 24) == 0x80u) {
        const QPalette palette = QGuiApplication::palette();
        switch (colour & 0xFFu) {
        case 5:
            return palette.color(QPalette::Base); // window
        case 8:
            return palette.color(QPalette::Text); // window text
        case 13:
            return palette.color(QPalette::Highlight);
        case 14:
            return palette.color(QPalette::HighlightedText);
        case 18:
            return palette.color(QPalette::ButtonText);
        default:
            return palette.color(QPalette::Button); // button face and the rest
        }
    }
    return QColor(static_cast<int>(colour & 0xFFu), static_cast<int>((colour >> 8) & 0xFFu),
                  static_cast<int>((colour >> 16) & 0xFFu));
}

} // namespace

uint32_t MatchColor(TDirectDrawSurface* surface, uint32_t colour) {
    if (!HasPlatformSurface(surface)) return 0;
    const uint32_t saved = ReadPixel(surface, 0, 0);
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.setPixelColor(0, 0, ColourToQColor(colour));
    TDirectDrawSurfaceCanvas* canvas = surface->Canvas();
    canvas->Draw(0, 0, dot);
    ReleaseCanvas(canvas);
    const uint32_t result = ReadPixel(surface, 0, 0);
    PutPixel(surface, 0, 0, saved);
    return result;
}

TDirectDrawSurfaceCanvas* SurfaceCanvas(TDirectDrawSurface* surface) {
    return surface != nullptr ? surface->Canvas() : nullptr;
}

void ReleaseCanvas(TDirectDrawSurfaceCanvas* canvas) {
    if (canvas != nullptr) canvas->Release();
}
