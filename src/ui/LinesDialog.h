#pragma once

#include <QDialog>

#include "common/Line.h"

class TGoodTable;

// "Коэффициенты": the approximation lines in force as a read-only table of
// A, B and the upper bound, one row per line. Not modal, stays on top of the
// other windows. It reads the lines it was given (the document's
// `currentLines`) on every show and every Refresh.
class LinesDialog : public QDialog {
    Q_OBJECT
public:
    explicit LinesDialog(QWidget* parent = nullptr);

    // The lines shown from now on (not owned; null shows none). Refreshes.
    void SetLines(const files::Lines* lines);
    // Refills the table from the lines.
    void Refresh();
    // Shows the window without blocking its owner and refills the table.
    void Show();

    // The third column's caption: "Частота (Гц)" for Dorn and Kelt
    // documents, "Код" for RV ones ("F (Гц)" until New or Open set it).
    void SetBoundCaption(const QString& caption);

    TGoodTable* table() const { return m_table; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    const files::Lines* m_lines = nullptr;
    TGoodTable* m_table = nullptr;
};
