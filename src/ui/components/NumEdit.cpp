#include "NumEdit.h"

#include "StatusBar.h"
#include "WindowShortcuts.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMessageBox>

TNumEdit::TNumEdit(QWidget* parent) : QLineEdit(parent) {}

void TNumEdit::SetStatusBar(TStatusBar* statusBar) {
    m_statusBar = statusBar;
    UpdateStatusBar();
}

void TNumEdit::SetStatusPanel(int index) {
    m_statusPanel = index;
    UpdateStatusBar();
}

void TNumEdit::SetMessage(const QString& message) {
    m_message = message;
    UpdateStatusBar();
}

void TNumEdit::UpdateStatusBar() {
    if (!m_statusBar || m_statusPanel < 0 || m_statusPanel >= m_statusBar->PanelCount()) return;
    m_statusBar->SetPanelText(m_statusPanel, hasFocus() ? m_message : QString());
}

bool TNumEdit::AcceptText() {
    // The message box takes the focus away from the edit; that is no second accept.
    if (!HasValue() || m_accepting) return true;
    if (TakeText()) {
        SaveValue();
        return true;
    }
    m_accepting = true;
    const QString typed = text();
    // What typing took from the start of the text is no value either: the
    // edit goes back to the value it had when the editing began. That comes
    // first, as the focus coming back below saves the value again.
    RestoreSavedValue();
    numedit::showMessage(this, numedit::badValueText(typed));
    setFocus(Qt::OtherFocusReason);
    m_accepting = false;
    return false;
}

bool TNumEdit::event(QEvent* event) {
    if (LeaveShortcutToWindow(this, event)) return true;
    return QLineEdit::event(event);
}

void TNumEdit::keyPressEvent(QKeyEvent* event) {
    if (HasValue()) {
        switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (!AcceptText()) {
                // The text was reported: the dialog around stays open.
                event->accept();
                return;
            }
            break;
        case Qt::Key_Escape:
            RestoreSavedValue();
            break;
        default:
            break;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TNumEdit::focusInEvent(QFocusEvent* event) {
    if (HasValue()) SaveValue();
    QLineEdit::focusInEvent(event);
    UpdateStatusBar();
}

void TNumEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    UpdateStatusBar();
    if (HasValue() && numedit::leavesForAnotherControl(event) && isEnabled()) AcceptText();
}

void TNumEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    if (event->type() != QEvent::EnabledChange || !HasValue()) return;
    numedit::paintBase(this, isEnabled());
    // A disabled edit stays empty; enabling it writes the value again.
    if (isEnabled())
        WriteText();
    else
        setText(QString());
}

namespace numedit {
namespace {
MessageHandler g_handler = nullptr;
}

void setMessageHandler(MessageHandler handler) { g_handler = handler; }

void showMessage(QWidget* owner, const QString& text) {
    if (g_handler) {
        g_handler(owner, text);
        return;
    }
    QWidget* window = owner ? owner->window() : nullptr;
    QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok, window);
    box.exec();
}

QString badValueText(const QString& text) {
    return QStringLiteral("Неправильное значение: \"") + text + QLatin1Char('"');
}
void paintBase(QLineEdit* edit, bool enabled) {
    QPalette pal = edit->palette();
    const QPalette standard;
    const QColor base = enabled ? standard.color(QPalette::Active, QPalette::Base)
                                : standard.color(QPalette::Active, QPalette::Button);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) pal.setColor(group, QPalette::Base, base);
    edit->setPalette(pal);
}

bool leavesForAnotherControl(const QFocusEvent* event) {
    return event->reason() != Qt::ActiveWindowFocusReason && event->reason() != Qt::PopupFocusReason;
}
}  // namespace numedit
