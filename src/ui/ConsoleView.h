#pragma once

#include <QPlainTextEdit>

class Console;

// The message console of the main window: a read-only view of the
// program's Console (at most 20 lines, each with its date and time). A
// double click clears the console.
class ConsoleView : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit ConsoleView(Console& console, QWidget* parent = nullptr);

    // Shows the console's text and scrolls to its last line.
    void Refresh();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    Console& m_console;
};
