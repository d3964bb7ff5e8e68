#pragma once

#include <QDialog>

#include <functional>
#include <optional>

class QDialogButtonBox;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

// "Создать новый документ": the device tree and OK / Отмена. Created once and
// reused; the chosen type code keeps its last value between uses (-1 until a
// device row has been selected). Group rows cannot be chosen: selecting one
// disables OK, double-clicking one does nothing.
class NewDocumentDialog : public QDialog {
    Q_OBJECT
public:
    explicit NewDocumentDialog(QWidget* parent = nullptr);

    // Shows the dialog modally. The type code when it ends with OK (-1 when
    // OK was pressed before any row was ever selected, which makes the New
    // command open no document); nothing when cancelled.
    std::optional<int> choose();

    // The chosen type code, -1 for none.
    int code() const { return m_code; }
    bool okEnabled() const;
    // Selects the device row of a type code (expanding its group); false when
    // the tree has no such row.
    bool selectCode(int code);
    // Selects the row with this text; false when there is none.
    bool selectText(const QString& text);

    QTreeWidget* tree() const { return m_tree; }
    QPushButton* okButton() const;

private:
    void selectionChanged();
    void itemDoubleClicked(QTreeWidgetItem* item);
    QTreeWidgetItem* findItem(const std::function<bool(QTreeWidgetItem*)>& match) const;

    QTreeWidget* m_tree = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
    int m_code = -1;
};
