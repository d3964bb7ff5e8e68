#include "WindowShortcuts.h"

#include <QAction>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace {

// An action whose shortcut the window would run: enabled, shown somewhere
// (a menu, a tool bar, a widget) and meant for the whole window.
bool HasShortcut(const QAction* action, const QKeySequence& pressed) {
    if (!action->isEnabled() || action->associatedObjects().isEmpty()) return false;
    const Qt::ShortcutContext context = action->shortcutContext();
    if (context != Qt::WindowShortcut && context != Qt::ApplicationShortcut) return false;
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
        if (HasShortcut(action, pressed)) return true;
    for (const QAction* action : window->findChildren<QAction*>())
        if (HasShortcut(action, pressed)) return true;
    return false;
}

bool LeaveShortcutToWindow(const QWidget* edit, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) return false;
    if (!WindowCommandTakes(edit, static_cast<const QKeyEvent*>(event))) return false;
    event->ignore();
    return true;
}
