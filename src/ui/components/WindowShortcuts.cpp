#include "WindowShortcuts.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace {

// The window a widget belongs to, a pop-up menu counting as part of the
// window it drops down from.
const QWidget* OwnerWindow(const QWidget* widget) {
    while (widget && (!widget->isWindow() || widget->windowType() == Qt::Popup)) widget = widget->parentWidget();
    return widget;
}

// An action whose shortcut `window` would run: enabled, meant for the whole
// window, and shown in it (a menu of its menu bar, a tool bar, a widget).
bool HasShortcut(const QAction* action, const QWidget* window, const QKeySequence& pressed) {
    if (!action->isEnabled()) return false;
    const Qt::ShortcutContext context = action->shortcutContext();
    if (context != Qt::WindowShortcut && context != Qt::ApplicationShortcut) return false;
    bool shown = false;
    for (const QObject* object : action->associatedObjects()) {
        const auto* widget = qobject_cast<const QWidget*>(object);
        if (widget && OwnerWindow(widget) == window) shown = true;
    }
    if (!shown) return false;
    for (const QKeySequence& shortcut : action->shortcuts())
        if (shortcut == pressed) return true;
    return false;
}

}  // namespace

bool WindowCommandTakes(const QWidget* edit, const QKeyEvent* event) {
    if (!edit || !event) return false;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (!(modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) return false;
    const int key = event->key();
    if (key == 0 || key == Qt::Key_unknown || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
        key == Qt::Key_Shift)
        return false;
    const QKeySequence pressed(QKeyCombination(modifiers, static_cast<Qt::Key>(key)));
    const QWidget* window = edit->window();
    for (const QAction* action : window->actions())
        if (HasShortcut(action, window, pressed)) return true;
    for (const QAction* action : window->findChildren<QAction*>())
        if (HasShortcut(action, window, pressed)) return true;
    return false;
}

bool LeaveShortcutToWindow(const QWidget* edit, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return false;
    if (!WindowCommandTakes(edit, static_cast<const QKeyEvent*>(event))) return false;
    event->ignore();
    return true;
}
