// How one view's picture reaches the screen; chosen once, when the view is made.
#pragma once

#include <QColor>
#include <QImage>
#include <QRect>

class TPresenter {
  public:
    virtual ~TPresenter() = default;
    // Whether nothing but this presenter paints the view's window: the toolkit gives the view
    // no paint engine then.
    virtual bool PaintsItself() const = 0;
    // Puts area (in the picture's pixels) of the view's picture on the screen before returning.
    virtual void Show(const QImage& picture, const QRect& area) = 0;
    // From the view's paint event: the window system asks for area again. The picture where
    // there is one (null before the view has one), colour around it.
    virtual void Expose(const QImage* picture, const QRect& area, const QColor& colour) = 0;
    // The view finalises: what the presenter holds for its pictures goes; the next Show makes
    // it anew.
    virtual void Release() {}
};
