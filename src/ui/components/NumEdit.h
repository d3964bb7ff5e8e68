#pragma once

#include "StatusBar.h"

#include <QLineEdit>
#include <QPointer>
#include <QString>

class QFocusEvent;

// An edit box that shows a help message in a panel of a status bar while it
// has the focus, and an empty panel otherwise.
//
// It is also the base of the numeric edits (TIntEdit, TFloatEdit), which
// share here how a typed text is accepted: Enter, or the focus moving to
// another control, accepts the text. A text that is not wholly a number is
// reported in a message box; the edit then goes back to the value it had
// when the editing began, keeps the focus, and the Enter key goes no further
// (a dialog's default button does not run). Escape also goes back to that
// value. While disabled a numeric edit is empty. The window's command
// shortcuts (Ctrl+A, Ctrl+E, ...) win over the edit's own.
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

    // Reads the text into the value, or reports it and goes back to the
    // saved value. Either way the saved value becomes the value. False when
    // the text was not a number.
    bool AcceptText();

protected:
    // What a numeric edit gives its base. A plain TNumEdit has no value.
    virtual bool HasValue() const { return false; }
    // Reads the whole text and stores it as the value (clamped); false, with
    // the value unchanged, when the text is not a number.
    virtual bool TakeText() { return true; }
    // The value as saved when the editing began.
    virtual void SaveValue() {}
    // Makes the saved value the value again and rewrites the text.
    virtual void RestoreSavedValue() {}
    // Rewrites the text from the value.
    virtual void WriteText() {}

    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPointer<TStatusBar> m_statusBar;
    int m_statusPanel = 0;
    QString m_message;
    bool m_accepting = false;
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
