#include "NumEdit.h"

#include "StatusBar.h"

#include <QFocusEvent>
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

void TNumEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    UpdateStatusBar();
}

void TNumEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    UpdateStatusBar();
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
