// The circle is the ring of device pixels whose centres lie within half a pixel of the radius;
// the rim is every pixel touching the ring or the mark from outside them.
#include "toolkit/CircleCursor.h"

#include <QCursor>
#include <QEvent>
#include <QPixmap>
#include <QWidget>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {
constexpr QRgb Light = 0xFFFFFFFFu;
constexpr QRgb Dark = 0xFF000000u;
} // namespace

TCircleCursor::TCircleCursor(QWidget* widget, int minRadius, int maxRadius)
    : QObject(widget), FWidget(widget), FMinRadius(minRadius), FMaxRadius(maxRadius) {
    widget->installEventFilter(this);
}

void TCircleCursor::SetRadius(int radius) {
    FRadius = radius;
    Apply();
}

QImage TCircleCursor::Picture(int deviceRadius, int margin, QPoint& centre) {
    const int c = deviceRadius + margin;
    const int side = 2 * c + 1;
    // Within half a pixel of the radius, in whole numbers: (2r - 1)^2 < 4 d^2 < (2r + 1)^2.
    const int64_t inner = int64_t(2 * deviceRadius - 1) * (2 * deviceRadius - 1);
    const int64_t outer = int64_t(2 * deviceRadius + 1) * (2 * deviceRadius + 1);
    std::vector<uint8_t> light(size_t(side) * side, 0);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const int64_t d4 = 4 * (int64_t(x - c) * (x - c) + int64_t(y - c) * (y - c));
            light[size_t(y) * side + x] = inner < d4 && d4 < outer;
        }
    // The mark: a small cross, its arms half the margin.
    const int arm = std::max(1, margin / 2);
    for (int k = -arm; k <= arm; ++k) {
        light[size_t(c) * side + c + k] = 1;
        light[size_t(c + k) * side + c] = 1;
    }
    QImage image(side, side, QImage::Format_ARGB32);
    for (int y = 0; y < side; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < side; ++x) {
            bool rim = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    rim = rim || (nx >= 0 && ny >= 0 && nx < side && ny < side &&
                                  light[size_t(ny) * side + nx]);
                }
            row[x] = light[size_t(y) * side + x] ? Light : rim ? Dark : 0u;
        }
    }
    centre = QPoint(c, c);
    return image;
}

void TCircleCursor::Apply() {
    FScale = FWidget->devicePixelRatioF();
    if (FRadius < FMinRadius || FRadius > FMaxRadius) {
        FWidget->setCursor(Qt::CrossCursor);
        return;
    }
    const int deviceRadius = static_cast<int>(std::lround(FRadius * FScale));
    QPoint centre;
    const QImage picture = Picture(deviceRadius, 4, centre);
    // The picture and its hot spot both in device pixels, taken as they are: a logical hot
    // spot would be rounded off the centre at scales like 1.5.
    FWidget->setCursor(QCursor(QPixmap::fromImage(picture), centre.x(), centre.y()));
}

bool TCircleCursor::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter && FWidget->devicePixelRatioF() != FScale) Apply();
    return QObject::eventFilter(watched, event);
}
