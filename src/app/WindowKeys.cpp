// The window's keys, caught at ShortcutOverride (where a line edit claims Ctrl+Z for its own
// undo) and at the key press that follows.
#include "app/WindowKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QWidget>

#include "toolkit/Application.h"

TWindowKeys::TWindowKeys(QWidget* window, std::vector<TBinding> bindings)
    : FWindow(window), FBindings(std::move(bindings)) {
    qApp->installEventFilter(this);
}

TWindowKeys::~TWindowKeys() {
    if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool TWindowKeys::eventFilter(QObject* target, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress) return false;
    const auto* widget = qobject_cast<QWidget*>(target);
    if (widget == nullptr || widget->window() != FWindow) return false; // an error box, say
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods =
        key->modifiers() &
        (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    const QKeyCombination pressed(mods, static_cast<Qt::Key>(key->key()));
    const bool inTextField = qobject_cast<const QLineEdit*>(widget) != nullptr;
    for (const TBinding& binding : FBindings) {
        if (binding.Key != pressed || (inTextField && binding.TextFieldsKeepIt)) continue;
        if (type == QEvent::ShortcutOverride) {
            event->accept(); // no shortcut takes it: the key press comes, and is ours
            return true;
        }
        Guarded(binding.Action)();
        return true;
    }
    return false;
}
