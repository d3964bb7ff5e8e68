#include "LinesDialog.h"

#include <QVBoxLayout>

#include "approximation/LinesTable.h"
#include "components/GoodTable.h"

LinesDialog::LinesDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowStaysOnTopHint) {
    setWindowTitle(QStringLiteral("Коэффициенты"));
    setModal(false);

    m_table = new TGoodTable(this);
    m_table->setObjectName(QStringLiteral("LinesTable"));
    m_table->setAccessibleName(QStringLiteral("Коэффициенты"));
    m_table->SetReadOnly(true);
    m_table->SetItems({QString::fromUtf8(approximation::kLinesTableCaptionA),
                       QString::fromUtf8(approximation::kLinesTableCaptionB),
                       QString::fromUtf8(approximation::kInitialBoundCaption)});
    for (int c = 0; c < 3; ++c) {
        m_table->SetWidths(c, approximation::kLinesTableWidths[static_cast<std::size_t>(c)]);
        m_table->SetColReadOnly(c, true);
        m_table->SetColAlignment(c, ColAlign::Right);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_table);
    resize(260, 160);
}

void LinesDialog::SetLines(const files::Lines* lines) {
    m_lines = lines;
    Refresh();
}

void LinesDialog::SetBoundCaption(const QString& caption) { m_table->SetCaptions(2, caption); }

void LinesDialog::Refresh() {
    const auto rows = m_lines ? approximation::linesTableRows(*m_lines) : decltype(approximation::linesTableRows({})){};
    m_table->SetRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        for (int c = 0; c < 3; ++c)
            m_table->SetCells(r, c, QString::fromStdString(rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)]));
    }
}

void LinesDialog::Show() {
    // The first show centres the dialog on its owner (QDialog does that
    // while the window has not been moved).
    const bool wasVisible = isVisible();
    show();
    raise();
    if (wasVisible) Refresh();
}

void LinesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Refresh();
}
