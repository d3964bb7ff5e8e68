#include "components/GoodTable.h"

#include <QAccessible>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>
#include <set>

Q_DECLARE_METATYPE(ColType)

namespace {

// A package-sized source that counts what the table asks for.
class CountingSource : public TGoodTableSource {
public:
    QString cellText(int row, int col) const override {
        askedRows.insert(row);
        if (row == editedRow && col == editedCol) return edited;
        return QString::number(row) + QLatin1Char(':') + QString::number(col);
    }
    bool cellChecked(int, int) const override { return false; }
    void setCellText(int row, int col, const QString& text) override {
        editedRow = row;
        editedCol = col;
        edited = text;
    }
    void setCellChecked(int, int, bool) override {}

    mutable std::set<int> askedRows;
    int editedRow = -1;
    int editedCol = -1;
    QString edited;
};

}  // namespace

class GoodTableTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void keyboardMovesSelection_data();
    void keyboardMovesSelection();
    void typedCharacterStartsFreshValue_data();
    void typedCharacterStartsFreshValue();
    void editorArrowClosesAndMoves();
    void keysOnProtectedCells_data();
    void keysOnProtectedCells();
    void mousePress_data();
    void mousePress();
    void dragSelects();
    void wheelMovesOneRow();
    void shrinkingMovesSelection();
    void selectedColumnScrollsIntoView();
    void itemsSetCaptionsAndColumns();
    void sourcePaintsOnlyRowsInView();
    void accessibilityShowsCellsHeadersAndTheCurrentCell();
    void accessibleCellsFollowTheTable();

private:
    // 100 rows of three columns (text, text, check box), 20 rows in view.
    std::unique_ptr<TGoodTable> m_table;
};

void GoodTableTest::init() {
    m_table = std::make_unique<TGoodTable>();
    m_table->SetItems({"A", "B", "C"});
    for (int c = 0; c < 3; ++c) m_table->SetWidths(c, 60);
    m_table->SetColTypes(2, ColType::Check);
    m_table->SetRowCount(100);
    for (int r = 0; r < 100; ++r) m_table->SetCells(r, 0, QString::number(r));
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->resize(300, 400);
    m_table->show();
    m_table->resize(300, m_table->height() - m_table->viewport()->height() + 20 * TGoodTable::kRowHeight);
    QApplication::setActiveWindow(m_table.get());
    QVERIFY(QTest::qWaitForWindowActive(m_table.get()));
    m_table->setFocus();
    QCOMPARE(m_table->VisibleRows(), 20);
    m_table->SetCol(0);
    m_table->SetRow(0);
}

void GoodTableTest::cleanup() { m_table.reset(); }

void GoodTableTest::keyboardMovesSelection_data() {
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("top");
    // A page is 19 rows here: the client height over 17, less two.
    QTest::newRow("page down near the end goes to the last row") << 95 << int(Qt::Key_PageDown) << 99 << 80;
    QTest::newRow("page down a full page") << 10 << int(Qt::Key_PageDown) << 29 << 10;
    QTest::newRow("page up a full page") << 40 << int(Qt::Key_PageUp) << 21 << 21;
    QTest::newRow("page up from row 19 goes to the first row") << 19 << int(Qt::Key_PageUp) << 0 << 0;
    QTest::newRow("page up from row 20 stops at row 1") << 20 << int(Qt::Key_PageUp) << 1 << 1;
    QTest::newRow("end") << 3 << int(Qt::Key_End) << 99 << 80;
    QTest::newRow("home") << 60 << int(Qt::Key_Home) << 0 << 0;
    QTest::newRow("down") << 19 << int(Qt::Key_Down) << 20 << 1;
    QTest::newRow("down stays on the last row") << 99 << int(Qt::Key_Down) << 99 << 80;
    QTest::newRow("up stays on the first row") << 0 << int(Qt::Key_Up) << 0 << 0;
}

void GoodTableTest::keyboardMovesSelection() {
    QFETCH(int, start);
    QFETCH(int, key);
    QFETCH(int, row);
    QFETCH(int, top);
    m_table->SetRow(start);
    QSignalSpy sel(m_table.get(), &TGoodTable::selChanged);
    QTest::keyClick(m_table.get(), static_cast<Qt::Key>(key));
    QCOMPARE(m_table->Row(), row);
    QCOMPARE(m_table->TopRow(), top);
    QCOMPARE(sel.count(), row == start ? 0 : 1);
}

void GoodTableTest::typedCharacterStartsFreshValue_data() {
    QTest::addColumn<int>("closeKey");
    QTest::newRow("escape keeps the typed text") << int(Qt::Key_Escape);
    QTest::newRow("enter keeps the typed text") << int(Qt::Key_Return);
}

void GoodTableTest::typedCharacterStartsFreshValue() {
    QFETCH(int, closeKey);
    m_table->SetRow(7);
    m_table->SetCells(7, 1, "old value");
    m_table->SetCol(1);
    QSignalSpy changed(m_table.get(), &TGoodTable::changed);

    QTest::keyClicks(m_table.get(), "x");
    QVERIFY(m_table->EditorVisible());
    QCOMPARE(m_table->Editor()->text(), QString("x"));
    QCOMPARE(m_table->Editor()->cursorPosition(), 1);
    QVERIFY(m_table->Editor()->hasFocus());
    QCOMPARE(m_table->Cells(7, 1), QString("x"));

    QTest::keyClicks(m_table->Editor(), "yz");
    QCOMPARE(m_table->Cells(7, 1), QString("xyz"));
    QCOMPARE(changed.count(), 3);
    QCOMPARE(changed.last(), (QList<QVariant>{7, 1}));

    QTest::keyClick(m_table->Editor(), static_cast<Qt::Key>(closeKey));
    QVERIFY(!m_table->EditorVisible());
    QVERIFY(m_table->hasFocus());
    QCOMPARE(m_table->Cells(7, 1), QString("xyz"));
    QCOMPARE(changed.count(), 3);
}

void GoodTableTest::editorArrowClosesAndMoves() {
    m_table->SetRow(4);
    QTest::keyClick(m_table.get(), Qt::Key_F2);
    QVERIFY(m_table->EditorVisible());
    QCOMPARE(m_table->Editor()->text(), QString("4"));
    QTest::keyClick(m_table->Editor(), Qt::Key_Down);
    QVERIFY(!m_table->EditorVisible());
    QCOMPARE(m_table->Row(), 5);
    QTest::keyClick(m_table.get(), Qt::Key_Return);
    QCOMPARE(m_table->Editor()->text(), QString("5"));
    QTest::keyClick(m_table->Editor(), Qt::Key_Up);
    QCOMPARE(m_table->Row(), 4);
    QVERIFY(!m_table->EditorVisible());
}

void GoodTableTest::keysOnProtectedCells_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<bool>("colReadOnly");
    QTest::addColumn<bool>("tableReadOnly");
    QTest::addColumn<QString>("typed");  // empty: Enter
    QTest::addColumn<bool>("toggles");
    QTest::addColumn<bool>("edits");
    QTest::newRow("space toggles a check box") << 2 << false << false << " " << true << false;
    QTest::newRow("enter toggles a check box") << 2 << false << false << "" << true << false;
    QTest::newRow("space on a read-only check column") << 2 << true << false << " " << false << false;
    QTest::newRow("space on a read-only table") << 2 << false << true << " " << false << false;
    QTest::newRow("letter on a check box") << 2 << false << false << "a" << false << false;
    QTest::newRow("space opens a text cell") << 1 << false << false << " " << false << true;
    QTest::newRow("letter on a read-only text column") << 1 << true << false << "a" << false << false;
    QTest::newRow("letter on a read-only table") << 1 << false << true << "a" << false << false;
    QTest::newRow("enter on a read-only text column") << 1 << true << false << "" << false << false;
}

void GoodTableTest::keysOnProtectedCells() {
    QFETCH(int, col);
    QFETCH(bool, colReadOnly);
    QFETCH(bool, tableReadOnly);
    QFETCH(QString, typed);
    QFETCH(bool, toggles);
    QFETCH(bool, edits);
    m_table->SetColReadOnly(col, colReadOnly);
    m_table->SetReadOnly(tableReadOnly);
    m_table->SetCol(col);
    m_table->SetRow(3);
    m_table->SetCells(3, col, "kept");
    QSignalSpy changed(m_table.get(), &TGoodTable::changed);

    if (typed.isEmpty())
        QTest::keyClick(m_table.get(), Qt::Key_Return);
    else
        QTest::keyClicks(m_table.get(), typed);

    QCOMPARE(m_table->CellsChecked(3, col), toggles);
    QCOMPARE(m_table->EditorVisible(), edits);
    QCOMPARE(changed.count(), toggles ? 1 : 0);
    if (edits) QCOMPARE(m_table->Editor()->text(), QString("kept"));
}

void GoodTableTest::mousePress_data() {
    QTest::addColumn<int>("selectedCol");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("onBox");
    QTest::addColumn<bool>("toggles");
    QTest::addColumn<bool>("edits");
    QTest::newRow("press inside a check box toggles it") << 0 << 2 << 6 << true << true << false;
    QTest::newRow("press beside a check box only selects") << 0 << 2 << 6 << false << false << false;
    QTest::newRow("press on the selected text cell edits it") << 1 << 1 << 2 << false << false << true;
    QTest::newRow("press on another text cell only selects") << 0 << 1 << 6 << false << false << false;
}

void GoodTableTest::mousePress() {
    QFETCH(int, selectedCol);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(bool, onBox);
    QFETCH(bool, toggles);
    QFETCH(bool, edits);
    m_table->SetCol(selectedCol);
    m_table->SetRow(2);
    QSignalSpy changed(m_table.get(), &TGoodTable::changed);

    const QRect cell = m_table->CellRect(row, col);
    const QPoint at = onBox ? m_table->CheckBoxRect(row, col).center() : QPoint(cell.left() + 2, cell.center().y());
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, at);

    QCOMPARE(m_table->Col(), col);
    QCOMPARE(m_table->Row(), row);
    QCOMPARE(m_table->CellsChecked(row, col), toggles);
    QCOMPARE(changed.count(), toggles ? 1 : 0);
    QCOMPARE(m_table->EditorVisible(), edits);
}

void GoodTableTest::dragSelects() {
    QSignalSpy sel(m_table.get(), &TGoodTable::selChanged);
    const QPoint from = m_table->CellRect(1, 0).center();
    const QPoint to = m_table->CellRect(5, 0).center();
    QTest::mousePress(m_table->viewport(), Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, m_table->viewport()->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(m_table->viewport(), &move);
    QCOMPARE(m_table->Row(), 5);
    QTest::mouseRelease(m_table->viewport(), Qt::LeftButton, {}, to);
    QCOMPARE(sel.count(), 2);

    // With the button up, moving selects nothing.
    const QPoint away = m_table->CellRect(9, 0).center();
    QMouseEvent hover(QEvent::MouseMove, away, m_table->viewport()->mapToGlobal(away), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    QApplication::sendEvent(m_table->viewport(), &hover);
    QCOMPARE(m_table->Row(), 5);
}

void GoodTableTest::wheelMovesOneRow() {
    m_table->SetRow(10);
    const QPoint at = m_table->CellRect(10, 0).center();
    QWheelEvent down(at, m_table->viewport()->mapToGlobal(at), {}, {0, -120}, Qt::NoButton, Qt::NoModifier,
                     Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_table->viewport(), &down);
    QCOMPARE(m_table->Row(), 11);
    QCOMPARE(m_table->TopRow(), 1);
    QWheelEvent up(at, m_table->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(m_table->viewport(), &up);
    QApplication::sendEvent(m_table->viewport(), &up);
    QCOMPARE(m_table->Row(), 9);
    QCOMPARE(m_table->TopRow(), 0);
}

void GoodTableTest::shrinkingMovesSelection() {
    m_table->SetCol(2);
    m_table->SetRow(90);
    QSignalSpy sel(m_table.get(), &TGoodTable::selChanged);
    m_table->SetRowCount(50);
    QCOMPARE(m_table->Row(), 49);
    QCOMPARE(m_table->verticalScrollBar()->maximum(), 30);
    m_table->SetColCount(2);
    QCOMPARE(m_table->Col(), 1);
    QCOMPARE(sel.count(), 2);
    // Growing again brings empty cells.
    m_table->SetColCount(3);
    m_table->SetRowCount(51);
    QCOMPARE(m_table->Cells(50, 2), QString());
    QCOMPARE(m_table->Cells(49, 0), QString("49"));
}

void GoodTableTest::selectedColumnScrollsIntoView() {
    m_table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_table->SetColCount(6);
    for (int c = 0; c < 6; ++c) m_table->SetWidths(c, 150);
    const int view = m_table->viewport()->width();
    QCOMPARE(m_table->horizontalScrollBar()->maximum(), 900 - view);

    m_table->SetCol(4);
    QCOMPARE(m_table->LeftPos(), 750 - view);
    QCOMPARE(m_table->Header()->offset(), m_table->LeftPos());
    QTest::keyClick(m_table.get(), Qt::Key_Left);
    QTest::keyClick(m_table.get(), Qt::Key_Left);
    QTest::keyClick(m_table.get(), Qt::Key_Left);
    QCOMPARE(m_table->Col(), 1);
    QCOMPARE(m_table->LeftPos(), 150);
}

void GoodTableTest::itemsSetCaptionsAndColumns() {
    m_table->SetItems({"N", "Q (м3/ч)", "T", "Σ"});
    QCOMPARE(m_table->ColCount(), 4);
    QCOMPARE(m_table->Captions(1), QString("Q (м3/ч)"));
    QCOMPARE(m_table->Items(), (QStringList{"N", "Q (м3/ч)", "T", "Σ"}));
    // The new column is a writable left-aligned text column.
    QCOMPARE(m_table->ColTypes(3), ColType::Text);
    QCOMPARE(m_table->ColReadOnly(3), false);
    QCOMPARE(m_table->ColAlignment(3), ColAlign::Left);
    QCOMPARE(m_table->Widths(3), TGoodTable::kDefaultWidth);
}

void GoodTableTest::sourcePaintsOnlyRowsInView() {
    CountingSource source;
    m_table->SetRowCount(100000);
    m_table->SetDataSource(&source);
    m_table->SetRow(50000);
    m_table->SetCol(1);
    source.askedRows.clear();
    m_table->viewport()->repaint();
    QVERIFY(!source.askedRows.empty());
    QVERIFY(*source.askedRows.begin() >= m_table->TopRow());
    QVERIFY(*source.askedRows.rbegin() <= m_table->TopRow() + m_table->VisibleRows());
    QCOMPARE(m_table->Cells(50000, 1), QString("50000:1"));

    // Edits go to the source.
    QTest::keyClicks(m_table.get(), "7");
    QCOMPARE(source.editedRow, 50000);
    QCOMPARE(source.editedCol, 1);
    QCOMPARE(source.edited, QString("7"));
    QTest::keyClick(m_table->Editor(), Qt::Key_Escape);
    QCOMPARE(m_table->Cells(50000, 1), QString("7"));
}

void GoodTableTest::accessibilityShowsCellsHeadersAndTheCurrentCell() {
    m_table->setAccessibleName(QStringLiteral("Измерения"));
    m_table->SetCells(5, 1, QStringLiteral("12,5"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(m_table.get());
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Table);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Измерения"));
    QAccessibleTableInterface* table = iface->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 100);
    QCOMPARE(table->columnCount(), 3);
    QCOMPARE(table->columnDescription(1), QStringLiteral("B"));

    // A cell: its text, its place and its column's header.
    QAccessibleInterface* cell = table->cellAt(5, 1);
    QVERIFY(cell);
    QCOMPARE(cell->role(), QAccessible::Cell);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("12,5"));
    QCOMPARE(cell->parent(), iface);
    QAccessibleTableCellInterface* place = cell->tableCellInterface();
    QVERIFY(place);
    QCOMPARE(place->rowIndex(), 5);
    QCOMPARE(place->columnIndex(), 1);
    const QList<QAccessibleInterface*> headers = place->columnHeaderCells();
    QCOMPARE(headers.size(), 1);
    QCOMPARE(headers.first()->role(), QAccessible::ColumnHeader);
    QCOMPARE(headers.first()->text(QAccessible::Name), QStringLiteral("B"));
    QCOMPARE(table->cellAt(5, 1), cell);  // one interface per cell
    QCOMPARE(table->cellAt(100, 0), nullptr);

    // As children: the header row first, then the cells row by row.
    QCOMPARE(iface->childCount(), 3 * 101);
    QCOMPARE(iface->child(1), headers.first());
    QCOMPARE(iface->child(3 * 6 + 1), cell);
    QCOMPARE(iface->indexOfChild(cell), 3 * 6 + 1);
    // Where the cell is drawn, there it is found.
    QCOMPARE(iface->childAt(cell->rect().center().x(), cell->rect().center().y()), cell);
    QCOMPARE(cell->rect().size(), m_table->CellRect(5, 1).size());

    // The current cell is the selection and, in a focused table, the focus.
    m_table->SetRow(5);
    m_table->SetCol(1);
    QCOMPARE(table->selectedCells(), QList<QAccessibleInterface*>{cell});
    QVERIFY(cell->state().selected);
    QVERIFY(cell->state().focused);
    QVERIFY(cell->state().editable);
    QCOMPARE(iface->focusChild(), cell);
    QVERIFY(!table->cellAt(6, 1)->state().selected);
}

void GoodTableTest::accessibleCellsFollowTheTable() {
    QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(m_table.get())->tableInterface();
    QVERIFY(table);
    QAccessibleInterface* cell = table->cellAt(60, 0);
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("60"));
    m_table->SetCells(60, 0, QStringLiteral("шестьдесят"));
    QCOMPARE(cell->text(QAccessible::Name), QStringLiteral("шестьдесят"));
    m_table->SetCaptions(0, QStringLiteral("N"));
    QCOMPARE(cell->tableCellInterface()->columnHeaderCells().first()->text(QAccessible::Name), QStringLiteral("N"));

    // A check-box cell tells its state, and its action toggles it as a click does.
    m_table->SetCellsChecked(3, 2, true);
    QAccessibleInterface* box = table->cellAt(3, 2);
    QVERIFY(box->state().checkable);
    QVERIFY(box->state().checked);
    QCOMPARE(box->text(QAccessible::Name), QString());
    QAccessibleActionInterface* action = box->actionInterface();
    QVERIFY(action);
    QVERIFY(action->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    QSignalSpy changed(m_table.get(), &TGoodTable::changed);
    action->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(!m_table->CellsChecked(3, 2));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_table->Row(), 3);
    QCOMPARE(m_table->Col(), 2);
    m_table->SetReadOnly(true);
    QVERIFY(!box->actionInterface()->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    QVERIFY(table->cellAt(3, 1)->state().readOnly);

    // Rows that go away leave their cells invalid.
    m_table->SetRowCount(50);
    QVERIFY(!cell->isValid());
    QCOMPARE(table->rowCount(), 50);
    QCOMPARE(table->cellAt(60, 0), nullptr);
}

QTEST_MAIN(GoodTableTest)
#include "GoodTableTest.moc"
