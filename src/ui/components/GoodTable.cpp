#include "GoodTable.h"

#include "Accessibility.h"
#include "WindowShortcuts.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyleOptionButton>
#include <QWheelEvent>

#include <algorithm>

QColor TGoodTableSource::cellTextColor(int, int) const { return QColor(0, 0, 0); }

void TGoodTableSource::setCellTextColor(int, int, const QColor&) {}

void TGoodTableSource::editStarted(int, int) {}

bool TGoodTableSource::editFinished(int, int, const QString&) { return false; }

void TGoodTableStore::resize(int rows, int cols) {
    if (cols != m_cols) {
        for (auto& row : m_rows) row.resize(static_cast<std::size_t>(cols));
        m_cols = cols;
    }
    m_rows.resize(static_cast<std::size_t>(rows), std::vector<Cell>(static_cast<std::size_t>(cols)));
}

TGoodTable::TGoodTable(QWidget* parent) : QAbstractScrollArea(parent) {
    // Screen readers and GUI automation see the cells and captions drawn here.
    InstallAccessibility();
    setFocusPolicy(Qt::StrongFocus);
    // Every pixel of the viewport is painted; nothing is erased first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAutoFillBackground(false);
    setViewportMargins(0, kHeaderHeight, 0, 0);

    m_headerModel = new QStandardItemModel(0, 0, this);
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setModel(m_headerModel);
    m_header->setSectionsClickable(false);
    m_header->setHighlightSections(false);
    m_header->setStretchLastSection(false);
    m_header->setMinimumSectionSize(0);
    m_header->setDefaultSectionSize(kDefaultWidth);
    m_header->setDefaultAlignment(Qt::AlignCenter);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setFixedHeight(kHeaderHeight);
    m_header->setFocusPolicy(Qt::NoFocus);
    connect(m_header, &QHeaderView::sectionResized, this, [this] { HeaderSectionResize(); });

    m_editor = new QLineEdit(viewport());
    m_editor->setFrame(false);
    m_editor->hide();
    m_editor->installEventFilter(this);
    connect(m_editor, &QLineEdit::textEdited, this, &TGoodTable::EditorTextEdited);

    PlaceHeader();
    UpdateScrollRanges();
}

TGoodTable::~TGoodTable() = default;

// ---- cells -----------------------------------------------------------------

void TGoodTable::SetDataSource(TGoodTableSource* source) {
    HideEditor();
    if (!source) {
        m_store.resize(m_rowCount, ColCount());
        source = &m_store;
    }
    m_source = source;
    viewport()->update();
}

void TGoodTable::UpdateCell(int row, int col) {
    if (row < 0 || col < 0 || row >= m_rowCount || col >= ColCount()) return;
    viewport()->update(CellRect(row, col));
}

void TGoodTable::UpdateRow(int row) {
    if (row < 0 || row >= m_rowCount) return;
    viewport()->update(QRect(0, (row - TopRow()) * kRowHeight, viewport()->width(), kRowHeight));
}

void TGoodTable::UpdateCells() { viewport()->update(); }

void TGoodTable::SetCells(int row, int col, const QString& text) {
    m_source->setCellText(row, col, text);
    UpdateCell(row, col);
}

void TGoodTable::SetCellsChecked(int row, int col, bool checked) {
    m_source->setCellChecked(row, col, checked);
    UpdateCell(row, col);
}

void TGoodTable::SetCellsTextColor(int row, int col, const QColor& color) {
    m_source->setCellTextColor(row, col, color);
    UpdateCell(row, col);
}

// ---- shape -----------------------------------------------------------------

void TGoodTable::SetReadOnly(bool readOnly) {
    m_readOnly = readOnly;
    if (m_readOnly) HideEditor();
}

void TGoodTable::SetColCount(int n) {
    n = std::max(n, 0);
    const int old = ColCount();
    if (n > old) {
        m_headerModel->insertColumns(old, n - old);
        for (int c = old; c < n; ++c) m_header->resizeSection(c, kDefaultWidth);
    } else if (n < old) {
        m_headerModel->removeColumns(n, old - n);
    }
    m_columns.resize(static_cast<std::size_t>(n));
    // A window's own source answers for its columns itself.
    if (m_source == &m_store) m_store.resize(m_rowCount, n);
    if (m_col > n - 1) SetCol(n - 1);
    HeaderSectionResize();
}

void TGoodTable::SetRowCount(int n) {
    n = std::max(n, 0);
    m_rowCount = n;
    if (m_source == &m_store) m_store.resize(n, ColCount());
    if (m_row > n - 1) SetRow(n - 1);
    UpdateScrollRanges();
    PlaceEditor();
    viewport()->update();
}

QStringList TGoodTable::Items() const {
    QStringList captions;
    for (int c = 0; c < ColCount(); ++c) captions << Captions(c);
    return captions;
}

void TGoodTable::SetItems(const QStringList& captions) {
    SetColCount(static_cast<int>(captions.size()));
    for (int c = 0; c < ColCount(); ++c) SetCaptions(c, captions[c]);
}

QString TGoodTable::Captions(int col) const { return m_headerModel->headerData(col, Qt::Horizontal).toString(); }

void TGoodTable::SetCaptions(int col, const QString& text) { m_headerModel->setHeaderData(col, Qt::Horizontal, text); }

int TGoodTable::Widths(int col) const { return m_header->sectionSize(col); }

void TGoodTable::SetWidths(int col, int pixels) {
    m_header->resizeSection(col, std::max(pixels, 0));
    HeaderSectionResize();
}

void TGoodTable::SetColTypes(int col, ColType type) {
    if (m_columns[col].type == type) return;
    m_columns[col].type = type;
    if (type != ColType::Text && col == m_col) HideEditor();
    viewport()->update();
}

// ---- selection ---------------------------------------------------------------

bool TGoodTable::ValidSelection() const {
    return m_row >= 0 && m_col >= 0 && m_row < m_rowCount && m_col < ColCount();
}

void TGoodTable::SetCol(int index) {
    if (index == m_col) return;
    HideEditor();
    UpdateCell(m_row, m_col);
    m_col = index;
    AdjustScroll();
    UpdateCell(m_row, m_col);
    emit selChanged(m_row, m_col);
}

void TGoodTable::SetRow(int index) {
    if (index == m_row) return;
    HideEditor();
    UpdateCell(m_row, m_col);
    m_row = index;
    AdjustScroll();
    UpdateCell(m_row, m_col);
    emit selChanged(m_row, m_col);
}

void TGoodTable::AdjustScroll() {
    if (!ValidSelection()) return;
    QScrollBar* h = horizontalScrollBar();
    const int left = ColumnLeft(m_col);
    const int right = left + Widths(m_col);
    const int width = viewport()->width();
    if (left < h->value())
        h->setValue(left);
    else if (right > h->value() + width)
        h->setValue(right - width);

    QScrollBar* v = verticalScrollBar();
    const int visible = std::max(VisibleRows(), 1);
    if (m_row < v->value())
        v->setValue(m_row);
    else if (m_row > v->value() + visible - 1)
        v->setValue(m_row - visible + 1);
}

// ---- geometry ------------------------------------------------------------------

int TGoodTable::VisibleRows() const { return viewport()->height() / kRowHeight; }

int TGoodTable::TopRow() const { return verticalScrollBar()->value(); }

int TGoodTable::LeftPos() const { return horizontalScrollBar()->value(); }

int TGoodTable::ColumnLeft(int col) const { return m_header->sectionPosition(col); }

int TGoodTable::TotalWidth() const { return m_header->length(); }

QRect TGoodTable::CellRect(int row, int col) const {
    return QRect(ColumnLeft(col) - LeftPos(), (row - TopRow()) * kRowHeight, Widths(col) - 1, kRowHeight - 1);
}

QRect TGoodTable::CheckBoxRect(int row, int col) const {
    const QRect cell = CellRect(row, col);
    return QRect(cell.left() + (cell.width() - kCheckSize) / 2, cell.top() + (cell.height() - kCheckSize) / 2,
                 kCheckSize, kCheckSize);
}

QPoint TGoodTable::CellAt(const QPoint& pos) const {
    // (column, row) under a viewport point, clamped to the table.
    const int row = std::clamp(TopRow() + pos.y() / kRowHeight, 0, m_rowCount - 1);
    const int x = pos.x() + LeftPos();
    int col = ColCount() - 1;
    for (int c = 0; c < ColCount(); ++c) {
        if (ColumnLeft(c) + Widths(c) > x) {
            col = c;
            break;
        }
    }
    return QPoint(col, m_rowCount > 0 ? row : -1);
}

void TGoodTable::PlaceHeader() {
    const QRect vp = viewport()->geometry();
    m_header->setGeometry(vp.left(), vp.top() - kHeaderHeight, vp.width(), kHeaderHeight);
    m_header->setOffset(LeftPos());
}

void TGoodTable::PlaceEditor() {
    if (!m_editor->isVisible() || !ValidSelection()) return;
    const QRect cell = CellRect(m_row, m_col);
    m_editor->setGeometry(cell.left(), cell.top(), Widths(m_col) - 1, kRowHeight - 1);
}

void TGoodTable::UpdateScrollRanges() {
    const int width = viewport()->width();
    QScrollBar* h = horizontalScrollBar();
    h->setRange(0, std::max(TotalWidth() - width, 0));
    h->setSingleStep(10);
    h->setPageStep(std::max(width - 10, 10));

    const int visible = VisibleRows();
    QScrollBar* v = verticalScrollBar();
    v->setRange(0, std::max(m_rowCount - visible, 0));
    v->setSingleStep(1);
    v->setPageStep(std::max(visible - 1, 1));
}

void TGoodTable::HeaderSectionResize() {
    UpdateScrollRanges();
    PlaceHeader();
    PlaceEditor();
    viewport()->update();
}

void TGoodTable::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    HeaderSectionResize();
}

void TGoodTable::scrollContentsBy(int, int) {
    HideEditor();
    m_header->setOffset(LeftPos());
    viewport()->update();
}

// ---- painting -----------------------------------------------------------------

void TGoodTable::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int width = viewport()->width();
    const int height = viewport()->height();
    const int bands = (height + kRowHeight - 1) / kRowHeight;
    const int top = TopRow();
    const QColor face = palette().color(QPalette::Midlight);

    int x = -LeftPos();
    for (int c = 0; c < ColCount(); ++c) {
        const int left = x;
        const int right = x + Widths(c);
        x = right;
        if (right <= left || right <= area.left() || left > area.right()) continue;
        painter.setPen(kGridColor);
        painter.drawLine(right - 1, 0, right - 1, height);
        // Only the rows in view are drawn, whatever the row count.
        for (int k = 0; k < bands; ++k) {
            const int y = k * kRowHeight;
            if (y > area.bottom() || y + kRowHeight <= area.top()) continue;
            const int row = top + k;
            DrawCell(painter, QRect(left, y, right - 1 - left, kRowHeight - 1), row, row == m_row && c == m_col, c);
        }
    }
    if (x < width) painter.fillRect(QRect(x, 0, width - x, height), face);
    painter.setPen(kGridColor);
    for (int k = 0; k < bands; ++k) {
        const int y = k * kRowHeight + kRowHeight - 1;
        painter.drawLine(0, y, width, y);
    }
}

void TGoodTable::DrawCell(QPainter& painter, const QRect& rect, int row, bool selected, int col) {
    const QPalette& pal = palette();
    if (row >= m_rowCount) {
        painter.fillRect(rect, pal.color(QPalette::Midlight));
        return;
    }
    const bool focused = hasFocus();
    QColor background;
    if (!selected)
        background = m_columns[col].readOnly ? pal.color(QPalette::Midlight) : pal.color(QPalette::Base);
    else
        background = focused ? pal.color(QPalette::Highlight) : pal.color(QPalette::Button);
    painter.fillRect(rect, background);

    if (m_columns[col].type == ColType::Check) {
        QStyleOptionButton option;
        option.rect = QRect(rect.left() + (rect.width() - kCheckSize) / 2,
                            rect.top() + (rect.height() - kCheckSize) / 2, kCheckSize, kCheckSize);
        option.state = QStyle::State_Enabled | (m_source->cellChecked(row, col) ? QStyle::State_On : QStyle::State_Off);
        option.palette = pal;
        style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, this);
        return;
    }

    Qt::Alignment align = Qt::AlignLeft;
    if (m_columns[col].alignment == ColAlign::Right) align = Qt::AlignRight;
    if (m_columns[col].alignment == ColAlign::Center) align = Qt::AlignHCenter;
    painter.save();
    painter.setClipRect(rect);
    painter.setPen(selected && focused ? pal.color(QPalette::HighlightedText) : m_source->cellTextColor(row, col));
    painter.drawText(rect, static_cast<int>(align | Qt::AlignVCenter | Qt::TextSingleLine), m_source->cellText(row, col));
    painter.restore();
}

// ---- editing ----------------------------------------------------------------------

void TGoodTable::ShowEditor() {
    if (m_readOnly || !ValidSelection()) return;
    if (m_columns[m_col].type != ColType::Text || m_columns[m_col].readOnly) return;
    const QRect cell = CellRect(m_row, m_col);
    m_editor->setGeometry(cell.left(), cell.top(), Widths(m_col) - 1, kRowHeight - 1);
    m_editor->setText(m_source->cellText(m_row, m_col));
    m_editRow = m_row;
    m_editCol = m_col;
    m_source->editStarted(m_editRow, m_editCol);
    m_editor->show();
    m_editor->setFocus(Qt::OtherFocusReason);
    setFocusPolicy(Qt::ClickFocus);
}

void TGoodTable::HideEditor() {
    if (m_hidingEditor || !m_editor->isVisible()) return;
    m_hidingEditor = true;
    setFocusPolicy(Qt::StrongFocus);
    if (m_editor->hasFocus()) setFocus(Qt::OtherFocusReason);
    m_editor->hide();
    const int row = m_editRow;
    const int col = m_editCol;
    m_editRow = m_editCol = -1;
    // The final text decides: a source that does not take it has put back
    // the cell's value from before the editing, which the window then
    // handles as any other change.
    if (row >= 0 && col >= 0 && row < m_rowCount && col < ColCount() &&
        m_source->editFinished(row, col, m_editor->text())) {
        UpdateCell(row, col);
        emit changed(row, col);
    }
    m_hidingEditor = false;
}

bool TGoodTable::EditorVisible() const { return m_editor->isVisible(); }

void TGoodTable::EditorTextEdited(const QString& text) {
    if (!ValidSelection()) return;
    const int row = m_row;
    const int col = m_col;
    SetCells(row, col, text);
    emit changed(row, col);
}

void TGoodTable::Action() {
    if (m_col < 0 || m_col >= ColCount()) return;
    if (m_columns[m_col].type == ColType::Check)
        InvChecking();
    else
        ShowEditor();
}

void TGoodTable::InvChecking() {
    if (m_readOnly || !ValidSelection()) return;
    if (m_columns[m_col].type != ColType::Check || m_columns[m_col].readOnly) return;
    const int row = m_row;
    const int col = m_col;
    SetCellsChecked(row, col, !m_source->cellChecked(row, col));
    emit changed(row, col);
}

bool TGoodTable::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_editor) return QAbstractScrollArea::eventFilter(watched, event);
    // The window's command shortcuts win over the editor's own (Ctrl+A
    // would select the editor's text, Ctrl+E move to its end).
    if (LeaveShortcutToWindow(m_editor, event)) return true;
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            // The cell already holds what was typed; Escape keeps it too.
            HideEditor();
            return true;
        case Qt::Key_Up:
        case Qt::Key_Down:
            HideEditor();
            HandleKey(key);
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::FocusOut) {
        HideEditor();
    }
    return QAbstractScrollArea::eventFilter(watched, event);
}

// ---- keyboard and mouse ---------------------------------------------------------------

void TGoodTable::HandleKey(int key) {
    // Rows a page moves: the client area less the header, less one row.
    const int page = std::max((viewport()->height() + kHeaderHeight) / kRowHeight - 2, 1);
    const int lastRow = m_rowCount - 1;
    const int lastCol = ColCount() - 1;
    switch (key) {
    case Qt::Key_PageUp:
        if (lastRow >= 0) SetRow(m_row > page ? m_row - page : 0);
        break;
    case Qt::Key_PageDown:
        if (lastRow >= 0) SetRow(m_row < m_rowCount - page ? std::max(m_row + page, 0) : lastRow);
        break;
    case Qt::Key_Home:
        if (lastRow >= 0) SetRow(0);
        break;
    case Qt::Key_End:
        if (lastRow >= 0) SetRow(lastRow);
        break;
    case Qt::Key_Left:
        if (lastCol >= 0) SetCol(std::max(m_col - 1, 0));
        break;
    case Qt::Key_Right:
        if (lastCol >= 0) SetCol(std::clamp(m_col + 1, 0, lastCol));
        break;
    case Qt::Key_Up:
        if (lastRow >= 0) SetRow(std::max(m_row - 1, 0));
        break;
    case Qt::Key_Down:
        if (lastRow >= 0) SetRow(std::clamp(m_row + 1, 0, lastRow));
        break;
    default:
        break;
    }
    // A table without a current cell gets one at the first key that moves:
    // a row key lands in the first column, a column key in the first row.
    if (m_row >= 0 && m_col < 0 && lastCol >= 0) SetCol(0);
    if (m_col >= 0 && m_row < 0 && lastRow >= 0) SetRow(0);
}

void TGoodTable::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Action();
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        HandleKey(event->key());
        return;
    case Qt::Key_F2:
        ShowEditor();
        return;
    default:
        break;
    }

    const QString text = event->text();
    const bool printable = text.size() == 1 && text[0].isPrint();
    if (!printable) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    if (m_readOnly || !ValidSelection() || m_columns[m_col].readOnly) return;
    if (text[0] == QLatin1Char(' ')) {
        Action();
        return;
    }
    ShowEditor();
    if (!m_editor->isVisible()) return;
    // A typed character starts a fresh value.
    m_editor->setText(text);
    m_editor->setCursorPosition(static_cast<int>(text.size()));
    EditorTextEdited(text);
}

void TGoodTable::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_mouseSelecting = true;
    const QPoint pos = event->position().toPoint();
    if (ValidSelection() && CellRect(m_row, m_col).contains(pos)) ShowEditor();
    SelectCellAt(pos);
    if (ValidSelection() && m_columns[m_col].type == ColType::Check && CheckBoxRect(m_row, m_col).contains(pos))
        InvChecking();
}

void TGoodTable::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    ShowEditor();
}

void TGoodTable::mouseMoveEvent(QMouseEvent* event) {
    if (m_mouseSelecting && (event->buttons() & Qt::LeftButton)) SelectCellAt(event->position().toPoint());
}

void TGoodTable::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    m_mouseSelecting = false;
    event->accept();
}

void TGoodTable::SelectCellAt(const QPoint& pos) {
    if (ColCount() == 0 || m_rowCount == 0) return;
    const QPoint cell = CellAt(pos);
    SetCol(cell.x());
    SetRow(cell.y());
}

void TGoodTable::wheelEvent(QWheelEvent* event) {
    // One line and one row per notch; touchpads send notches in pieces.
    m_wheelDelta += event->angleDelta().y();
    while (std::abs(m_wheelDelta) >= QWheelEvent::DefaultDeltasPerStep) {
        const int step = m_wheelDelta < 0 ? 1 : -1;
        m_wheelDelta += step * QWheelEvent::DefaultDeltasPerStep;
        verticalScrollBar()->setValue(verticalScrollBar()->value() + step);
        if (m_rowCount > 0) SetRow(std::clamp(m_row + step, 0, m_rowCount - 1));
    }
    event->accept();
}

void TGoodTable::focusInEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusInEvent(event);
    UpdateCell(m_row, m_col);
}

void TGoodTable::focusOutEvent(QFocusEvent* event) {
    QAbstractScrollArea::focusOutEvent(event);
    UpdateCell(m_row, m_col);
}
