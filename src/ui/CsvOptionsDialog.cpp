#include "CsvOptionsDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdint>

#include "common/Locale.h"
#include "components/Accessibility.h"
#include "document/PackageBase.h"
#include "files/TextExchange.h"
#include "link/RegKey.h"

namespace {

constexpr int kNumberRole = Qt::UserRole;
// Column lists of this many columns or more are not stored.
constexpr int kMaxStoredColumns = 32;
// The stored code of the skip column.
constexpr unsigned char kSkipCode = 255;

const char kSeparators[] = {' ', ',', ';', '\t'};

const QString kFilter = QStringLiteral("Текстовые файлы (*.txt);;CSV файлы (*.csv);;Все файлы (*.*)");

int numberOf(const QListWidgetItem* item) { return item->data(kNumberRole).toInt(); }

QString chooseFile(QWidget* parent, bool save) {
    QFileDialog dialog(parent);
    dialog.setNameFilter(kFilter);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.selectNameFilter(kFilter.split(QStringLiteral(";;")).at(2));
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().front();
}

}  // namespace

CsvOptionsDialog::CsvOptionsDialog(QWidget* parent) : QDialog(parent), m_chooseFile(chooseFile) {
    setProperty("helpKeyword", QStringLiteral("export_data"));

    m_file = new QListWidget(this);
    m_file->setObjectName(QStringLiteral("lbFile"));
    m_available = new QListWidget(this);
    m_available->setObjectName(QStringLiteral("lbAvailable"));

    auto* toFile = new QPushButton(QStringLiteral("<"), this);
    toFile->setObjectName(QStringLiteral("bnAvail2File"));
    auto* toAvail = new QPushButton(QStringLiteral(">"), this);
    toAvail->setObjectName(QStringLiteral("bnFile2Avail"));
    auto* up = new QPushButton(QStringLiteral("Вверх"), this);
    up->setObjectName(QStringLiteral("bnUp"));
    auto* down = new QPushButton(QStringLiteral("Вниз"), this);
    down->setObjectName(QStringLiteral("bnDown"));
    connect(toFile, &QPushButton::clicked, this, &CsvOptionsDialog::avail2File);
    connect(toAvail, &QPushButton::clicked, this, &CsvOptionsDialog::file2Avail);
    connect(up, &QPushButton::clicked, this, &CsvOptionsDialog::moveUp);
    connect(down, &QPushButton::clicked, this, &CsvOptionsDialog::moveDown);

    m_separator = new QComboBox(this);
    m_separator->setObjectName(QStringLiteral("cbSeparator"));
    m_separator->addItems({QStringLiteral("( ) Пробел"), QStringLiteral("(,) Запятая"),
                           QStringLiteral("(;) Точка с зап."), QStringLiteral("(TAB) Табуляция")});
    m_decimal = new QComboBox(this);
    m_decimal->setObjectName(QStringLiteral("cbDecimalSeparator"));
    m_decimal->addItems({QStringLiteral("(.) Точка"), QStringLiteral("(,) Запятая"), QStringLiteral("Windows")});
    m_decimalLabel = new QLabel(QStringLiteral("Разделитель целой и дробной частей:"), this);
    m_decimalLabel->setObjectName(QStringLiteral("lbDecimalSeparator"));

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("bnOK"));
    ok->setDefault(true);
    buttons->addButton(QStringLiteral("Отмена"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("bnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(toFile);
    middle->addWidget(toAvail);
    middle->addSpacing(12);
    middle->addWidget(up);
    middle->addWidget(down);
    middle->addStretch();

    auto* lists = new QGridLayout;
    auto* fileLabel = new QLabel(QStringLiteral("Столбцы в файле:"), this);
    LabelControl(fileLabel, m_file);
    auto* availableLabel = new QLabel(QStringLiteral("Доступные столбцы:"), this);
    LabelControl(availableLabel, m_available);
    lists->addWidget(fileLabel, 0, 0);
    lists->addWidget(availableLabel, 0, 2);
    lists->addWidget(m_file, 1, 0);
    lists->addLayout(middle, 1, 1);
    lists->addWidget(m_available, 1, 2);

    auto* separators = new QGridLayout;
    auto* separatorLabel = new QLabel(QStringLiteral("Разделитель между столбцами:"), this);
    LabelControl(separatorLabel, m_separator);
    LabelControl(m_decimalLabel, m_decimal);
    separators->addWidget(separatorLabel, 0, 0);
    separators->addWidget(m_separator, 0, 1);
    separators->addWidget(m_decimalLabel, 1, 0);
    separators->addWidget(m_decimal, 1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(lists, 1);
    layout->addLayout(separators);
    layout->addWidget(buttons);
    resize(460, 380);
}

std::string CsvOptionsDialog::valueName(const PackageBase& package, bool exportText) {
    std::string name = "csv";
    name += static_cast<char>('0' + static_cast<int>(package.entryType()));
    name += static_cast<char>('0' + static_cast<int>(package.type));
    name += static_cast<char>('0' + static_cast<int>(package.method));
    name += exportText ? '1' : '0';
    return name;
}

void CsvOptionsDialog::addItem(QListWidget* list, int row, const QString& text, int number) {
    auto* item = new QListWidgetItem(text);
    item->setData(kNumberRole, number);
    list->insertItem(row, item);
}

void CsvOptionsDialog::prepare(const PackageBase& package, bool exportText, int hidden) {
    m_export = exportText;
    m_valueName = valueName(package, exportText);
    setWindowTitle(exportText ? QStringLiteral("Экспрот в текстовый файл") : QStringLiteral("Импорт из текстового файла"));
    m_skipText = exportText ? QStringLiteral("Заполнить нулями") : QStringLiteral("Пропустить");

    const char regional = Locale::current().decimalSeparator;
    m_decimal->setItemText(2, QStringLiteral("(%1) Windows").arg(QChar::fromLatin1(regional)));
    m_decimal->setVisible(exportText);
    m_decimalLabel->setVisible(exportText);

    RegKey key;
    key.Open();
    const auto clamped = [](std::int32_t stored, const QComboBox* box) {
        return std::clamp<std::int32_t>(stored, 0, box->count() - 1);
    };
    m_decimal->setCurrentIndex(clamped(key.ReadInt("DecimalSeparator", 0), m_decimal));
    m_separator->setCurrentIndex(clamped(key.ReadInt("Separator", 0), m_separator));
    const std::string stored = key.ReadString(m_valueName);
    key.Close();

    m_file->clear();
    m_available->clear();
    const int shown = package.columnCount() - hidden;
    for (int k = 0; k < shown; ++k) {
        const ColumnInfo info = package.column(k);
        if (info.checkBox) continue;
        if (!exportText && info.readOnly) continue;
        addItem(m_available, m_available->count(), QString::fromUtf8(info.caption), k);
    }
    addItem(m_available, m_available->count(), m_skipText, files::kSkipColumn);

    for (const char c : stored) {
        // The stored code is k + 1 per column, 255 for the skip column: as
        // a signed byte, 255 - 1 gives the skip column's marker.
        const int number = static_cast<signed char>(c) - 1;
        if (selectAvailable(number)) avail2File();
    }
    m_file->setCurrentRow(-1);
    m_available->setCurrentRow(m_available->count() > 0 ? 0 : -1);
}

void CsvOptionsDialog::Execute(PackageBase& package, bool exportText, int hidden) {
    prepare(package, exportText, hidden);
    if (exec() != QDialog::Accepted) return;
    const QString path = m_chooseFile ? m_chooseFile(parentWidget(), exportText) : QString();
    finish(package, path);
}

void CsvOptionsDialog::finish(PackageBase& package, const QString& path) {
    const std::vector<int> columns = lineColumns();
    const std::string file = QFile::encodeName(path).toStdString();
    // Files that cannot be written or read are passed over without a message.
    if (m_export) {
        if (!path.isEmpty()) files::ExportText(package, columns, file, separator(), decimalChar());
    } else {
        if (!path.isEmpty()) files::ImportText(package, columns, file, separator());
        package.recalcAll();
    }
    storeSettings();
}

void CsvOptionsDialog::storeSettings() {
    RegKey key;
    key.Open();
    if (m_file->count() < kMaxStoredColumns) {
        std::string text;
        for (const int number : lineColumns())
            text += number == files::kSkipColumn ? static_cast<char>(kSkipCode) : static_cast<char>(number + 1);
        key.WriteString(m_valueName, text);
    }
    key.WriteInt("DecimalSeparator", m_decimal->currentIndex());
    key.WriteInt("Separator", m_separator->currentIndex());
}

std::vector<int> CsvOptionsDialog::lineColumns() const {
    std::vector<int> numbers;
    for (int i = 0; i < m_file->count(); ++i) numbers.push_back(numberOf(m_file->item(i)));
    return numbers;
}

std::vector<int> CsvOptionsDialog::availableColumns() const {
    std::vector<int> numbers;
    for (int i = 0; i < m_available->count(); ++i) numbers.push_back(numberOf(m_available->item(i)));
    return numbers;
}

char CsvOptionsDialog::separator() const {
    const int index = m_separator->currentIndex();
    if (index < 0 || index >= static_cast<int>(sizeof kSeparators)) return '\t';
    return kSeparators[index];
}

char CsvOptionsDialog::decimalChar() const {
    const QString text = m_decimal->currentText();
    return text.size() >= 2 ? text.at(1).toLatin1() : '.';
}

bool CsvOptionsDialog::selectAvailable(int number) {
    for (int i = 0; i < m_available->count(); ++i) {
        if (numberOf(m_available->item(i)) == number) {
            m_available->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

bool CsvOptionsDialog::selectFile(int number) {
    for (int i = 0; i < m_file->count(); ++i) {
        if (numberOf(m_file->item(i)) == number) {
            m_file->setCurrentRow(i);
            return true;
        }
    }
    return false;
}

void CsvOptionsDialog::avail2File() {
    const int row = m_available->currentRow();
    if (row < 0) return;
    const QListWidgetItem* item = m_available->item(row);
    const int number = numberOf(item);
    addItem(m_file, m_file->count(), item->text(), number);
    if (number != files::kSkipColumn) delete m_available->takeItem(row);
}

void CsvOptionsDialog::file2Avail() {
    const int row = m_file->currentRow();
    if (row < 0) return;
    const QListWidgetItem* item = m_file->item(row);
    const int number = numberOf(item);
    if (number != files::kSkipColumn) {
        // Compared as unsigned values the skip marker is the largest, so the
        // skip column stays last.
        int at = m_available->count();
        for (int i = 0; i < m_available->count(); ++i) {
            if (static_cast<std::uint32_t>(numberOf(m_available->item(i))) >= static_cast<std::uint32_t>(number)) {
                at = i;
                break;
            }
        }
        addItem(m_available, at, item->text(), number);
    }
    delete m_file->takeItem(row);
}

void CsvOptionsDialog::moveUp() {
    const int row = m_file->currentRow();
    if (row <= 0) return;
    m_file->insertItem(row - 1, m_file->takeItem(row));
    m_file->setCurrentRow(row - 1);
}

void CsvOptionsDialog::moveDown() {
    const int row = m_file->currentRow();
    if (row < 0 || row >= m_file->count() - 1) return;
    m_file->insertItem(row + 1, m_file->takeItem(row));
    m_file->setCurrentRow(row + 1);
}
