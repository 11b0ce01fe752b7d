// The spin edit: a line edit with up and down buttons whose value is its text, unclamped
// while typing and clamped when the program sets it or the control loses focus.
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>

class QLineEdit;
class QPoint;
class QToolButton;
class TSelectionFetch;

class TSpinEdit : public QWidget {
    Q_OBJECT
  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    int32_t MinValue() const;
    int32_t MaxValue() const;
    void SetMinValue(int32_t value);
    void SetMaxValue(int32_t value);

    // The text read as a decimal integer; text that is not one reads as MinValue. Not clamped.
    int32_t Value() const;
    // Sets the text to the value clamped to the range.
    void SetValue(int32_t value);

    QString Text() const;
    QLineEdit* Editor() const;
    QToolButton* UpButton() const;
    QToolButton* DownButton() const;

    // Runs on every change of the text (typing, arrows, keys, program).
    std::function<void()> OnChange;

    // Adds delta to the value as the arrow buttons do, clamped to the range.
    void Step(int32_t delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void CheckOnExit();
    // Pastes as the editor would, but another program's clipboard arrives off the loop.
    void Paste();
    // The editor's own menu asks the clipboard for its text to enable Paste: for another
    // program's clipboard this one is shown instead, its Paste the one above.
    void ShowMenu(const QPoint& at);

    QLineEdit* FEditor;
    QToolButton* FUpButton;
    QToolButton* FDownButton;
    int32_t FMinValue = 0;
    int32_t FMaxValue = 0;
    TSelectionFetch* FFetch = nullptr; // made at the first paste from another program
};
