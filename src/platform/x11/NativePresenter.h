// Presents a view into a native X window of its own through our connection (shared memory,
// else plain puts): the toolkit paints nothing there.
#pragma once

#include <memory>

#include "platform/Presenter.h"

class QWidget;
class TShmConnection;
class TShmPresenter;

class TNativePresenter : public TPresenter {
  public:
    // Gives view its own native window; the toolkit's widgets beside it stay without one
    // (the platform has set Qt::AA_DontCreateNativeWidgetSiblings).
    TNativePresenter(QWidget* view, TShmConnection& link);
    ~TNativePresenter() override;

    bool PaintsItself() const override { return true; }
    void Show(const QImage& picture, const QRect& area) override;
    void Expose(const QImage* picture, const QRect& area, const QColor& colour) override;
    void Release() override; // the segments go with the views' surfaces

  private:
    // The window's presenter, made on first use; null when it cannot present.
    TShmPresenter* Presenter();
    int DeviceScale() const;

    QWidget* FView;
    TShmConnection& FLink;
    std::unique_ptr<TShmPresenter> FShm;
};
