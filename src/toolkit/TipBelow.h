// A tooltip shown below a widget rather than at the cursor: for a view the user works in, whose
// picture (and the cursor's place over it) a tip must not cover.
#pragma once

#include <QObject>
#include <QString>

class QWidget;

class TTipBelow : public QObject {
  public:
    // Shows text under widget's lower left corner when the cursor rests over it; the tip goes
    // when the cursor leaves the widget. Owned by the widget.
    TTipBelow(QWidget* widget, QString text);

  protected:
    bool eventFilter(QObject* target, QEvent* event) override;

  private:
    QWidget* FWidget;
    QString FText;
};
