#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "components/GoodTable.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QPushButton;

// The archive's records as the window's table shows them: a row per record,
// in the order of the column last clicked. Only the rows in view are ever
// asked for, so a hundred thousand records scroll as smoothly as ten.
class ArchiveTableSource final : public TGoodTableSource {
public:
    enum Column { Id, Serial, Model, Diameter, Package, MethodCol, Created, Saved, Entries, ErrMin, ErrMax,
                  VerdictCol, User, Host, Path, kColumns };
    static QString Caption(int col);

    // A record, or a save waiting in the local queue (id 0, its document
    // kept with it).
    struct Item {
        archive::Row row;
        std::string bytes;
    };

    void setItems(std::vector<Item> items);
    int rowCount() const { return static_cast<int>(m_order.size()); }
    const Item& item(int row) const { return m_items[m_order[static_cast<std::size_t>(row)]]; }
    // Orders the rows by a column; the same column again turns the order.
    void sortBy(int col, bool ascending);

    QString cellText(int row, int col) const override;
    static QString cellTextOf(const archive::Row& row, int col);
    bool cellChecked(int, int) const override { return false; }
    void setCellText(int, int, const QString&) override {}
    void setCellChecked(int, int, bool) override {}

private:
    std::vector<Item> m_items;
    std::vector<std::size_t> m_order;
};

// "Архив": the records of every saved package, found by factory number
// prefix, model, save time and verdict; a record's document opened as a new
// document, saved again, or made into a protocol; the rows shown exported
// as CSV. A window of its own beside the main window, not modal. When the
// archive cannot be reached it says so and shows the local queue.
class TArchiveForm : public QWidget {
    Q_OBJECT
public:
    // The window's questions and its link to the program: replaced by tests.
    struct Hooks {
        // A file name to write, or empty when cancelled.
        std::function<QString(QWidget* owner, const QString& caption, const QString& filter, const QString& proposed)>
            saveName;
        // Opens a document's bytes as a new, unsaved document.
        std::function<void(const std::string& bytes)> openDocument;
        // A line for the main window's console.
        std::function<void(const QString& text)> report;
    };

    TArchiveForm(std::string url, std::string queuePath, Hooks hooks, QWidget* parent = nullptr);
    ~TArchiveForm() override;

    // Runs the search of the filters ("Найти").
    void bnFindClick();
    void bnOpenClick();
    void bnSaveAsClick();
    void bnReportClick();
    void bnExportClick();

    TGoodTable* table() const { return m_table; }
    ArchiveTableSource& source() { return m_source; }
    QLabel* state() const { return m_state; }
    QLineEdit* serialEdit() const { return m_serial; }
    QComboBox* modelBox() const { return m_model; }
    QComboBox* verdictBox() const { return m_verdict; }
    QCheckBox* fromCheck() const { return m_fromOn; }
    QDateEdit* fromEdit() const { return m_from; }
    QCheckBox* toCheck() const { return m_toOn; }
    QDateEdit* toEdit() const { return m_to; }
    // The rows shown as CSV text: a header line of captions, then the rows,
    // ";" between fields.
    QString CsvText() const;

private:
    void BuildFilters();
    void BuildButtons();
    archive::Filter CurrentFilter() const;
    void ShowQueue(const QString& why);
    void RefillModels();
    void Sort(int col);
    // The selected row's document; empty, with a console line, when none.
    std::string SelectedDocument();

    std::string m_url, m_queuePath;
    Hooks m_hooks;
    std::unique_ptr<archive::Archive> m_archive;
    ArchiveTableSource m_source;
    int m_sortColumn = ArchiveTableSource::Saved;
    bool m_ascending = false;

    QLineEdit* m_serial = nullptr;
    QComboBox* m_model = nullptr;
    QCheckBox* m_fromOn = nullptr;
    QDateEdit* m_from = nullptr;
    QCheckBox* m_toOn = nullptr;
    QDateEdit* m_to = nullptr;
    QComboBox* m_verdict = nullptr;
    QPushButton* m_find = nullptr;
    QLabel* m_state = nullptr;
    TGoodTable* m_table = nullptr;
    QPushButton* m_open = nullptr;
    QPushButton* m_saveAs = nullptr;
    QPushButton* m_report = nullptr;
    QPushButton* m_export = nullptr;
};
