// The undo keys, caught at ShortcutOverride (where a line edit claims Ctrl+Z for its own undo)
// and at the key press that follows.
#include "app/UndoKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include "toolkit/Application.h"

namespace {

enum class TUndoKey { None, Undo, Redo };

TUndoKey KeyOf(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods =
        key->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                            Qt::MetaModifier);
    if (key->key() == Qt::Key_Z && mods == Qt::ControlModifier) return TUndoKey::Undo;
    if (key->key() == Qt::Key_Z && mods == (Qt::ControlModifier | Qt::ShiftModifier))
        return TUndoKey::Redo;
    if (key->key() == Qt::Key_Y && mods == Qt::ControlModifier) return TUndoKey::Redo;
    return TUndoKey::None;
}

} // namespace

TUndoKeys::TUndoKeys(QWidget* window, std::function<void()> undo, std::function<void()> redo)
    : FWindow(window), FUndo(std::move(undo)), FRedo(std::move(redo)) {
    qApp->installEventFilter(this);
}

TUndoKeys::~TUndoKeys() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool TUndoKeys::eventFilter(QObject* target, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    const auto* widget = qobject_cast<QWidget*>(target);
    if (widget == nullptr || widget->window() != FWindow) return false; // an error box, say
    const TUndoKey key = KeyOf(static_cast<QKeyEvent*>(event));
    if (key == TUndoKey::None) return false;
    if (type == QEvent::ShortcutOverride) {
        event->accept(); // no shortcut takes it: the key press comes, and is ours
        return true;
    }
    Guarded(key == TUndoKey::Undo ? FUndo : FRedo)();
    return true;
}
