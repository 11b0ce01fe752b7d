// The spin edit: a line edit with two auto-repeat arrow buttons; typed values are kept as typed
// until the control loses focus.
#include "toolkit/SpinEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QStyleHints>
#include <QToolButton>

#include "toolkit/Application.h"
#include "toolkit/SelectionFetch.h"
#include "util/Exceptions.h"
#include "util/Fnc.h"

namespace {

constexpr int ButtonWidth = 15;
constexpr int RepeatDelayMs = 400;
constexpr int RepeatIntervalMs = 100;

QToolButton* MakeArrowButton(QWidget* parent, Qt::ArrowType arrow) {
    auto* button = new QToolButton(parent);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setAutoRepeatDelay(RepeatDelayMs);
    button->setAutoRepeatInterval(RepeatIntervalMs);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

// Characters that typing may insert: digits, signs and the decimal separator.
bool IsValidPrintable(QChar c) {
    if ((c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('+') ||
        c == QLatin1Char('-') || c == QLatin1Char('.'))
        return true;
    const QString separator = QLocale().decimalPoint();
    return separator.size() == 1 && c == separator.at(0);
}

// The text types, best first; STRING is Latin-1, the others UTF-8.
QString TextTarget(const QStringList& targets) {
    for (const char* name : {"UTF8_STRING", "text/plain;charset=utf-8", "STRING", "text/plain"})
        if (targets.contains(QLatin1String(name))) return QString::fromLatin1(name);
    return {};
}

// Qt's clipboard answers at once for our own data and where there is no X display.
bool ForeignClipboard() {
    return TSelectionFetch::Available() && !QGuiApplication::clipboard()->ownsClipboard();
}

// A fetch's end: its text goes in as Qt's paste puts it, over the selection.
void TakeText(QLineEdit* editor, const TSelectionFetch::TResult& result) {
    if (const char* problem = TSelectionFetch::Problem(result.Outcome)) throw Exception(problem);
    if (result.Outcome != TSelectionFetch::TOutcome::Data) return; // refused, or nothing there
    const QString text = result.Target == QLatin1String("STRING")
                             ? QString::fromLatin1(result.Bytes)
                             : QString::fromUtf8(result.Bytes);
    if (!text.isEmpty() && !editor->isReadOnly()) editor->insert(text);
}

} // namespace

TSpinEdit::TSpinEdit(QWidget* parent)
    : QWidget(parent), FEditor(new QLineEdit(this)), FUpButton(MakeArrowButton(this, Qt::UpArrow)),
      FDownButton(MakeArrowButton(this, Qt::DownArrow)) {
    FEditor->setText(QStringLiteral("0"));
    // Composed input would bypass the key filter.
    FEditor->setAttribute(Qt::WA_InputMethodEnabled, false);
    FEditor->setTextMargins(0, 0, ButtonWidth, 0);
    FEditor->installEventFilter(this);
    setFocusProxy(FEditor);
    setFocusPolicy(FEditor->focusPolicy());
    FUpButton->raise();
    FDownButton->raise();

    const auto notifyChange = [this] {
        if (OnChange) OnChange();
    };
    connect(FEditor, &QLineEdit::textChanged, this, Guarded(notifyChange));
    for (QToolButton* button : {FUpButton, FDownButton}) {
        // Using an arrow puts the focus on the editor, as a click into it would.
        connect(button, &QToolButton::pressed, this, [this] {
            if (!FEditor->hasFocus() && isEnabled()) FEditor->setFocus(Qt::MouseFocusReason);
        });
    }
    connect(FUpButton, &QToolButton::clicked, this, [this] { Step(1); });
    connect(FDownButton, &QToolButton::clicked, this, [this] { Step(-1); });
}

int32_t TSpinEdit::MinValue() const {
    return FMinValue;
}

int32_t TSpinEdit::MaxValue() const {
    return FMaxValue;
}

void TSpinEdit::SetMinValue(int32_t value) {
    FMinValue = value;
}

void TSpinEdit::SetMaxValue(int32_t value) {
    FMaxValue = value;
}

int32_t TSpinEdit::Value() const {
    return TextToInt32(FEditor->text().toStdString()).value_or(FMinValue);
}

void TSpinEdit::SetValue(int32_t value) {
    if (value < FMinValue)
        value = FMinValue;
    else if (value > FMaxValue)
        value = FMaxValue;
    FEditor->setText(QString::number(value));
}

QString TSpinEdit::Text() const {
    return FEditor->text();
}

QLineEdit* TSpinEdit::Editor() const {
    return FEditor;
}

QToolButton* TSpinEdit::UpButton() const {
    return FUpButton;
}

QToolButton* TSpinEdit::DownButton() const {
    return FDownButton;
}

void TSpinEdit::Step(int32_t delta) {
    // Widened so a step from either end of the 32-bit range cannot overflow; SetValue clamps.
    const int64_t next = static_cast<int64_t>(Value()) + delta;
    SetValue(next > INT32_MAX   ? INT32_MAX
             : next < INT32_MIN ? INT32_MIN
                                : static_cast<int32_t>(next));
}

void TSpinEdit::Paste() {
    if (FEditor->isReadOnly()) return;
    if (!ForeignClipboard()) {
        FEditor->paste();
        return;
    }
    if (FFetch == nullptr) {
        // A child: the edit's end cancels the fetch, and its text is then dropped.
        const auto take = [this](const TSelectionFetch::TResult& result) {
            TakeText(FEditor, result);
        };
        FFetch = new TSelectionFetch(this, Guarded(take));
    }
    // One request at a time: a second Ctrl+V while one waits adds nothing.
    if (!FFetch->Busy() && !FFetch->Start(&TextTarget)) FEditor->paste();
}

void TSpinEdit::ShowMenu(const QPoint& at) {
    QLineEdit* editor = FEditor;
    const bool writable = !editor->isReadOnly();
    const bool selected = editor->hasSelectedText();
    auto* menu = new QMenu(editor);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool showKeys = QGuiApplication::styleHints()->showShortcutsInContextMenus();
    const auto add = [menu, showKeys](const char* name, QKeySequence::StandardKey key, bool enabled,
                                      auto slot) {
        QString label = QLineEdit::tr(name);
        if (const QKeySequence keys(key); showKeys && !keys.isEmpty())
            label += QLatin1Char('\t') + keys.toString(QKeySequence::NativeText);
        QAction* action = menu->addAction(label);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, menu, Guarded(slot));
    };
    if (writable) {
        add("&Undo", QKeySequence::Undo, editor->isUndoAvailable(), [editor] { editor->undo(); });
        add("&Redo", QKeySequence::Redo, editor->isRedoAvailable(), [editor] { editor->redo(); });
        menu->addSeparator();
        add("Cu&t", QKeySequence::Cut, selected, [editor] { editor->cut(); });
    }
    add("&Copy", QKeySequence::Copy, selected, [editor] { editor->copy(); });
    if (writable) {
        // Whether the other program has text is not asked here: that is the wait avoided.
        add("&Paste", QKeySequence::Paste, true, [this] { Paste(); });
        add("Delete", QKeySequence::UnknownKey, selected, [editor] { editor->del(); });
    }
    menu->addSeparator();
    add("Select All", QKeySequence::SelectAll,
        !editor->text().isEmpty() && editor->selectedText() != editor->text(),
        [editor] { editor->selectAll(); });
    menu->popup(at);
}

void TSpinEdit::CheckOnExit() {
    // A window being hidden or destroyed takes the focus away too; its handlers may already be
    // gone, and the typed value has been delivered anyway.
    if (window()->isHidden()) return;
    const int32_t value = Value();
    if (value < FMinValue || value > FMaxValue) SetValue(value);
}

bool TSpinEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FEditor) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::FocusOut:
        CheckOnExit();
        break;
    case QEvent::ContextMenu:
        if (!ForeignClipboard()) break;
        ShowMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
        return true;
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Paste)) {
            Paste();
            return true;
        }
        if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            Step(key->key() == Qt::Key_Up ? 1 : -1);
            return true;
        }
        const QString text = key->text();
        bool valid = true;
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            valid = false;
        else if (text.isEmpty() || key->modifiers().testFlag(Qt::ControlModifier))
            valid = true; // navigation keys and shortcuts (select all, copy, paste ...)
        else
            for (const QChar c : text)
                if (c.unicode() >= 0x20 && c.unicode() != 0x7f && !IsValidPrintable(c))
                    valid = false;
        if (!valid) {
            QApplication::beep();
            return true;
        }
        break;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TSpinEdit::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    FEditor->setGeometry(0, 0, width(), height());
    // The arrows sit inside the editor's frame, one above the other.
    const int frame = 1;
    const int buttonWidth = qMin(ButtonWidth, qMax(0, width() - 2 * frame));
    const int inner = qMax(0, height() - 2 * frame);
    const int upHeight = (inner + 1) / 2;
    const int x = width() - frame - buttonWidth;
    FUpButton->setGeometry(x, frame, buttonWidth, upHeight);
    FDownButton->setGeometry(x, frame + upHeight, buttonWidth, inner - upHeight);
}
