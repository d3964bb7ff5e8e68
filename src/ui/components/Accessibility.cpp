#include "Accessibility.h"

#include <QAccessible>
#include <QAbstractButton>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QFormLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QWindow>

#include <algorithm>

#include "GoodTable.h"

namespace {

// ---- TGoodTable ------------------------------------------------------------------

class GoodTableAccessible;

// A cell of a TGoodTable, or the header section of a column (row -1). It
// reads the table each time it is asked, so it never shows a stale text.
class GoodTableCellAccessible final : public QAccessibleInterface,
                                      public QAccessibleTableCellInterface,
                                      public QAccessibleActionInterface {
public:
    GoodTableCellAccessible(TGoodTable* table, int row, int col) : m_table(table), m_row(row), m_col(col) {}

    bool isHeader() const { return m_row < 0; }

    // QAccessibleInterface
    bool isValid() const override {
        if (!m_table || m_col >= m_table->ColCount()) return false;
        return isHeader() || m_row < m_table->RowCount();
    }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_table ? m_table->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override { return QAccessible::queryAccessibleInterface(m_table.data()); }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QAccessibleInterface* focusChild() const override { return nullptr; }

    QString text(QAccessible::Text t) const override {
        if (!isValid() || (t != QAccessible::Name && t != QAccessible::Value)) return QString();
        if (isHeader()) return t == QAccessible::Name ? m_table->Captions(m_col) : QString();
        if (m_table->ColTypes(m_col) == ColType::Check) return QString();  // its state says it
        return m_table->Cells(m_row, m_col);
    }
    void setText(QAccessible::Text, const QString&) override {}

    QRect rect() const override {
        if (!isValid()) return QRect();
        if (isHeader()) {
            QHeaderView* header = m_table->Header();
            const QPoint topLeft = header->mapToGlobal(QPoint(header->sectionViewportPosition(m_col), 0));
            return QRect(topLeft, QSize(header->sectionSize(m_col), header->height()));
        }
        const QRect cell = m_table->CellRect(m_row, m_col);
        return QRect(m_table->viewport()->mapToGlobal(cell.topLeft()), cell.size());
    }

    QAccessible::Role role() const override { return isHeader() ? QAccessible::ColumnHeader : QAccessible::Cell; }

    QAccessible::State state() const override {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const QRect shown = m_table->viewport()->rect();
        const QRect cell = isHeader() ? rect() : m_table->CellRect(m_row, m_col);
        if (!m_table->isVisible()) s.invisible = true;
        if (!isHeader() && !shown.intersects(cell)) s.offscreen = true;
        if (isHeader()) return s;
        s.selectable = true;
        s.focusable = true;
        if (isSelected()) {
            s.selected = true;
            s.focused = m_table->hasFocus();
        }
        const bool writable = !m_table->ReadOnly() && !m_table->ColReadOnly(m_col);
        if (m_table->ColTypes(m_col) == ColType::Check) {
            s.checkable = true;
            s.checked = m_table->CellsChecked(m_row, m_col);
        } else if (writable) {
            s.editable = true;
        }
        if (!writable) s.readOnly = true;
        return s;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableCellInterface) return static_cast<QAccessibleTableCellInterface*>(this);
        if (type == QAccessible::ActionInterface && !isHeader()) return static_cast<QAccessibleActionInterface*>(this);
        return nullptr;
    }

    // QAccessibleTableCellInterface
    bool isSelected() const override {
        return isValid() && !isHeader() && m_table->Row() == m_row && m_table->Col() == m_col;
    }
    QList<QAccessibleInterface*> columnHeaderCells() const override;
    QList<QAccessibleInterface*> rowHeaderCells() const override { return {}; }
    int columnIndex() const override { return m_col; }
    int rowIndex() const override { return m_row; }
    int columnExtent() const override { return 1; }
    int rowExtent() const override { return 1; }
    QAccessibleInterface* table() const override { return parent(); }

    // QAccessibleActionInterface: a cell can be made the current one, and a
    // writable check box toggled, as a click does.
    QStringList actionNames() const override {
        if (!isValid() || isHeader()) return {};
        QStringList names{setFocusAction()};
        if (m_table->ColTypes(m_col) == ColType::Check && !m_table->ReadOnly() && !m_table->ColReadOnly(m_col))
            names << toggleAction();
        return names;
    }
    void doAction(const QString& name) override {
        if (!actionNames().contains(name)) return;
        m_table->setFocus(Qt::OtherFocusReason);
        m_table->SetCol(m_col);
        m_table->SetRow(m_row);
        if (name == toggleAction()) m_table->InvChecking();
    }
    QStringList keyBindingsForAction(const QString&) const override { return {}; }

private:
    QPointer<TGoodTable> m_table;
    int m_row;
    int m_col;
};

// The table itself: its children are the header sections, then the cells row
// by row. Cell interfaces are made when first asked for and kept, by their
// row and column, until the table goes.
class GoodTableAccessible final : public QAccessibleWidget, public QAccessibleTableInterface {
public:
    explicit GoodTableAccessible(TGoodTable* table) : QAccessibleWidget(table, QAccessible::Table) {}

    ~GoodTableAccessible() override {
        for (const QAccessible::Id id : std::as_const(m_cells)) QAccessible::deleteAccessibleInterface(id);
    }

    TGoodTable* goodTable() const { return static_cast<TGoodTable*>(object()); }

    // Row -1 is the header.
    QAccessibleInterface* cell(int row, int col) const {
        const TGoodTable* t = goodTable();
        if (col < 0 || col >= t->ColCount() || row < -1 || row >= t->RowCount()) return nullptr;
        const auto key = qMakePair(row, col);
        if (const auto found = m_cells.constFind(key); found != m_cells.constEnd())
            return QAccessible::accessibleInterface(*found);
        auto* made = new GoodTableCellAccessible(goodTable(), row, col);
        m_cells.insert(key, QAccessible::registerAccessibleInterface(made));
        return made;
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TableInterface) return static_cast<QAccessibleTableInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    int childCount() const override { return goodTable()->ColCount() * (goodTable()->RowCount() + 1); }

    QAccessibleInterface* child(int index) const override {
        const int cols = goodTable()->ColCount();
        if (index < 0 || cols == 0) return nullptr;
        return cell(index / cols - 1, index % cols);
    }

    int indexOfChild(const QAccessibleInterface* child) const override {
        const QAccessibleTableCellInterface* c =
            child ? const_cast<QAccessibleInterface*>(child)->tableCellInterface() : nullptr;
        if (!c || child->parent() == nullptr || child->parent()->object() != object()) return -1;
        return (c->rowIndex() + 1) * goodTable()->ColCount() + c->columnIndex();
    }

    QAccessibleInterface* childAt(int x, int y) const override {
        TGoodTable* t = goodTable();
        QHeaderView* header = t->Header();
        const QPoint inHeader = header->mapFromGlobal(QPoint(x, y));
        if (header->rect().contains(inHeader)) return cell(-1, header->logicalIndexAt(inHeader.x()));
        const QPoint inView = t->viewport()->mapFromGlobal(QPoint(x, y));
        if (!t->viewport()->rect().contains(inView)) return nullptr;
        const int row = t->TopRow() + inView.y() / TGoodTable::kRowHeight;
        for (int col = 0; col < t->ColCount(); ++col) {
            if (t->CellRect(row, col).adjusted(0, 0, 1, 1).contains(inView)) return cell(row, col);
        }
        return nullptr;
    }

    QAccessibleInterface* focusChild() const override {
        TGoodTable* t = goodTable();
        if (t->EditorVisible() && t->Editor()->hasFocus()) return QAccessible::queryAccessibleInterface(t->Editor());
        if (t->hasFocus()) return cell(t->Row(), t->Col());
        return nullptr;
    }

    // QAccessibleTableInterface: the selection is the current cell.
    QAccessibleInterface* caption() const override { return nullptr; }
    QAccessibleInterface* summary() const override { return nullptr; }
    QAccessibleInterface* cellAt(int row, int column) const override { return row < 0 ? nullptr : cell(row, column); }
    int selectedCellCount() const override { return selectedCells().size(); }
    QList<QAccessibleInterface*> selectedCells() const override {
        const TGoodTable* t = goodTable();
        if (t->Row() < 0 || t->Col() < 0) return {};
        if (QAccessibleInterface* current = cell(t->Row(), t->Col())) return {current};
        return {};
    }
    QString columnDescription(int column) const override {
        return column >= 0 && column < goodTable()->ColCount() ? goodTable()->Captions(column) : QString();
    }
    int columnCount() const override { return goodTable()->ColCount(); }
    int rowCount() const override { return goodTable()->RowCount(); }
    int selectedColumnCount() const override { return 0; }
    int selectedRowCount() const override { return 0; }
    QString rowDescription(int) const override { return QString(); }
    QList<int> selectedColumns() const override { return {}; }
    QList<int> selectedRows() const override { return {}; }
    bool isColumnSelected(int) const override { return false; }
    bool isRowSelected(int) const override { return false; }
    bool selectRow(int row) override {
        if (row < 0 || row >= goodTable()->RowCount()) return false;
        goodTable()->SetRow(row);
        return true;
    }
    bool selectColumn(int column) override {
        if (column < 0 || column >= goodTable()->ColCount()) return false;
        goodTable()->SetCol(column);
        return true;
    }
    bool unselectRow(int) override { return false; }
    bool unselectColumn(int) override { return false; }
    void modelChange(QAccessibleTableModelChangeEvent*) override {}

private:
    mutable QHash<QPair<int, int>, QAccessible::Id> m_cells;
};

QList<QAccessibleInterface*> GoodTableCellAccessible::columnHeaderCells() const {
    if (!isValid() || isHeader()) return {};
    auto* owner = dynamic_cast<GoodTableAccessible*>(parent());
    if (!owner) return {};
    if (QAccessibleInterface* header = owner->cell(-1, m_col)) return {header};
    return {};
}

// Tells an assistive tool what the table did: the current cell moved, or the
// user changed a cell.
void reportCell(TGoodTable* table, int row, int col, QAccessible::Event event) {
    if (!QAccessible::isActive()) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(table);
    QAccessibleTableInterface* t = iface ? iface->tableInterface() : nullptr;
    QAccessibleInterface* cell = t ? t->cellAt(row, col) : nullptr;
    if (!cell) return;
    if (event == QAccessible::Selection && table->hasFocus()) {
        QAccessibleEvent focus(cell, QAccessible::Focus);
        QAccessible::updateAccessibility(&focus);
    }
    QAccessibleEvent e(cell, event);
    QAccessible::updateAccessibility(&e);
}

// ---- shown text ---------------------------------------------------------------------

// A text that can be read and not edited or selected: what a value panel or
// a combo box shows, read each time it is asked.
class ShownText : public QAccessibleTextInterface {
public:
    virtual QString shown() const = 0;

    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override {
        const QString all = shown();
        if (end < 0 || end > all.size()) end = int(all.size());
        if (start < 0 || start > end) return QString();
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(shown().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return QString();
    }
};

// ---- combo boxes -------------------------------------------------------------------

// A combo box named by its label: Name is the accessible name, or else the
// text of the label whose buddy it is, or else (no label at all) the current
// item as Qt gives it; Value and the text are the current item, so that a
// screen reader reads it over AT-SPI (Qt's own box gives it there only while
// the list is open). QComboBox reports a change of item as a value change.
// Its children are the drop-down list and, for an editable box, the edit.
class LabelledComboAccessible final : public QAccessibleWidget, public ShownText {
public:
    explicit LabelledComboAccessible(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    using ShownText::text;
    QComboBox* combo() const { return static_cast<QComboBox*>(object()); }
    QString shown() const override {
        return combo()->isEditable() && combo()->lineEdit() ? combo()->lineEdit()->text() : combo()->currentText();
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        const QString value = shown();
        if (t == QAccessible::Value) return value;
        if (t == QAccessible::Name) {
            const QString name = AccessibleCaption(QAccessibleWidget::text(t));
            return name.isEmpty() ? value : name;
        }
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return combo()->isEditable() && combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && childCount() == 2) return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) return -1;
        if (child->object() == combo()->view()) return 0;
        if (childCount() == 2 && child->object() == combo()->lineEdit()) return 1;
        return -1;
    }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }

    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = combo()->view()->isVisible();
        s.editable = combo()->isEditable();
        return s;
    }

    QStringList actionNames() const override { return QStringList{showMenuAction()} + QAccessibleWidget::actionNames(); }
    void doAction(const QString& name) override {
        if (name == showMenuAction()) {
            if (combo()->view()->isVisible())
                combo()->hidePopup();
            else
                combo()->showPopup();
            return;
        }
        QAccessibleWidget::doAction(name);
    }
};

// Every label: Name is its accessible name when it has one (a value panel
// named by what it shows: "N1, имп"), else its text without the mnemonic
// marks; its text is the shown text, so a screen reader announces a value
// panel's value and a script can read it; a caption names its buddy.
class ValueLabelAccessible final : public QAccessibleWidget, public ShownText {
public:
    explicit ValueLabelAccessible(QLabel* label) : QAccessibleWidget(label, QAccessible::StaticText) {}

    using ShownText::text;
    QLabel* label() const { return static_cast<QLabel*>(object()); }
    QString shown() const override { return label()->text(); }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return shown();
        if (t == QAccessible::Name && label()->accessibleName().isEmpty()) return withoutMnemonics(shown());
        return QAccessibleWidget::text(t);
    }
    QList<std::pair<QAccessibleInterface*, QAccessible::Relation>> relations(
        QAccessible::Relation match) const override {
        auto related = QAccessibleWidget::relations(match);
        if (QWidget* buddy = label()->buddy(); buddy && (match & QAccessible::Labelled))
            if (QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(buddy))
                related.append({iface, QAccessible::Labelled});
        return related;
    }

    static QString withoutMnemonics(const QString& text) {
        QString plain;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i] == QLatin1Char('&') && i + 1 < text.size()) ++i;
            plain += text[i];
        }
        return plain;
    }

};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    if (className == QLatin1String("TGoodTable")) {
        auto* table = static_cast<TGoodTable*>(object);
        if (!table->property("rvAccessibilityEvents").toBool()) {
            table->setProperty("rvAccessibilityEvents", true);
            QObject::connect(table, &TGoodTable::selChanged, table, [table](int row, int col) {
                reportCell(table, row, col, QAccessible::Selection);
            });
            QObject::connect(table, &TGoodTable::changed, table, [table](int row, int col) {
                reportCell(table, row, col, QAccessible::NameChanged);
            });
        }
        return new GoodTableAccessible(table);
    }
    if (className == QLatin1String("QComboBox")) return new LabelledComboAccessible(static_cast<QComboBox*>(object));
    if (className == QLatin1String("QLabel")) return new ValueLabelAccessible(static_cast<QLabel*>(object));
    return nullptr;
}

// A combo box's interface may have been made before the factory was there
// (filling the list already reports a change): it goes, and the next
// question makes the labelled one.
void forgetPlainCombo(QWidget* control) {
    if (!qobject_cast<QComboBox*>(control)) return;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(control);
    if (iface && !dynamic_cast<LabelledComboAccessible*>(iface))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

}  // namespace

void InstallAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(factory);
        return true;
    }();
    (void)installed;
}

QString AccessibleCaption(const QString& caption) {
    QString name = caption;
    name.remove(QLatin1Char('&'));
    name = name.trimmed();
    if (name.endsWith(QLatin1Char(':'))) name.chop(1);
    return name.trimmed();
}

bool CaptionHasWords(const QString& caption) {
    return std::any_of(caption.begin(), caption.end(), [](QChar c) { return c.isLetterOrNumber(); });
}

void NameControl(QWidget* control, const QString& spoken) {
    InstallAccessibility();
    forgetPlainCombo(control);
    auto* button = qobject_cast<QAbstractButton*>(control);
    const QString caption = button ? AccessibleCaption(button->text()) : QString();
    if (!CaptionHasWords(caption)) {
        control->setAccessibleName(spoken);
        return;
    }
    if (spoken.startsWith(caption + QStringLiteral(" — "))) {
        control->setAccessibleName(spoken);
        return;
    }
    control->setAccessibleName(caption);
    if (spoken != caption && !spoken.isEmpty()) {
        control->setAccessibleDescription(spoken);
        if (control->toolTip().isEmpty()) control->setToolTip(spoken);
    }
}

void LabelControl(QLabel* label, QWidget* control) {
    InstallAccessibility();
    label->setBuddy(control);
    const QString caption = AccessibleCaption(label->text());
    if (caption.isEmpty()) return;  // a caption filled in later names it then
    const QString before = control->accessibleName();
    if (!before.isEmpty() && !before.startsWith(caption) && control->accessibleDescription().isEmpty())
        control->setAccessibleDescription(before);
    control->setAccessibleName(caption);
    forgetPlainCombo(control);
}

QLabel* AddLabelledRow(QFormLayout* form, const QString& caption, QWidget* control) {
    auto* label = new QLabel(caption);
    form->addRow(label, control);
    LabelControl(label, control);
    return label;
}
