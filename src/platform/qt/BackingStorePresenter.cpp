// Putting a view's picture on the screen through the toolkit: straight into its window's
// backing store when a present comes, and from a paint event when the window system asks.
#include "platform/qt/BackingStorePresenter.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>
#include <QWindow>

#include <cstring>

#include "platform/Rgb565.h"

void TBackingStorePresenter::Show(const QImage& picture, const QRect& area) {
    if (area.isEmpty()) return;
    if (!WriteToBackingStore(picture, area)) FView->repaint(area);
}

void TBackingStorePresenter::Expose(const QImage* picture, const QRect& area,
                                    const QColor& colour) {
    QPainter painter(FView);
    if (picture == nullptr) {
        painter.fillRect(area, colour);
        return;
    }
    // On exposure, and where the direct path below does not apply; Qt converts for a 32-bit
    // target itself, with the same result as the direct path's conversion.
    const QRect shown = area & picture->rect();
    if (!shown.isEmpty()) painter.drawImage(shown.topLeft(), *picture, shown);
    for (const QRect& rest : QRegion(area) - QRegion(shown))
        painter.fillRect(rest, colour);
}

// Straight into the window's backing store and flushed: no paint event, no painter, no
// allocation. Only for the plain cases (a visible view on an exposed window whose store is an
// unscaled image of 16 or 32 bits); everything else goes through a repaint. Under X the store
// of a 24-bit window is premultiplied ARGB32 (Qt paints that format fastest): the converted
// pixels are opaque, so they mean the same there as in RGB32.
bool TBackingStorePresenter::WriteToBackingStore(const QImage& picture, const QRect& area) {
    if (!FView->isVisible()) return false;
    QWidget* top = FView->window();
    QBackingStore* store = top->backingStore();
    QWindow* handle = top->windowHandle();
    if (store == nullptr || handle == nullptr || !handle->isExposed()) return false;
    QPaintDevice* device = store->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image) return false;
    const auto* storeImage = static_cast<const QImage*>(device);
    const QImage::Format format = storeImage->format();
    const bool wide = format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
                      format == QImage::Format_ARGB32_Premultiplied;
    if (storeImage->devicePixelRatio() != 1.0 || (!wide && format != QImage::Format_RGB16))
        return false;
    // The view in its window's coordinates. A view that an ancestor cuts (the client area
    // scrolled in a window smaller than it) is left to Qt's clipping.
    QRect viewInWindow = FView->rect();
    for (const QWidget* w = FView; w != top; w = w->parentWidget()) {
        viewInWindow.translate(w->pos());
        if (!w->parentWidget()->rect().contains(viewInWindow)) return false;
    }
    if (!storeImage->rect().contains(viewInWindow)) return false;
    // Qt's Wayland store clears the region a paint begins on (its buffers carry alpha): there
    // the whole view is written, or what did not change would show through as transparent.
    static const bool storeClears =
        QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    const QRect shown = (storeClears ? FView->rect() : area) & picture.rect() & FView->rect();
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
        const uint8_t* from =
            picture.constBits() + shown.top() * picture.bytesPerLine() + shown.left() * 2;
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
