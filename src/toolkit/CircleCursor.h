// The cursor over a widget as a thin circle of a radius in the widget's pixels, with a small
// mark at its centre, drawn in device pixels at the widget's scale (light with a dark rim, so it
// shows on any ground). Radii outside a range get a plain cross: a typed huge radius builds no
// huge picture.
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>

class QWidget;

class TCircleCursor : public QObject {
  public:
    TCircleCursor(QWidget* widget, int minRadius, int maxRadius);
    // Takes effect at once, also while the cursor is over the widget.
    void SetRadius(int radius);

    // The picture for a radius in device pixels and its centre, the hot spot.
    static QImage Picture(int deviceRadius, int margin, QPoint& centre);

  protected:
    // The scale is checked again whenever the cursor enters (the window may have moved to
    // another screen).
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Apply();
    QWidget* FWidget;
    int FMinRadius;
    int FMaxRadius;
    int FRadius = 0;
    qreal FScale = 0;
};
