#include "ExchangeLogWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "FrameTableModel.h"
#include "common/AtomicFile.h"
#include "components/Accessibility.h"
#include "devices/PortRecovery.h"
#include "link/FrameLog.h"

namespace {

// Five looks a second: live to the eye, and little work for the window.
constexpr int kRefreshMs = 200;

QPointer<ExchangeLogWindow>& theWindow() {
    static QPointer<ExchangeLogWindow> window;
    return window;
}

// A CSV field, quoted when it holds the separator, a quote or a line break.
QString csvField(const QString& field) {
    if (!field.contains(QLatin1Char(';')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')))
        return field;
    QString quoted = field;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString joinLine(const QStringList& fields, bool csv) {
    if (!csv) return fields.join(QLatin1Char('\t'));
    QStringList quoted;
    for (const QString& field : fields) quoted << csvField(field);
    return quoted.join(QLatin1Char(';'));
}

}  // namespace

ExchangeLogWindow* ExchangeLogWindow::ShowFor(const QString& port, QWidget* from) {
    QPointer<ExchangeLogWindow>& window = theWindow();
    if (!window) window = new ExchangeLogWindow(from ? from->window() : nullptr);
    window->SetPort(port);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

ExchangeLogWindow::ExchangeLogWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("ExchangeLogWindow"));
    setWindowTitle(QStringLiteral("Журнал обмена"));
    m_model = new FrameTableModel(FrameLog::kCapacity, this);
    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshMs);
    connect(m_timer, &QTimer::timeout, this, &ExchangeLogWindow::Refresh);
    BuildControls();
    resize(1180, 520);
    SetPort({});
}

ExchangeLogWindow::~ExchangeLogWindow() = default;

void ExchangeLogWindow::BuildControls() {
    m_portLabel = new QLabel(this);
    m_portLabel->setObjectName(QStringLiteral("lbPort"));
    m_portLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pause = named(new QPushButton(QStringLiteral("Пауза"), this), "bnPause",
                    QStringLiteral("Пауза (новые кадры не показываются, пока нажата)"));
    m_pause->setCheckable(true);
    m_clear = named(new QPushButton(QStringLiteral("Очистить"), this), "bnClear", QStringLiteral("Очистить список"));
    m_faultsOnly = named(new QCheckBox(QStringLiteral("только ошибки"), this), "cbFaultsOnly",
                         QStringLiteral("только ошибки (кадры с неверной проверкой и обмены без ответа)"));
    m_copy = named(new QPushButton(QStringLiteral("Копировать"), this), "bnCopy",
                   QStringLiteral("Копировать выделенные строки"));
    m_save = named(new QPushButton(QStringLiteral("Сохранить..."), this), "bnSave",
                   QStringLiteral("Сохранить список как текст или CSV"));
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("lbCount"));

    m_view = new QTableView(this);
    m_view->setObjectName(QStringLiteral("lvFrames"));
    m_view->setAccessibleName(QStringLiteral("Кадры"));
    m_view->setModel(m_model);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_view->setShowGrid(false);
    m_view->setWordWrap(false);
    m_view->verticalHeader()->hide();
    // Rows of one height let the view skip measuring each new row.
    m_view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_view->verticalHeader()->setDefaultSectionSize(m_view->fontMetrics().height() + 4);
    QHeaderView* header = m_view->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(true);
    const QFontMetrics fm = m_view->fontMetrics();
    m_view->setColumnWidth(FrameTableModel::kTime,
                           QFontMetrics(QFontDatabase::systemFont(QFontDatabase::FixedFont))
                                   .horizontalAdvance(QStringLiteral("00000.000000")) + 16);
    m_view->setColumnWidth(FrameTableModel::kDirection, fm.horizontalAdvance(QStringLiteral("Напр.")) + 16);
    // Eighteen bytes of a frame and the usual request names fit; a longer
    // frame or name is elided and shown whole in its tooltip.
    const QFontMetrics fixed(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_view->setColumnWidth(FrameTableModel::kBytes, fixed.horizontalAdvance(QLatin1Char('0')) * 3 * 18 + 16);
    m_view->setColumnWidth(FrameTableModel::kRequest,
                           fm.horizontalAdvance(QStringLiteral("чтение калибровочных коэффициентов")) + 16);
    m_view->setColumnWidth(FrameTableModel::kCheck, fm.horizontalAdvance(QStringLiteral("короткий кадр")) + 16);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_portLabel);
    bar->addSpacing(12);
    bar->addWidget(m_pause);
    bar->addWidget(m_clear);
    bar->addWidget(m_faultsOnly);
    bar->addStretch();
    bar->addWidget(m_copy);
    bar->addWidget(m_save);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_view);
    layout->addWidget(m_count);

    connect(m_pause, &QPushButton::toggled, this, [this](bool paused) {
        if (!paused) Refresh();
    });
    connect(m_clear, &QPushButton::clicked, this, [this] {
        m_model->Clear();
        ShowCount();
    });
    connect(m_faultsOnly, &QCheckBox::toggled, this, [this](bool on) {
        m_model->SetFaultsOnly(on);
        m_view->scrollToBottom();
        ShowCount();
    });
    connect(m_copy, &QPushButton::clicked, this, &ExchangeLogWindow::Copy);
    connect(m_save, &QPushButton::clicked, this, &ExchangeLogWindow::Save);
    auto* copyKey = new QShortcut(QKeySequence::Copy, m_view, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this, &ExchangeLogWindow::Copy);
}

void ExchangeLogWindow::SetPort(const QString& port) {
    if (m_log && port == m_port) return;
    m_port = port;
    m_log = port.isEmpty() ? nullptr : FrameLog::Of(port.toStdString());
    m_lastSeq = 0;
    m_model->Clear();
    m_portLabel->setText(port.isEmpty() ? QStringLiteral("Порт не выбран") : QStringLiteral("Порт: ") + port);
    setWindowTitle(port.isEmpty() ? QStringLiteral("Журнал обмена") : QStringLiteral("Журнал обмена — ") + port);
    Refresh();
    m_view->scrollToBottom();
}

void ExchangeLogWindow::Refresh() {
    if (!m_log || m_pause->isChecked()) return;
    if (m_log->LastSeq() == m_lastSeq) return;
    std::vector<framelog::Frame> frames = m_log->Since(m_lastSeq);
    if (frames.empty()) return;
    m_lastSeq = frames.back().seq;
    // Newest last: the list follows the new frames while the user has not
    // scrolled away from its end.
    const QScrollBar* bar = m_view->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    m_model->Append(std::move(frames));
    if (atEnd) m_view->scrollToBottom();
    ShowCount();
}

void ExchangeLogWindow::ShowCount() {
    m_count->setText(QStringLiteral("Кадров: %1").arg(m_model->rowCount()));
}

QString ExchangeLogWindow::SelectedText() const {
    QList<int> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows()) rows << index.row();
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int row : rows) lines << m_model->LineText(row);
    return lines.join(QLatin1Char('\n'));
}

void ExchangeLogWindow::Copy() {
    const QString text = SelectedText();
    if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool ExchangeLogWindow::SaveTo(const QString& path, bool csv, QString* error) const {
    QString text = joinLine(FrameTableModel::Captions(), csv) + QLatin1Char('\n');
    for (int row = 0; row < m_model->rowCount(); ++row) text += joinLine(m_model->Fields(row), csv) + QLatin1Char('\n');
    try {
        ReplaceFile(path.toStdString(), text.toStdString());
        return true;
    } catch (const std::exception& e) {
        if (error) *error = QString::fromUtf8(e.what());
        return false;
    }
}

void ExchangeLogWindow::Save() {
    const QString text = QStringLiteral("Текст (*.txt)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    QString chosen;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Сохранить журнал обмена"), {},
                                                      text + QStringLiteral(";;") + csv, &chosen);
    if (path.isEmpty()) return;
    const bool asCsv = chosen == csv || path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive);
    QString error;
    if (!SaveTo(path, asCsv, &error))
        QMessageBox::critical(this, windowTitle(), QStringLiteral("Не удалось сохранить %1: %2").arg(path, error));
}

void ExchangeLogWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Refresh();
    m_timer->start();
}

void ExchangeLogWindow::hideEvent(QHideEvent* event) {
    m_timer->stop();
    QWidget::hideEvent(event);
}

QString PortNameAt(int position) { return QString::fromStdString(PortRecovery::PortName(position)); }

QPushButton* MakeExchangeLogButton(QWidget* parent, std::function<QString()> port) {
    auto* button = named(new QPushButton(QStringLiteral("Журнал обмена"), parent), "bnExchangeLog",
                         QStringLiteral("Журнал обмена (кадры, переданные и принятые через этот порт)"));
    // In a dialog a button is pressed by Enter once it is the default; the
    // Nivor dialog's Enter belongs to its own buttons.
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, button,
                     [button, port = std::move(port)] { ExchangeLogWindow::ShowFor(port(), button); });
    return button;
}
