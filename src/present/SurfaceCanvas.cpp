// The canvas of a surface: text and images drawn through a painter kept open on its image.
#include "present/DirectDraw.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>

#include "util/Exceptions.h"

TDirectDrawSurfaceCanvas::TDirectDrawSurfaceCanvas(TDirectDrawSurface* surface)
    : FSurface(surface) {
    FText.setTextFormat(Qt::PlainText);
}

TDirectDrawSurfaceCanvas::~TDirectDrawSurfaceCanvas() {
    EndPainting();
}

QPainter* TDirectDrawSurfaceCanvas::RequireContext() {
    // Every drawing call comes here: the surface counts it as written.
    FSurface->NoteWrite();
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
