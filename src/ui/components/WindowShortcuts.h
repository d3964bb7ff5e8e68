#pragma once

class QEvent;
class QKeyEvent;
class QWidget;

// Whether a key pressed in an edit belongs to a command of the edit's
// window: an enabled action of that window has it as its shortcut and the
// key is held with Ctrl, Alt or Meta. An edit that sees such a key in its
// QEvent::ShortcutOverride leaves it to the window, so Ctrl+A runs the
// window's command rather than selecting the edit's text. Keys without
// those modifiers (typing, Delete, the arrows) stay the edit's.
bool WindowCommandTakes(const QWidget* edit, const QKeyEvent* event);

// For an edit's event(): true when `event` is a ShortcutOverride that
// WindowCommandTakes; the event is then left unaccepted, so that the window's
// shortcut runs, and the edit must not handle it.
bool LeaveShortcutToWindow(const QWidget* edit, QEvent* event);
