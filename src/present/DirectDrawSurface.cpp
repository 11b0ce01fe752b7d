// One surface on a QImage in RGB565: creation, fill, lock, loss and restoring, its canvas.
#include "present/DirectDraw.h"

#include <bit>

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

} // namespace

namespace {

uint64_t FreshWriteCount() {
    static uint64_t surfaces = 0;
    return ++surfaces << 40;
}

} // namespace

TDirectDrawSurface::TDirectDrawSurface(TDirectDraw* owner)
    : Owner(owner), FWrites(FreshWriteCount()) {}

TDirectDrawSurface::~TDirectDrawSurface() {
    // The canvas paints on the image, so it goes first.
    FCanvas.reset();
}

bool TDirectDrawSurface::Create(int width, int height) {
    NoteWrite();
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
    NoteWrite();
    if ((native & 0xFFFFu) == 0) FBlankAt = FWrites;
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
    desc.Blank = FWrites == FBlankAt;
    FLocked = true;
    NoteWrite();
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
