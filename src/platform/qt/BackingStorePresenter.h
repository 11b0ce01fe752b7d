// Presents a view through the toolkit: straight into its window's backing store when a
// present comes, and with a painter from a paint event when the window system asks.
#pragma once

#include <QRegion>

#include "platform/Presenter.h"

class QWidget;

class TBackingStorePresenter : public TPresenter {
  public:
    explicit TBackingStorePresenter(QWidget* view) : FView(view) {}

    bool PaintsItself() const override { return false; }
    void Show(const QImage& picture, const QRect& area) override;
    void Expose(const QImage* picture, const QRect& area, const QColor& colour) override;

  private:
    bool WriteToBackingStore(const QImage& picture, const QRect& area);

    QWidget* FView;
    // The view's area in its window's coordinates, kept for flushing without allocating.
    QRegion FFlushRegion;
    QRect FFlushRect;
};
