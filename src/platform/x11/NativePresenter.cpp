#include "platform/x11/NativePresenter.h"

#include <QRegion>
#include <QWidget>

#include <algorithm>
#include <cmath>

#include "platform/x11/ShmConnection.h"
#include "platform/x11/ShmPresenter.h"

TNativePresenter::TNativePresenter(QWidget* view, TShmConnection& link)
    : FView(view), FLink(link) {
    FView->setAttribute(Qt::WA_NativeWindow);
    FView->setAttribute(Qt::WA_PaintOnScreen);
    FView->setAttribute(Qt::WA_NoSystemBackground);
}

TNativePresenter::~TNativePresenter() = default;

int TNativePresenter::DeviceScale() const {
    return std::max(1, static_cast<int>(std::lround(FView->devicePixelRatioF())));
}

TShmPresenter* TNativePresenter::Presenter() {
    if (!FShm) {
        FShm = std::make_unique<TShmPresenter>(FLink, static_cast<xcb_window_t>(FView->winId()));
        for (const QWidget* w = FView; w != nullptr && !w->isWindow(); w = w->parentWidget())
            if (w->internalWinId() != 0)
                FLink.Unname(static_cast<xcb_window_t>(w->internalWinId()));
    }
    return FShm->Ready() ? FShm.get() : nullptr;
}

void TNativePresenter::Show(const QImage& picture, const QRect& area) {
    if (area.isEmpty()) return;
    if (TShmPresenter* presenter = Presenter()) presenter->Present(picture, area, DeviceScale());
}

void TNativePresenter::Expose(const QImage* picture, const QRect& area, const QColor& colour) {
    // Exposure of the native window: put again from the presented picture.
    TShmPresenter* presenter = Presenter();
    if (presenter == nullptr) return;
    QRect shown;
    if (picture != nullptr) {
        shown = area & picture->rect();
        if (!shown.isEmpty()) presenter->Present(*picture, shown, DeviceScale());
    }
    for (const QRect& rest : QRegion(area) - QRegion(shown))
        presenter->Fill(rest, colour, DeviceScale());
}

void TNativePresenter::Release() {
    FShm.reset();
}
