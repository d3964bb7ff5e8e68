#pragma once

#include <QAbstractScrollArea>
#include <QColor>
#include <QString>
#include <QStringList>

#include <vector>

class QHeaderView;
class QLineEdit;
class QStandardItemModel;

// One cell of a TGoodTable. A new cell is empty, unchecked and black.
struct Cell {
    QString text;
    bool checked = false;
    QColor textColor = QColor(0, 0, 0);
};

enum class ColType { Text = 0, Check = 1 };
enum class ColAlign { Left = 0, Right = 1, Center = 2 };

// Per column: a new column is a left-aligned, writable text column.
struct ColInfo {
    ColType type = ColType::Text;
    bool readOnly = false;
    ColAlign alignment = ColAlign::Left;
};

// Where a TGoodTable reads and writes its cells. The table keeps its own
// cells (TGoodTableStore) unless a window hands it a source of its own, such
// as an adapter over a package of entries: then nothing is copied, the table
// asks the source for the cells of the rows in view only, and every write the
// table makes (the in-place editor, a toggled check box, SetCells...) goes to
// the source. A source must answer for every row below RowCount and every
// column below ColCount.
class TGoodTableSource {
public:
    virtual ~TGoodTableSource() = default;
    virtual QString cellText(int row, int col) const = 0;
    virtual bool cellChecked(int row, int col) const = 0;
    virtual QColor cellTextColor(int row, int col) const;  // black unless overridden
    virtual void setCellText(int row, int col, const QString& text) = 0;
    virtual void setCellChecked(int row, int col, bool checked) = 0;
    virtual void setCellTextColor(int row, int col, const QColor& color);  // ignored unless overridden

    // The in-place editor opened on a cell, and closed on it with its final
    // text. The editor writes every change of its text at once; a source
    // that takes only some texts (numbers) uses these so that the whole
    // final text decides: when the source does not take it, the cell gets
    // back what it held when the editing began. editFinished returns true
    // when it changed the cell so. By default the cell keeps what was typed.
    virtual void editStarted(int row, int col);
    virtual bool editFinished(int row, int col, const QString& text);
};

// The table's own cells: a list of rows, each of ColCount cells.
class TGoodTableStore final : public TGoodTableSource {
public:
    void resize(int rows, int cols);

    QString cellText(int row, int col) const override { return m_rows[row][col].text; }
    bool cellChecked(int row, int col) const override { return m_rows[row][col].checked; }
    QColor cellTextColor(int row, int col) const override { return m_rows[row][col].textColor; }
    void setCellText(int row, int col, const QString& text) override { m_rows[row][col].text = text; }
    void setCellChecked(int row, int col, bool checked) override { m_rows[row][col].checked = checked; }
    void setCellTextColor(int row, int col, const QColor& color) override { m_rows[row][col].textColor = color; }

private:
    std::vector<std::vector<Cell>> m_rows;
    int m_cols = 0;
};

// A light custom-drawn grid of text and check-box cells under a header that
// holds the captions and column widths, with an in-place editor for text
// cells. Rows are 17 pixels high (16 of cell, one of grid line), so is the
// header. Only the rows in view are painted.
//
// Indexes outside the table are not checked: callers keep rows and columns
// within RowCount and ColCount; -1 means no selection and is skipped.
class TGoodTable : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kRowHeight = 17;
    static constexpr int kHeaderHeight = 17;
    static constexpr int kCheckSize = 13;
    static constexpr int kDefaultWidth = 64;
    static inline const QColor kGridColor{192, 192, 192};

    explicit TGoodTable(QWidget* parent = nullptr);
    ~TGoodTable() override;

    // Cells come from `source` (not owned) from now on; nullptr returns to
    // the table's own cells. The table repaints.
    void SetDataSource(TGoodTableSource* source);
    TGoodTableSource* DataSource() const { return m_source; }
    // Repaint after the source changed behind the table's back.
    void UpdateCell(int row, int col);
    void UpdateRow(int row);
    void UpdateCells();

    bool ReadOnly() const { return m_readOnly; }
    void SetReadOnly(bool readOnly);

    int ColCount() const { return static_cast<int>(m_columns.size()); }
    void SetColCount(int n);
    int RowCount() const { return m_rowCount; }
    void SetRowCount(int n);

    int Col() const { return m_col; }
    void SetCol(int index);
    int Row() const { return m_row; }
    void SetRow(int index);

    QStringList Items() const;
    void SetItems(const QStringList& captions);

    QString Cells(int row, int col) const { return m_source->cellText(row, col); }
    void SetCells(int row, int col, const QString& text);
    bool CellsChecked(int row, int col) const { return m_source->cellChecked(row, col); }
    void SetCellsChecked(int row, int col, bool checked);
    QColor CellsTextColor(int row, int col) const { return m_source->cellTextColor(row, col); }
    void SetCellsTextColor(int row, int col, const QColor& color);

    QString Captions(int col) const;
    void SetCaptions(int col, const QString& text);
    int Widths(int col) const;
    void SetWidths(int col, int pixels);
    ColType ColTypes(int col) const { return m_columns[col].type; }
    void SetColTypes(int col, ColType type);
    ColAlign ColAlignment(int col) const { return m_columns[col].alignment; }
    void SetColAlignment(int col, ColAlign alignment) { m_columns[col].alignment = alignment; }
    bool ColReadOnly(int col) const { return m_columns[col].readOnly; }
    void SetColReadOnly(int col, bool readOnly) { m_columns[col].readOnly = readOnly; }

    // Opens the in-place editor on the selected text cell when the cell,
    // its column and the table are writable.
    void ShowEditor();
    void HideEditor();
    bool EditorVisible() const;
    QLineEdit* Editor() const { return m_editor; }
    QHeaderView* Header() const { return m_header; }
    // Enter and space: toggles a check-box cell, edits a text cell.
    void Action();
    // Inverts the selected check-box cell of a writable column and table.
    void InvChecking();

    // Rows that fit below the header.
    int VisibleRows() const;
    int TopRow() const;
    int LeftPos() const;
    // The cell's rectangle in viewport coordinates.
    QRect CellRect(int row, int col) const;
    QRect CheckBoxRect(int row, int col) const;

signals:
    // The user changed the selected cell (editor text, toggled check box).
    void changed(int row, int col);
    // The selected cell changed.
    void selChanged(int row, int col);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void HeaderSectionResize();
    void UpdateScrollRanges();
    void AdjustScroll();
    void PlaceHeader();
    void PlaceEditor();
    void DrawCell(QPainter& painter, const QRect& rect, int row, bool selected, int col);
    int ColumnLeft(int col) const;
    int TotalWidth() const;
    QPoint CellAt(const QPoint& viewportPos) const;
    void SelectCellAt(const QPoint& viewportPos);
    void HandleKey(int key);
    bool ValidSelection() const;
    void EditorTextEdited(const QString& text);

    TGoodTableStore m_store;
    TGoodTableSource* m_source = &m_store;
    std::vector<ColInfo> m_columns;
    int m_rowCount = 0;
    int m_col = -1;
    int m_row = -1;
    bool m_readOnly = false;
    bool m_mouseSelecting = false;
    bool m_hidingEditor = false;
    int m_editRow = -1;  // the cell the editor was opened on
    int m_editCol = -1;
    int m_wheelDelta = 0;
    QStandardItemModel* m_headerModel = nullptr;
    QHeaderView* m_header = nullptr;
    QLineEdit* m_editor = nullptr;
};
