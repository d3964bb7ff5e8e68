#include "ArchiveWindow.h"

#include <QFontMetrics>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "archive/Sender.h"
#include "common/AtomicFile.h"
#include "common/Console.h"
#include "components/Accessibility.h"
#include "document/Document.h"
#include "files/DocumentFile.h"
#include "files/Report.h"
#include "pdf/ProtocolPdf.h"

namespace {

QString fromStd(const std::string& s) { return QString::fromStdString(s); }

QString savedText(std::int64_t ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
}

QString createdText(const std::string& iso) {
    const QDateTime t = QDateTime::fromString(fromStd(iso), Qt::ISODateWithMs);
    return t.isValid() ? t.toString(QStringLiteral("dd.MM.yyyy HH:mm")) : fromStd(iso);
}

QString errorText(const std::optional<double>& v) { return v ? QString::number(*v, 'f', 3) : QString(); }

QString csvField(QString text) {
    if (text.contains(';') || text.contains('"') || text.contains('\n')) {
        text.replace('"', QStringLiteral("\"\""));
        return '"' + text + '"';
    }
    return text;
}

}  // namespace

// --- ArchiveTableSource ---

QString ArchiveTableSource::Caption(int col) {
    static const char* const kCaptions[kColumns] = {
        "№", "Заводской номер", "Модель", "Ду", "Пакет", "Метод", "Создан", "Сохранён", "Измерений",
        "dg мин (%)", "dg макс (%)", "Вердикт", "Пользователь", "Компьютер", "Файл"};
    return QString::fromUtf8(kCaptions[col]);
}

void ArchiveTableSource::setItems(std::vector<Item> items) {
    m_items = std::move(items);
    m_order.resize(m_items.size());
    for (std::size_t i = 0; i < m_order.size(); ++i) m_order[i] = i;
}

void ArchiveTableSource::sortBy(int col, bool ascending) {
    // By value: numbers and times as numbers, texts as stored (factory
    // numbers have their leading zeros, so they sort as numbers do).
    auto key = [col](const archive::Row& r) -> std::pair<double, const std::string*> {
        static const std::string none;
        switch (col) {
            case Id: return {static_cast<double>(r.id), &none};
            case Serial: return {0, &r.serial};
            case Model: return {0, &r.model};
            case Diameter: return {std::atof(r.diameter.c_str()), &none};
            case Package: return {static_cast<double>(r.packageType), &none};
            case MethodCol: return {static_cast<double>(r.method), &none};
            case Created: return {0, &r.created};
            case Saved: return {static_cast<double>(r.savedMs), &none};
            case Entries: return {static_cast<double>(r.entries), &none};
            case ErrMin: return {r.errMin.value_or(-1e300), &none};
            case ErrMax: return {r.errMax.value_or(-1e300), &none};
            case VerdictCol: return {r.pass ? (*r.pass ? 1.0 : 0.0) : -1.0, &none};
            case User: return {0, &r.user};
            case Host: return {0, &r.host};
            default: return {0, &r.path};
        }
    };
    std::stable_sort(m_order.begin(), m_order.end(), [&](std::size_t a, std::size_t b) {
        const auto ka = key(m_items[a].row), kb = key(m_items[b].row);
        const bool less = ka.first < kb.first || (ka.first == kb.first && *ka.second < *kb.second);
        const bool greater = kb.first < ka.first || (ka.first == kb.first && *kb.second < *ka.second);
        return ascending ? less : greater;
    });
}

QString ArchiveTableSource::cellTextOf(const archive::Row& r, int col) {
    switch (col) {
        case Id: return r.id ? QString::number(r.id) : QStringLiteral("в очереди");
        case Serial: return fromStd(r.serial);
        case Model: return fromStd(r.model);
        case Diameter: return fromStd(r.diameter);
        case Package: return r.packageType ? QStringLiteral("Поверочный") : QStringLiteral("Градуировочный");
        case MethodCol:
            return r.method == 0 ? QStringLiteral("Объёмный") : r.method == 1 ? QStringLiteral("Массовый")
                                                                                : QStringLiteral("Эталонный");
        case Created: return createdText(r.created);
        case Saved: return savedText(r.savedMs);
        case Entries: return QString::number(r.entries);
        case ErrMin: return errorText(r.errMin);
        case ErrMax: return errorText(r.errMax);
        case VerdictCol:
            return !r.pass ? QStringLiteral("—") : *r.pass ? QStringLiteral("годен") : QStringLiteral("не годен");
        case User: return fromStd(r.user);
        case Host: return fromStd(r.host);
        case Path: return fromStd(r.path);
        default: return {};
    }
}

QString ArchiveTableSource::cellText(int row, int col) const { return cellTextOf(item(row).row, col); }

// --- TArchiveForm ---

TArchiveForm::TArchiveForm(std::string url, std::string queuePath, Hooks hooks, QWidget* parent)
    : QWidget(parent, Qt::Window), m_url(std::move(url)), m_queuePath(std::move(queuePath)), m_hooks(std::move(hooks)) {
    setObjectName(QStringLiteral("TArchiveForm"));
    setWindowTitle(QStringLiteral("Архив"));
    auto* layout = new QVBoxLayout(this);
    BuildFilters();
    auto* filters = new QHBoxLayout;
    auto add = [&](const QString& caption, QWidget* control) {
        if (!caption.isEmpty()) {
            auto* label = new QLabel(caption, this);
            LabelControl(label, control);
            filters->addWidget(label);
        }
        filters->addWidget(control);
    };
    add(QStringLiteral("Заводской номер:"), m_serial);
    add(QStringLiteral("Модель:"), m_model);
    add({}, m_fromOn);
    filters->addWidget(m_from);
    add({}, m_toOn);
    filters->addWidget(m_to);
    add(QStringLiteral("Вердикт:"), m_verdict);
    filters->addWidget(m_find);
    layout->addLayout(filters);

    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("lbState"));
    m_state->setWordWrap(true);
    layout->addWidget(m_state);

    m_table = new TGoodTable(this);
    m_table->setObjectName(QStringLiteral("tbRecords"));
    m_table->setAccessibleName(QStringLiteral("Записи архива"));
    m_table->SetReadOnly(true);
    m_table->SetColCount(ArchiveTableSource::kColumns);
    static const int kWidths[ArchiveTableSource::kColumns] = {60, 110, 170, 40, 110, 80, 110, 130, 70, 80, 80,
                                                              70, 90, 90, 260};
    // A column is never narrower than its caption with the sort arrow.
    const QFontMetrics metrics(m_table->Header()->font());
    for (int c = 0; c < ArchiveTableSource::kColumns; ++c) {
        const QString caption = ArchiveTableSource::Caption(c);
        m_table->SetCaptions(c, caption);
        m_table->SetWidths(c, std::max(kWidths[c], metrics.horizontalAdvance(caption) + 24));
    }
    m_table->SetDataSource(&m_source);
    m_table->Header()->setSectionsClickable(true);
    m_table->Header()->setSortIndicatorShown(true);
    m_table->Header()->setSortIndicator(m_sortColumn, Qt::DescendingOrder);
    connect(m_table->Header(), &QHeaderView::sectionClicked, this, [this](int col) { Sort(col); });
    layout->addWidget(m_table, 1);

    BuildButtons();
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {m_open, m_saveAs, m_report}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(m_export);
    layout->addLayout(buttons);
    resize(1100, 560);
}

TArchiveForm::~TArchiveForm() {
    m_table->SetDataSource(nullptr);
}

void TArchiveForm::BuildFilters() {
    m_serial = new QLineEdit(this);
    m_serial->setObjectName(QStringLiteral("edSerial"));
    m_serial->setPlaceholderText(QStringLiteral("начало номера"));
    m_serial->setValidator(nullptr);
    connect(m_serial, &QLineEdit::returnPressed, this, [this] { bnFindClick(); });
    m_model = new QComboBox(this);
    m_model->setObjectName(QStringLiteral("cbModel"));
    m_model->setMinimumContentsLength(18);
    m_model->addItem(QStringLiteral("все"));
    auto date = [this](QCheckBox*& check, QDateEdit*& edit, const char* checkName, const char* editName,
                       const QString& caption, QDate value) {
        check = new QCheckBox(caption, this);
        check->setObjectName(QLatin1String(checkName));
        edit = new QDateEdit(value, this);
        edit->setObjectName(QLatin1String(editName));
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
        edit->setEnabled(false);
        edit->setAccessibleName(caption);
        connect(check, &QCheckBox::toggled, edit, &QWidget::setEnabled);
    };
    const QDate today = QDate::currentDate();
    date(m_fromOn, m_from, "chFrom", "dtFrom", QStringLiteral("с"), today.addMonths(-1));
    date(m_toOn, m_to, "chTo", "dtTo", QStringLiteral("по"), today);
    m_verdict = new QComboBox(this);
    m_verdict->setObjectName(QStringLiteral("cbVerdict"));
    m_verdict->addItems({QStringLiteral("любой"), QStringLiteral("годен"), QStringLiteral("не годен"),
                         QStringLiteral("нет")});
    m_find = new QPushButton(QStringLiteral("Найти"), this);
    m_find->setObjectName(QStringLiteral("bnFind"));
    m_find->setDefault(true);
    connect(m_find, &QPushButton::clicked, this, [this] { bnFindClick(); });
}

void TArchiveForm::BuildButtons() {
    auto button = [this](const char* name, const QString& caption, void (TArchiveForm::*slot)()) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        connect(b, &QPushButton::clicked, this, [this, slot] { (this->*slot)(); });
        return b;
    };
    m_open = button("bnOpen", QStringLiteral("Открыть"), &TArchiveForm::bnOpenClick);
    m_saveAs = button("bnSaveAs", QStringLiteral("Сохранить как…"), &TArchiveForm::bnSaveAsClick);
    m_report = button("bnReport", QStringLiteral("Протокол…"), &TArchiveForm::bnReportClick);
    m_export = button("bnExport", QStringLiteral("Экспорт в CSV…"), &TArchiveForm::bnExportClick);
}

archive::Filter TArchiveForm::CurrentFilter() const {
    archive::Filter f;
    f.serialPrefix = m_serial->text().trimmed().toStdString();
    if (m_model->currentIndex() > 0) f.model = m_model->currentText().toStdString();
    if (m_fromOn->isChecked()) f.fromMs = m_from->date().startOfDay().toMSecsSinceEpoch();
    if (m_toOn->isChecked()) f.toMs = m_to->date().addDays(1).startOfDay().toMSecsSinceEpoch() - 1;
    switch (m_verdict->currentIndex()) {
        case 1: f.verdict = archive::VerdictFilter::Pass; break;
        case 2: f.verdict = archive::VerdictFilter::Fail; break;
        case 3: f.verdict = archive::VerdictFilter::None; break;
        default: break;
    }
    return f;
}

void TArchiveForm::RefillModels() {
    const QString current = m_model->currentText();
    const int index = m_model->currentIndex();
    m_model->blockSignals(true);
    while (m_model->count() > 1) m_model->removeItem(1);
    for (const std::string& model : m_archive->models()) m_model->addItem(fromStd(model));
    m_model->setCurrentIndex(index > 0 ? std::max(0, m_model->findText(current)) : 0);
    m_model->blockSignals(false);
}

void TArchiveForm::bnFindClick() {
    if (m_url.empty()) {
        m_state->setText(QStringLiteral("Архив отключён (RVSERVICE_ARCHIVE=off)"));
        return;
    }
    std::vector<ArchiveTableSource::Item> items;
    try {
        if (!m_archive) {
            m_archive = std::make_unique<archive::Archive>(m_url);
            if (!m_archive->notice().empty() && m_hooks.report) m_hooks.report(fromStd(m_archive->notice()));
            RefillModels();
        }
        m_archive->forEach(CurrentFilter(), [&](const archive::Row& r) { items.push_back({r, {}}); });
    } catch (const archive::ArchiveError& e) {
        m_archive.reset();
        ShowQueue(QString::fromUtf8(e.what()));
        return;
    }
    const std::size_t found = items.size();
    m_source.setItems(std::move(items));
    m_source.sortBy(m_sortColumn, m_ascending);
    m_table->SetRowCount(m_source.rowCount());
    m_table->SetRow(m_source.rowCount() ? 0 : -1);
    m_table->UpdateCells();
    m_state->setText(QStringLiteral("Архив %1: записей найдено %2").arg(fromStd(m_url)).arg(found));
}

void TArchiveForm::ShowQueue(const QString& why) {
    std::vector<ArchiveTableSource::Item> items;
    QString queueState;
    try {
        archive::Queue queue(m_queuePath);
        for (archive::Queue::Item& q : queue.oldest(100000)) {
            ArchiveTableSource::Item item;
            item.row.path = q.submission.path;
            item.row.savedMs = q.submission.savedMs;
            item.row.user = q.submission.user;
            item.row.host = q.submission.host;
            try {
                const archive::PreparedDocument p = archive::Prepare(q.submission.bytes);
                item.row.sha256 = p.sha256;
                if (!p.packages.empty()) {
                    item.row.serial = p.packages[0].serial;
                    item.row.model = p.packages[0].model;
                    item.row.diameter = p.packages[0].diameter;
                    item.row.created = p.packages[0].created;
                }
                int entries = 0;
                for (const auto& package : p.packages) entries += package.entries;
                item.row.entries = entries;
            } catch (const std::exception&) {
                // Shown by its file name alone.
            }
            item.bytes = std::move(q.submission.bytes);
            items.push_back(std::move(item));
        }
        queueState = QStringLiteral("в локальной очереди сохранений: %1").arg(items.size());
    } catch (const archive::ArchiveError& e) {
        queueState = QStringLiteral("локальная очередь недоступна: ") + QString::fromUtf8(e.what());
    }
    m_source.setItems(std::move(items));
    m_source.sortBy(m_sortColumn, m_ascending);
    m_table->SetRowCount(m_source.rowCount());
    m_table->SetRow(m_source.rowCount() ? 0 : -1);
    m_table->UpdateCells();
    m_state->setText(QStringLiteral("Архив недоступен: ") + why + QStringLiteral("\nПоказаны сохранения ") + queueState);
}

void TArchiveForm::Sort(int col) {
    m_ascending = col == m_sortColumn ? !m_ascending : true;
    m_sortColumn = col;
    m_table->Header()->setSortIndicator(col, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
    m_source.sortBy(col, m_ascending);
    m_table->UpdateCells();
}

std::string TArchiveForm::SelectedDocument() {
    const int row = m_table->Row();
    if (row < 0 || row >= m_source.rowCount()) return {};
    const ArchiveTableSource::Item& item = m_source.item(row);
    if (!item.bytes.empty()) return item.bytes;
    try {
        if (!m_archive) m_archive = std::make_unique<archive::Archive>(m_url);
        if (std::optional<std::string> bytes = m_archive->document(item.row.id)) return *bytes;
        if (m_hooks.report) m_hooks.report(QStringLiteral("Архив: записи %1 нет").arg(item.row.id));
    } catch (const archive::ArchiveError& e) {
        m_archive.reset();
        if (m_hooks.report) m_hooks.report(QString::fromUtf8(e.what()));
    }
    return {};
}

void TArchiveForm::bnOpenClick() {
    const std::string bytes = SelectedDocument();
    if (!bytes.empty() && m_hooks.openDocument) m_hooks.openDocument(bytes);
}

namespace {

// The file name a record's document was saved under, without its folder.
QString proposedName(const archive::Row& row, const QString& extension) {
    QString name = fromStd(row.path).section('/', -1);
    if (name.isEmpty()) name = fromStd(row.model + " N" + row.serial) + QStringLiteral(".srv");
    if (!extension.isEmpty()) name = QFileInfo(name).completeBaseName() + extension;
    return name;
}

}  // namespace

void TArchiveForm::bnSaveAsClick() {
    const int row = m_table->Row();
    if (row < 0 || row >= m_source.rowCount()) return;
    const QString path = m_hooks.saveName(this, QStringLiteral("Сохранить документ из архива"),
                                          QStringLiteral("Преобразователь расхода (*.srv)"),
                                          proposedName(m_source.item(row).row, {}));
    if (path.isEmpty()) return;
    const std::string bytes = SelectedDocument();
    if (bytes.empty()) return;
    try {
        ReplaceFile(path.toStdString(), bytes);
    } catch (const std::exception& e) {
        if (m_hooks.report) m_hooks.report(QString::fromUtf8(e.what()));
    }
}

void TArchiveForm::bnReportClick() {
    const int row = m_table->Row();
    if (row < 0 || row >= m_source.rowCount()) return;
    const archive::Row record = m_source.item(row).row;
    const QString path = m_hooks.saveName(this, QStringLiteral("Протокол"),
                                          QStringLiteral("Протокол HTML (*.html);;Протокол PDF (*.pdf)"),
                                          proposedName(record, QStringLiteral(".html")));
    if (path.isEmpty()) return;
    const std::string bytes = SelectedDocument();
    if (bytes.empty()) return;
    try {
        Console console;
        Document doc(console);
        std::istringstream in(bytes);
        files::ReadDocument(in, doc);
        // The record's package: the one of its kind, method and creation time.
        const PackageBase* package = nullptr;
        for (const PackagePtr& p : doc.packages())
            if (static_cast<int>(p->type) == record.packageType && static_cast<int>(p->method) == record.method &&
                p->created.toIso() == record.created)
                package = p.get();
        if (!package && !doc.packages().empty()) package = doc.packages().front().get();
        if (!package) {
            if (m_hooks.report) m_hooks.report(QStringLiteral("Архив: в документе нет пакетов"));
            return;
        }
        // The limits the record was judged by, as they were then.
        Limits limits;
        try {
            if (record.limits) limits = ParseLimits(*record.limits);
        } catch (const std::exception&) {
            // Limits the program cannot read any more: the protocol without them.
        }
        if (path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
            pdf::WriteProtocolPdf(path.toStdString(), *doc.device(), *package, limits);
        else
            files::WriteReport(path.toStdString(), *doc.device(), *package, limits);
        if (m_hooks.report) m_hooks.report(QStringLiteral("Протокол записан: ") + path);
    } catch (const std::exception& e) {
        if (m_hooks.report) m_hooks.report(QString::fromUtf8(e.what()));
    }
}

QString TArchiveForm::CsvText() const {
    QStringList lines;
    QStringList fields;
    for (int c = 0; c < ArchiveTableSource::kColumns; ++c) fields << csvField(ArchiveTableSource::Caption(c));
    lines << fields.join(';');
    for (int r = 0; r < m_source.rowCount(); ++r) {
        fields.clear();
        for (int c = 0; c < ArchiveTableSource::kColumns; ++c) fields << csvField(m_source.cellText(r, c));
        lines << fields.join(';');
    }
    return lines.join('\n') + '\n';
}

void TArchiveForm::bnExportClick() {
    const QString path = m_hooks.saveName(this, QStringLiteral("Экспорт записей"), QStringLiteral("CSV (*.csv)"),
                                          QStringLiteral("archive.csv"));
    if (path.isEmpty()) return;
    try {
        ReplaceFile(path.toStdString(), CsvText().toStdString());
        if (m_hooks.report)
            m_hooks.report(QStringLiteral("Записей выгружено: %1 в %2").arg(m_source.rowCount()).arg(path));
    } catch (const std::exception& e) {
        if (m_hooks.report) m_hooks.report(QString::fromUtf8(e.what()));
    }
}
