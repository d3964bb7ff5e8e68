#pragma once

#include "StatusBar.h"

#include <QLineEdit>
#include <QPointer>
#include <QString>

class QFocusEvent;

// An edit box that shows a help message in a panel of a status bar while it
// has the focus, and an empty panel otherwise.
class TNumEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TNumEdit(QWidget* parent = nullptr);

    TStatusBar* StatusBar() const { return m_statusBar; }
    void SetStatusBar(TStatusBar* statusBar);
    int StatusPanel() const { return m_statusPanel; }
    void SetStatusPanel(int index);
    QString Message() const { return m_message; }
    void SetMessage(const QString& message);

    bool ReadOnly() const { return isReadOnly(); }
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }

    void UpdateStatusBar();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointer<TStatusBar> m_statusBar;
    int m_statusPanel = 0;
    QString m_message;
};

// The numeric edits share this: a text that cannot be read is reported in a
// message box owned by the edit's window, without a caption. Tests replace it.
namespace numedit {
using MessageHandler = void (*)(QWidget* owner, const QString& text);
void setMessageHandler(MessageHandler handler);  // nullptr: the message box
void showMessage(QWidget* owner, const QString& text);
// "Неправильное значение: " followed by the text in double quotes.
QString badValueText(const QString& text);
// The window colour while enabled, the button face while disabled.
void paintBase(QLineEdit* edit, bool enabled);
// Leaving the window or opening a pop-up menu is no move to another control.
bool leavesForAnotherControl(const QFocusEvent* event);
}  // namespace numedit
