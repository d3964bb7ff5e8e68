#include "ConsoleView.h"

#include <QScrollBar>

#include "common/Console.h"

ConsoleView::ConsoleView(Console& console, QWidget* parent) : QPlainTextEdit(parent), m_console(console) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUndoRedoEnabled(false);
    Refresh();
}

void ConsoleView::Refresh() {
    setPlainText(QString::fromStdString(m_console.text()));
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void ConsoleView::mouseDoubleClickEvent(QMouseEvent* event) {
    m_console.clear();
    Refresh();
    event->accept();
}
