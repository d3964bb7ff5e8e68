#pragma once

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class PackageBase;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

// TCsvOptionsDlg: which package columns make up a line of a text file, in
// which order, the column separator and (export only) the decimal
// separator. The choices are kept per package kind and direction in the
// settings store ("csv" + entry type, package type, method, direction;
// "Separator"; "DecimalSeparator") and stored only when the dialog is
// confirmed.
//
// Items of both lists carry the column's position in the package, or
// files::kSkipColumn for the pseudo-column that fills zeros on export and
// skips a field on import.
class CsvOptionsDialog : public QDialog {
    Q_OBJECT
public:
    // Asks for the file to write (save) or read; an empty text cancels.
    using FileChooser = std::function<QString(QWidget* parent, bool save)>;

    explicit CsvOptionsDialog(QWidget* parent = nullptr);

    // The menu items "Экспорт в текстовый файл" / "Импорт из текстового
    // файла" on a package: prepare, the dialog modally, the file, the
    // exchange and the stored choices. `hidden` is the number of trailing
    // columns the device leaves out. The import recalculates the package
    // whether or not a file was chosen. Settings-store failures are raised.
    void Execute(PackageBase& package, bool exportText, int hidden);

    // Steps of Execute, usable without a modal loop:
    // the caption, the separator lists and both column lists from the
    // settings store;
    void prepare(const PackageBase& package, bool exportText, int hidden);
    // after OK: the exchange with `path` (empty: no file chosen), then the
    // choices stored.
    void finish(PackageBase& package, const QString& path);

    // The line columns in order (positions, kSkipColumn).
    std::vector<int> lineColumns() const;
    // The available columns in order.
    std::vector<int> availableColumns() const;
    // The character of the separator list (TAB when nothing is selected).
    char separator() const;
    // The second character of the decimal separator item's text.
    char decimalChar() const;

    // The list buttons "<", ">", "Вверх", "Вниз" on the selected items.
    void avail2File();
    void file2Avail();
    void moveUp();
    void moveDown();
    // Selects the item of a list that carries `number`; false if none does.
    bool selectAvailable(int number);
    bool selectFile(int number);

    // Replaces the file dialogs (tests).
    void setFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

    // Name of the column value: "csv" + entry type, package type, method and
    // direction (1 export, 0 import) as four digits.
    static std::string valueName(const PackageBase& package, bool exportText);

    QListWidget* fileList() const { return m_file; }
    QListWidget* availableList() const { return m_available; }
    QComboBox* separatorBox() const { return m_separator; }
    QComboBox* decimalSeparatorBox() const { return m_decimal; }

private:
    void addItem(QListWidget* list, int row, const QString& text, int number);
    void storeSettings();

    QListWidget* m_file = nullptr;
    QListWidget* m_available = nullptr;
    QComboBox* m_separator = nullptr;
    QComboBox* m_decimal = nullptr;
    QLabel* m_decimalLabel = nullptr;
    FileChooser m_chooseFile;
    bool m_export = true;
    std::string m_valueName;
    QString m_skipText;
};
