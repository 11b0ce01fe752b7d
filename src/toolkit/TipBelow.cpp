// The widget's tooltip event, answered with the tip at a place of our choosing.
#include "toolkit/TipBelow.h"

#include <QEvent>
#include <QToolTip>
#include <QWidget>

TTipBelow::TTipBelow(QWidget* widget, QString text)
    : QObject(widget), FWidget(widget), FText(std::move(text)) {
    widget->installEventFilter(this);
}

bool TTipBelow::eventFilter(QObject* target, QEvent* event) {
    if (target != FWidget || event->type() != QEvent::ToolTip) return false;
    QToolTip::showText(FWidget->mapToGlobal(QPoint(0, FWidget->height())), FText, FWidget,
                       FWidget->rect());
    return true;
}
