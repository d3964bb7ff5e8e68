#include "MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSplitter>
#include <QStackedWidget>
#include <QStandardPaths>
#include <QTabBar>
#include <QTemporaryDir>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "ArchiveLink.h"
#include "ArchiveWindow.h"
#include "ChartWindows.h"
#include "ConsoleView.h"
#include "CreateDevicePage.h"
#include "DevicePage.h"
#include "ExchangeLogWindow.h"
#include "RvFrame.h"
#include "HelpWindow.h"
#include "LinesDialog.h"
#include "MainDialogs.h"
#include "SpprDlg.h"
#include "approximation/Commands.h"
#include "approximation/GraphModel.h"
#include "approximation/LinesTable.h"
#include "components/GoodTable.h"
#include "common/AtomicFile.h"
#include "components/StatusBar.h"
#include "devices/DeviceBase.h"
#include "devices/rv/RVx2.h"
#include "document/MeasuredEntry.h"
#include "document/Verdict.h"
#include "files/DocumentFile.h"
#include "files/Report.h"
#include "pdf/ProtocolPdf.h"

namespace {

const QString kTitlePrefix = QStringLiteral("Ralvo-Cервис [");  // the C is Latin

QString fromStd(const std::string& text) { return QString::fromStdString(text); }

// A tab or menu caption shows "&" as it is.
QString escapeMnemonic(QString text) { return text.replace(QLatin1Char('&'), QStringLiteral("&&")); }

// Toolbar icons are drawn here rather than taken from the style: the style
// reads its pictures from image files, and the first of them loads Qt's
// image format plug-ins, all before the window can first paint.
template <typename Draw>
QIcon drawnIcon(Draw draw) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

// An icon drawn from a short text, for the commands that have no picture.
QIcon textIcon(const QString& text, const QColor& color) {
    return drawnIcon([&](QPainter& painter) {
        QFont font = painter.font();
        font.setBold(true);
        font.setPixelSize(text.size() > 2 ? 9 : 12);
        painter.setFont(font);
        painter.setPen(color);
        painter.drawRoundedRect(QRectF(1.5, 1.5, 21, 21), 3, 3);
        painter.drawText(QRect(0, 0, 24, 24), Qt::AlignCenter, text);
    });
}

// A sheet of paper with its corner turned down, with `lines` lines of text.
QIcon sheetIcon(int lines) {
    return drawnIcon([lines](QPainter& painter) {
        painter.setPen(QPen(QColor(70, 70, 70), 1.2));
        painter.setBrush(Qt::white);
        const QPointF sheet[] = {{5.5, 2.5}, {14.5, 2.5}, {19.5, 7.5}, {19.5, 21.5}, {5.5, 21.5}};
        painter.drawPolygon(sheet, 5);
        const QPointF corner[] = {{14.5, 2.5}, {14.5, 7.5}, {19.5, 7.5}};
        painter.drawPolyline(corner, 3);
        painter.setPen(QPen(QColor(0, 70, 160), 1.2));
        for (int k = 0; k < lines; ++k) painter.drawLine(QPointF(8, 11.5 + 3 * k), QPointF(17, 11.5 + 3 * k));
    });
}

// An open folder.
QIcon folderIcon() {
    return drawnIcon([](QPainter& painter) {
        painter.setPen(QPen(QColor(140, 100, 20), 1.2));
        painter.setBrush(QColor(230, 190, 90));
        const QPointF back[] = {{2.5, 5.5}, {9.5, 5.5}, {11.5, 7.5}, {19.5, 7.5}, {19.5, 19.5}, {2.5, 19.5}};
        painter.drawPolygon(back, 6);
        painter.setBrush(QColor(250, 215, 120));
        const QPointF front[] = {{5.5, 10.5}, {22.5, 10.5}, {19.5, 19.5}, {2.5, 19.5}};
        painter.drawPolygon(front, 4);
    });
}

// A diskette.
QIcon diskIcon() {
    return drawnIcon([](QPainter& painter) {
        painter.setPen(QPen(QColor(20, 40, 90), 1.2));
        painter.setBrush(QColor(50, 90, 170));
        const QPointF body[] = {{3.5, 3.5}, {18.5, 3.5}, {20.5, 5.5}, {20.5, 20.5}, {3.5, 20.5}};
        painter.drawPolygon(body, 5);
        painter.setBrush(QColor(215, 220, 230));
        painter.drawRect(QRectF(7.5, 3.5, 9, 6));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(6.5, 13.5, 11, 7));
    });
}

// A column's width on screen: its stored width, or more when the table's
// font needs it for the caption or for a value of three whole digits (a
// frequency of 811.800000 Hz), so a value is not cut off by the next column.
// The stored width still sets the report's proportions.
int screenWidth(const ColumnInfo& info, const QFontMetrics& metrics) {
    constexpr int kPadding = 8;
    QString sample = QStringLiteral("000000");
    if (info.kind == FieldKind::Double)
        sample = info.decimals > 0 ? QStringLiteral("000.") + QString(info.decimals, QLatin1Char('0'))
                                   : QStringLiteral("000");
    const int needed = std::max(metrics.horizontalAdvance(QString::fromUtf8(info.caption)),
                                info.checkBox ? 0 : metrics.horizontalAdvance(sample));
    return std::max<int>(info.width, needed + kPadding);
}

}  // namespace

TMainForm::TMainForm(std::unique_ptr<MainDialogs> dialogs, QWidget* parent)
    : QMainWindow(parent), m_doc(m_console), m_dialogs(std::move(dialogs)) {
    setProperty(kHelpKeywordProperty, QStringLiteral("Overview"));
    CreateActions();
    CreateMenus();
    CreateLayout();

    // The program's dialogs in their order: the options, the new document,
    // the lines, the new package, the text export, the section selection.
    if (!m_dialogs) m_dialogs = std::make_unique<StandardMainDialogs>(this);
    m_lines = new LinesDialog(this);
    m_lines->SetLines(&m_doc.state().currentLines);
    m_help = new HelpService(this);
    m_archive = new ArchiveLink([this](const QString& text) { ConsoleMessage(text); }, this);

    m_console.setListener([this](const std::string&) { RefreshConsole(); });
    m_source.setErrorHandler([this](const std::string& message) { ConsoleMessage(fromStd(message)); });

    m_reportPath = fromStd(files::ReportPath());
    SetTitle(QString());
    RebuildTabs();

    // Client area 830 x 539 below the menu, the tool bar included; centred
    // on the screen.
    resize(830, 539 + menuBar()->sizeHint().height());
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

TMainForm::~TMainForm() {
    // The page is bound to the device model: it goes first, stopping its worker.
    DestroyDevicePage();
    // The Nivor dialog reports to the console: it goes while the console exists.
    delete m_sppr.data();
    // The graphs window reads the chart data, a member of this window.
    delete m_graph;
    m_graph = nullptr;
    m_console.setListener(nullptr);
    m_source.setErrorHandler(nullptr);
}

// ---- construction ---------------------------------------------------------------

void TMainForm::CreateActions() {
    auto make = [this](const char* name, const char* caption, const QKeySequence& shortcut, const QIcon& icon,
                       void (TMainForm::*slot)()) {
        auto* action = new QAction(icon, QString::fromUtf8(caption), this);
        action->setObjectName(QString::fromLatin1(name));
        if (!shortcut.isEmpty()) action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    const QColor blue(0, 70, 160), green(0, 120, 40), red(170, 30, 30);

    ActionNew = make("ActionNew", "Новый", QKeySequence(QStringLiteral("Ctrl+N")), sheetIcon(0),
                     &TMainForm::ActionNewExecute);
    ActionOpen = make("ActionOpen", "Открыть", QKeySequence(QStringLiteral("Ctrl+O")),
                      folderIcon(), &TMainForm::ActionOpenExecute);
    ActionSave = new QAction(diskIcon(), QStringLiteral("Сохранить"), this);
    ActionSave->setObjectName(QStringLiteral("ActionSave"));
    ActionSave->setShortcut(QKeySequence(QStringLiteral("Ctrl+S")));
    connect(ActionSave, &QAction::triggered, this, [this] { ActionSaveExecute(); });
    ActionNewPackage = make("ActionNewPackage", "Новый пакет", QKeySequence(QStringLiteral("Ctrl+F7")),
                            textIcon(QStringLiteral("+П"), blue), &TMainForm::ActionNewPackageExecute);
    ActionDeletePackage = make("ActionDeletePackage", "Удалить пакет", QKeySequence(QStringLiteral("Ctrl+F8")),
                               textIcon(QStringLiteral("−П"), red), &TMainForm::ActionDeletePackageExecute);
    ActionNewEntry = make("ActionNewEntry", "Новое измерение", QKeySequence(Qt::Key_F7),
                          textIcon(QStringLiteral("+И"), blue), &TMainForm::ActionNewEntryExecute);
    ActionNewEntryReadCode = make("ActionNewEntryReadCode", "Ввод из РВ", QKeySequence(),
                                  textIcon(QStringLiteral("РВ"), blue), &TMainForm::ActionNewEntryReadCodeExecute);
    ActionNewEntryReadCode->setMenuRole(QAction::NoRole);
    ActionDeleteEntry = make("ActionDeleteEntry", "Удалить измерение", QKeySequence(Qt::Key_F8),
                             textIcon(QStringLiteral("−И"), red), &TMainForm::ActionDeleteEntryExecute);
    ActionReport = make("ActionReport", "Отчёт", QKeySequence(QStringLiteral("Ctrl+R")),
                        sheetIcon(3), &TMainForm::ActionReportExecute);
    // The same protocol as a PDF, beside the HTML page and under its name.
    ActionReportPdf = make("ActionReportPdf", "Отчёт в PDF", QKeySequence(), textIcon(QStringLiteral("PDF"), red),
                           &TMainForm::ActionReportPdfExecute);
    ActionApprOptions = make("ActionApprOptions", "Параметры аппроксимации", QKeySequence(QStringLiteral("Ctrl+P")),
                             textIcon(QStringLiteral("Пар"), green), &TMainForm::ActionApprOptionsExecute);
    ActionSetPoints = make("ActionSetPoints", "Расставить точки", QKeySequence(), textIcon(QStringLiteral("•"), green),
                           &TMainForm::ActionSetPointsExecute);
    ActionAppr = make("ActionAppr", "Аппроксимация", QKeySequence(QStringLiteral("Ctrl+A")),
                      textIcon(QStringLiteral("≈"), green), &TMainForm::ActionApprExecute);
    ActionLines = make("ActionLines", "Коэффициенты", QKeySequence(QStringLiteral("Ctrl+K")),
                       textIcon(QStringLiteral("AB"), green), &TMainForm::ActionLinesExecute);
    ActionGraphics = make("ActionGraphics", "Графики", QKeySequence(QStringLiteral("Ctrl+G")),
                          textIcon(QStringLiteral("Гр"), green), &TMainForm::ActionGraphicsExecute);
    ActionLimits = make("ActionLimits", "Пределы погрешности", QKeySequence(), QIcon(), &TMainForm::ActionLimitsExecute);
    ActionExchangeLog = make("ActionExchangeLog", "Журнал обмена", QKeySequence(), QIcon(),
                             &TMainForm::ActionExchangeLogExecute);

    NSaveAs = new QAction(QStringLiteral("Сохранить как..."), this);
    NSaveAs->setObjectName(QStringLiteral("NSaveAs"));
    connect(NSaveAs, &QAction::triggered, this, [this] { NSaveAsClick(); });
    NClose = new QAction(QStringLiteral("Закрыть"), this);
    NClose->setObjectName(QStringLiteral("NClose"));
    NClose->setShortcut(QKeySequence(QStringLiteral("Ctrl+F4")));
    connect(NClose, &QAction::triggered, this, [this] { NCloseClick(); });
    NArchive = new QAction(QStringLiteral("Архив…"), this);
    NArchive->setObjectName(QStringLiteral("NArchive"));
    connect(NArchive, &QAction::triggered, this, [this] { NArchiveClick(); });
    NExit = make("NExit", "Выход", QKeySequence(), QIcon(), &TMainForm::NExitClick);
    NExport = make("NExport", "Экспорт в текстовый файл", QKeySequence(QStringLiteral("Ctrl+E")), QIcon(),
                   &TMainForm::NExportClick);
    NImport = make("NImport", "Импорт из текстового файла", QKeySequence(), QIcon(), &TMainForm::NImportClick);
    // Ctrl+I belongs to "Ввод с НИВ-2.3"; the import shows the key in its
    // menu item but is reached through the menu (two actions on one key
    // would leave the key to neither).
    NImport->setText(NImport->text() + QStringLiteral("\tCtrl+I"));
    ActionNewEntryNIV = make("ActionNewEntryNIV", "Ввод с НИВ-2.3", QKeySequence(QStringLiteral("Ctrl+I")), QIcon(),
                             &TMainForm::ActionNewEntryNIVExecute);
    NHelp = make("NHelp", "Справка", QKeySequence(), QIcon(), &TMainForm::NHelpClick);
    NAbout = make("NAbout", "О программе", QKeySequence(), QIcon(), &TMainForm::NAboutClick);
}

void TMainForm::CreateMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
    file->addActions({ActionNew, ActionOpen, ActionSave, NSaveAs, NClose});
    file->addSeparator();
    file->addAction(NArchive);
    file->addSeparator();
    file->addAction(NExit);

    QMenu* packages = menuBar()->addMenu(QStringLiteral("Пакеты"));
    packages->addActions({ActionNewPackage, ActionDeletePackage, ActionNewEntry, ActionNewEntryReadCode, ActionDeleteEntry});
    packages->addAction(ActionNewEntryNIV);
    packages->addSeparator();
    packages->addActions({ActionReport, ActionReportPdf, NExport, NImport});

    QMenu* appr = menuBar()->addMenu(QStringLiteral("Аппроксимация"));
    appr->addActions({ActionApprOptions, ActionSetPoints, ActionAppr, ActionLines, ActionGraphics});
    appr->addSeparator();
    appr->addAction(ActionLimits);

    m_pagesMenu = menuBar()->addMenu(QStringLiteral("Страницы"));
    m_pagesGroup = new QActionGroup(this);
    m_pagesGroup->setExclusive(true);
    // The pages' items go above the separator, the exchange log below it.
    m_pagesSeparator = m_pagesMenu->addSeparator();
    m_pagesMenu->addAction(ActionExchangeLog);

    QMenu* help = menuBar()->addMenu(QStringLiteral("Справка"));
    help->addActions({NHelp, NAbout});

    m_toolBar = addToolBar(QStringLiteral("Команды"));
    m_toolBar->setObjectName(QStringLiteral("ToolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(24, 24));
    m_toolBar->addActions({ActionNew, ActionOpen, ActionSave});
    m_toolBar->addSeparator();
    m_toolBar->addActions({ActionNewPackage, ActionDeletePackage, ActionNewEntryReadCode, ActionNewEntry, ActionDeleteEntry});
    m_toolBar->addSeparator();
    m_toolBar->addActions({ActionReport, ActionReportPdf});
    m_toolBar->addSeparator();
    m_toolBar->addActions({ActionApprOptions, ActionSetPoints, ActionAppr, ActionLines, ActionGraphics});
    m_toolBar->addSeparator();
}

void TMainForm::CreateLayout() {
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(0);

    m_tabs = new QTabBar(central);
    m_tabs->setObjectName(QStringLiteral("TabControl"));
    m_tabs->setExpanding(false);
    m_tabs->setDrawBase(true);
    connect(m_tabs, &QTabBar::currentChanged, this, [this] { Guarded([this] { TabChanged(); }); });
    layout->addWidget(m_tabs);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setChildrenCollapsible(false);
    m_stack = new QStackedWidget(splitter);
    m_empty = new QWidget(m_stack);
    m_pageHolder = new QWidget(m_stack);
    m_pageLayout = new QVBoxLayout(m_pageHolder);
    m_pageLayout->setContentsMargins(0, 0, 0, 0);
    m_table = new TGoodTable(m_stack);
    m_table->setObjectName(QStringLiteral("Table"));
    m_table->setAccessibleName(QStringLiteral("Измерения"));
    m_table->SetDataSource(&m_source);
    m_table->setContextMenuPolicy(Qt::ActionsContextMenu);
    m_table->addActions({ActionNewEntry, ActionDeleteEntry});
    connect(m_table, &TGoodTable::changed, this, [this](int row, int col) { TableChanged(row, col); });
    m_stack->addWidget(m_empty);
    m_stack->addWidget(m_pageHolder);
    m_stack->addWidget(m_table);

    m_consoleView = new ConsoleView(m_console, splitter);
    m_consoleView->setObjectName(QStringLiteral("Console"));
    m_consoleView->setAccessibleName(QStringLiteral("Сообщения"));
    m_consoleView->setMinimumHeight(30);
    splitter->addWidget(m_stack);
    splitter->addWidget(m_consoleView);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({481, 58});
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    // The verdict of a verification tab and the limits it is judged by.
    m_statusBar = new TStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar"));
    m_statusBar->SetPanelCount(2);
    m_statusBar->Panel(0)->setObjectName(QStringLiteral("lbVerdict"));
    m_statusBar->Panel(0)->setAccessibleName(QStringLiteral("Вывод"));
    m_statusBar->Panel(1)->setObjectName(QStringLiteral("lbLimits"));
    m_statusBar->Panel(1)->setAccessibleName(QStringLiteral("Пределы погрешности"));
    // A failing verdict is shown in bold: the panel is measured in it.
    QFont bold = m_statusBar->font();
    bold.setBold(true);
    m_statusBar->SetPanelWidth(
        0, QFontMetrics(bold).horizontalAdvance(QStringLiteral("Не годен: 000 точек вне пределов")) + 16);
    setStatusBar(m_statusBar);
}

// ---- state ---------------------------------------------------------------------

bool TMainForm::Guarded(const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const std::exception& e) {
        ConsoleMessage(QString::fromUtf8(e.what()));
    } catch (...) {
        ConsoleMessage(QString());
    }
    UpdateActions();
    return false;
}

void TMainForm::ConsoleMessage(const QString& text) { m_console.message(text.toStdString()); }

void TMainForm::RefreshConsole() { m_consoleView->Refresh(); }

int TMainForm::CurrentTab() const { return m_tabs->currentIndex(); }

void TMainForm::SelectTab(int index) {
    if (index >= 0 && index < m_tabs->count()) m_tabs->setCurrentIndex(index);
}

PackageBase* TMainForm::CurrentPackage() const { return CurrentPackagePtr().get(); }

PackagePtr TMainForm::CurrentPackagePtr() const {
    if (!m_doc.isOpen()) return nullptr;
    const int index = CurrentTab() - 1;
    if (index < 0 || index >= static_cast<int>(m_doc.packages().size())) return nullptr;
    return m_doc.packages()[static_cast<std::size_t>(index)];
}

void TMainForm::SetTitle(const QString& fileName) {
    setWindowTitle(kTitlePrefix + fileName + QLatin1Char(']'));
    m_doc.setFileName(fileName.toStdString());
}

void TMainForm::SetFamilyCaptions() {
    if (const DeviceBase* device = m_doc.device()) {
        const Family family = FamilyOfCode(device->Type());
        m_lines->SetBoundCaption(fromStd(approximation::boundCaption(family)));
        if (m_graph) SetGraphTitles();
    }
}

void TMainForm::SetGraphTitles() {
    if (const DeviceBase* device = m_doc.device()) {
        const approximation::FamilyTitles titles = approximation::familyTitles(FamilyOfCode(device->Type()));
        m_graph->SetArgumentTitle(fromStd(titles.argument));
        m_graph->SetRelativeTitle(fromStd(titles.relative));
    }
}

GraphWindow* TMainForm::graphWindow() {
    if (!m_graph) {
        m_graph = Charts().graphWindow(this);
        SetGraphTitles();
    }
    return m_graph;
}

void TMainForm::RebuildTabs() {
    {
        const QSignalBlocker blocker(m_tabs);
        while (m_tabs->count() > 0) m_tabs->removeTab(0);
        for (QAction* item : m_pagesGroup->actions()) delete item;
        m_tabCaptions.clear();
        if (DeviceBase* device = m_doc.device()) {
            m_tabCaptions << fromStd(device->Name());
            for (const PackagePtr& package : m_doc.packages()) m_tabCaptions << fromStd(packageName(*package));
        }
        for (int i = 0; i < m_tabCaptions.size(); ++i) {
            const QString caption = escapeMnemonic(m_tabCaptions[i]);
            m_tabs->addTab(caption);
            auto* item = new QAction(caption, m_pagesMenu);
            m_pagesMenu->insertAction(m_pagesSeparator, item);
            item->setCheckable(true);
            m_pagesGroup->addAction(item);
            connect(item, &QAction::triggered, this, [this, i] { SelectTab(i); });
        }
        m_pagesMenu->setEnabled(m_doc.isOpen());
        if (m_tabs->count() > 0) m_tabs->setCurrentIndex(0);
    }
    TabChanged();
}

void TMainForm::TabChanged() {
    const int index = CurrentTab();
    const QList<QAction*> items = m_pagesGroup->actions();
    if (index >= 0 && index < items.size()) items[index]->setChecked(true);
    m_doc.tabChanged();
    m_limits = m_doc.device() ? LoadLimits(m_doc.device()->Type()) : Limits{};
    m_lines->Refresh();
    if (m_sppr) m_sppr->SetPackage(CurrentPackagePtr());
    RefreshTable();
    UpdateActions();
}

void TMainForm::RefreshTable() {
    PackageBase* package = CurrentPackage();
    if (!m_doc.isOpen())
        m_stack->setCurrentWidget(m_empty);
    else if (package)
        m_stack->setCurrentWidget(m_table);
    else
        m_stack->setCurrentWidget(m_pageHolder);

    if (!package) {
        m_table->HideEditor();
        m_table->SetRowCount(0);
        m_table->SetColCount(0);
        m_source.setPackage(nullptr);
        m_source.setVerdict(-1, {}, false);
        ShowVerdict();
        return;
    }
    const bool verification = package->type == PackageType::Verification;
    const int hidden = m_doc.device()->HiddenColumns(verification);
    const int columns = std::max(package->columnCount() - hidden, 0);
    // A verification package's entries get their verdict in a column after
    // the package's own.
    const int total = columns + (verification ? 1 : 0);
    if (m_source.package() != package) {
        // The table of another package starts without a current cell: only
        // a row the user chooses is one that "Удалить измерение" acts on.
        m_table->HideEditor();
        m_table->SetRow(-1);
        m_table->SetCol(-1);
    }
    // The counts shrink before the source changes and grow after it, so the
    // table never asks a package for a cell it does not have.
    m_table->SetRowCount(std::min(m_table->RowCount(), package->entryCount()));
    m_table->SetColCount(std::min(m_table->ColCount(), columns));
    m_source.setPackage(package);
    m_source.setVerdict(verification ? columns : -1, m_limits, m_doc.device()->HiddenColumns(true) == 0);
    m_table->SetColCount(total);
    m_table->SetRowCount(package->entryCount());
    for (int col = 0; col < columns; ++col) {
        const ColumnInfo info = package->column(col);
        m_table->SetCaptions(col, QString::fromUtf8(info.caption));
        m_table->SetWidths(col, screenWidth(info, m_table->fontMetrics()));
        m_table->SetColTypes(col, info.checkBox ? ColType::Check : ColType::Text);
        m_table->SetColReadOnly(col, info.readOnly != 0);
    }
    if (verification) {
        m_table->SetCaptions(columns, QStringLiteral("Вывод"));
        m_table->SetWidths(columns, m_table->fontMetrics().horizontalAdvance(QStringLiteral("нет данных")) + 12);
        m_table->SetColTypes(columns, ColType::Text);
        m_table->SetColReadOnly(columns, true);
    }
    m_table->UpdateCells();
    ShowVerdict();
}

void TMainForm::ShowVerdict() {
    const PackageBase* package = CurrentPackage();
    QString verdict;
    QString limits;
    bool fails = false;
    if (package && package->type == PackageType::Verification && m_doc.device()) {
        const PackageVerdict judged = CheckPackage(*package, *m_doc.device(), m_limits);
        verdict = fromStd(PackageVerdictText(judged));
        fails = judged.outcome == PackageOutcome::Fail;
        if (m_limits.isSet()) limits = fromStd(LimitsText(m_limits));
    }
    m_statusBar->SetPanelText(0, verdict);
    m_statusBar->SetPanelText(1, limits);
    const QString style = fails ? QStringLiteral("color: rgb(200, 0, 0); font-weight: bold;") : QString();
    if (m_statusBar->Panel(0)->styleSheet() != style) m_statusBar->Panel(0)->setStyleSheet(style);
}

void TMainForm::TableChanged(int row, int /*col*/) {
    Guarded([&] {
        PackageBase* package = CurrentPackage();
        if (!package || row < 0 || row >= package->entryCount()) return;
        // The cell already holds the stored value (a text the package
        // rejected shows the old one); the entry's derived values follow.
        package->recalcEntry(row);
        m_table->UpdateRow(row);
        ShowVerdict();
    });
}

void TMainForm::UpdateActions() {
    const bool open = m_doc.isOpen();
    const PackageBase* package = CurrentPackage();
    const bool onPackage = package != nullptr;
    const bool calibration = onPackage && package->type == PackageType::Calibration;

    for (QAction* action : {ActionSave, NSaveAs, NClose, ActionNewPackage, ActionApprOptions, ActionLines})
        action->setEnabled(open);
    for (QAction* action : {ActionDeletePackage, ActionNewEntry, ActionReport, ActionReportPdf, NExport, NImport})
        action->setEnabled(onPackage);
    ActionDeleteEntry->setEnabled(onPackage && package->entryCount() > 0);
    ActionNewEntryReadCode->setEnabled(onPackage && dynamic_cast<RVx2*>(m_doc.device()) != nullptr);
    ActionAppr->setEnabled(calibration);
    ActionSetPoints->setEnabled(calibration && m_doc.state().options.manual == 1);
    ActionGraphics->setEnabled(open && !m_doc.packages().empty());
    ActionLimits->setEnabled(open && m_doc.device() != nullptr);
    ActionNewEntryNIV->setEnabled(open && m_doc.device() && m_doc.device()->Type() != kRvCode);
    m_pagesMenu->setEnabled(open);
    ActionExchangeLog->setEnabled(open && m_doc.device() != nullptr);
}

void TMainForm::SyncDevicePage() {
    DeviceBase* device = m_doc.device();
    if (device == m_pageDevice && (device == nullptr || m_devicePage != nullptr)) return;
    DestroyDevicePage();
    if (!device) return;
    m_pageDevice = device;
    m_devicePage = CreateDevicePage(*device, m_console, m_pageHolder);
    if (m_devicePage) {
        if (!m_devicePage->property(kHelpKeywordProperty).isValid() && FamilyOfCode(device->Type()) == Family::Dorn)
            m_devicePage->setProperty(kHelpKeywordProperty, QStringLiteral("dorn_main"));
        m_pageLayout->addWidget(m_devicePage);
        // An RV meter's model name follows its version, read with the
        // page's results: the tab and its menu item follow the name.
        if (auto* rv = qobject_cast<TRVFrame*>(m_devicePage))
            connect(rv, &TRVFrame::resultHandled, this, &TMainForm::RefreshDeviceCaption);
    }
}

void TMainForm::RefreshDeviceCaption() {
    DeviceBase* device = m_doc.device();
    if (!device || m_tabCaptions.isEmpty() || m_tabs->count() == 0) return;
    const QString name = fromStd(device->Name());
    if (name == m_tabCaptions[0]) return;
    m_tabCaptions[0] = name;
    m_tabs->setTabText(0, escapeMnemonic(name));
    if (QAction* item = m_pagesGroup->actions().value(0)) item->setText(escapeMnemonic(name));
}

void TMainForm::DestroyDevicePage() {
    delete m_devicePage;
    m_devicePage = nullptr;
    m_pageDevice = nullptr;
}

// ---- file commands -------------------------------------------------------------

bool TMainForm::SavePrompt() {
    // The entry being edited takes its final text before the document is
    // saved or goes away.
    m_table->HideEditor();
    if (!m_doc.isOpen()) return true;
    switch (m_dialogs->askSave(this)) {
    case SaveAnswer::Yes:
        return Save();
    case SaveAnswer::No:
        return true;
    case SaveAnswer::Cancel:
        break;
    }
    return false;
}

bool TMainForm::Save() {
    m_table->HideEditor();
    if (!m_doc.isOpen()) return false;
    if (m_doc.fileName().empty()) return SaveAs();
    files::WriteDocument(m_doc.fileName(), m_doc);
    m_archive->recordSave(fromStd(m_doc.fileName()));
    return true;
}

bool TMainForm::SaveAs() {
    m_table->HideEditor();
    DeviceBase* device = m_doc.device();
    if (!device) return false;
    Ident ident;
    device->GetIdent(ident);
    const QString proposed = fromStd(device->Name() + " Ду" + DiameterText(ident.du) + " N" +
                                     SerialText(ident.serial, ident.du));
    const QString path = m_dialogs->saveDocumentName(this, proposed);
    if (path.isEmpty()) return false;
    files::WriteDocument(path.toStdString(), m_doc);
    m_archive->recordSave(path);
    SetTitle(path);
    m_lines->Refresh();
    return true;
}

bool TMainForm::CloseDocument() {
    if (!SavePrompt()) return false;
    DestroyDevicePage();
    m_doc.close();
    SetTitle(QString());
    RebuildTabs();
    m_lines->hide();
    return true;
}

void TMainForm::ReadDocumentFile(const QString& path) {
    m_table->HideEditor();
    const std::string name = path.toStdString();
    {
        // The file is read whole into a scratch document first: a damaged
        // file leaves everything as it was, and the open document's page
        // goes away before the reader replaces the device model it is bound
        // to (a file of another device type).
        Console scratchConsole;
        Document scratch(scratchConsole);
        files::ReadDocument(name, scratch);
        const DeviceBase* current = m_doc.device();
        if (!current || !scratch.device() || scratch.device()->Type() != current->Type()) DestroyDevicePage();
    }
    try {
        files::ReadDocument(name, m_doc);
    } catch (...) {
        SyncDevicePage();
        throw;
    }
    SyncDevicePage();
}

void TMainForm::OpenStartupDocument(const QStringList& arguments) {
    for (const QString& argument : arguments) {
        if (argument.startsWith(QLatin1Char('-'))) continue;
        QString error;
        try {
            ReadDocumentFile(argument);
            SetTitle(argument);
            RebuildTabs();
            return;
        } catch (const std::exception& e) {
            error = QString::fromUtf8(e.what());
        } catch (...) {
        }
        // A file that cannot be read is reported, and the program goes on
        // with no document: what a file holds never ends it.
        DestroyDevicePage();
        m_doc.close();
        SetTitle(QString());
        RebuildTabs();
        ConsoleMessage(error);
        m_dialogs->error(this, error);
        return;
    }
}

void TMainForm::ActionNewExecute() {
    Guarded([this] {
        const std::optional<int> code = m_dialogs->newDocument(this);
        if (!code) return;
        if (!CloseDocument()) return;
        m_doc.create(*code);  // clears the console and resets the options
        RefreshConsole();
        SyncDevicePage();
        SetTitle(QString());
        RebuildTabs();
        SetFamilyCaptions();
    });
}

void TMainForm::ActionOpenExecute() {
    Guarded([this] {
        if (!SavePrompt()) return;
        const QString path = m_dialogs->openDocumentName(this);
        if (path.isEmpty()) return;
        ReadDocumentFile(path);
        m_console.clear();
        RefreshConsole();
        SetTitle(path);
        RebuildTabs();
        m_lines->Refresh();
        SetFamilyCaptions();
    });
}

bool TMainForm::ActionSaveExecute() {
    bool saved = false;
    Guarded([&] { saved = Save(); });
    return saved;
}

bool TMainForm::NSaveAsClick() {
    bool saved = false;
    Guarded([&] { saved = SaveAs(); });
    return saved;
}

bool TMainForm::NCloseClick() {
    bool closed = false;
    Guarded([&] { closed = CloseDocument(); });
    return closed;
}

void TMainForm::NExitClick() { close(); }

void TMainForm::closeEvent(QCloseEvent* event) {
    if (NCloseClick())
        event->accept();
    else
        event->ignore();
}

// ---- packages and entries -------------------------------------------------------

void TMainForm::ActionNewPackageExecute() {
    Guarded([this] {
        if (!m_doc.isOpen()) return;
        const std::optional<NewPackageChoice> choice = m_dialogs->newPackage(this);
        if (!choice) return;
        m_doc.addPackage(choice->type, choice->method);
        RebuildTabs();
        SelectTab(m_tabs->count() - 1);
    });
}

void TMainForm::ActionDeletePackageExecute() {
    Guarded([this] {
        const int tab = CurrentTab();
        if (!CurrentPackage()) return;
        if (!m_dialogs->confirmDeletePackage(this, m_tabCaptions.value(tab))) return;
        m_table->HideEditor();
        m_doc.deletePackage(tab - 1);
        RebuildTabs();
    });
}

void TMainForm::ActionNewEntryExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package) return;
        package->addEntry();
        RefreshTable();
        UpdateActions();
    });
}

void TMainForm::ActionNewEntryReadCodeExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        auto* meter = dynamic_cast<RVx2*>(m_doc.device());
        if (!package || !meter) return;
        addMeasuredEntry(*package, {.pulses2 = meter->LastPulseCounter(), .code = meter->MeanCode()});
        RefreshTable();
        UpdateActions();
    });
}

void TMainForm::ActionNewEntryNIVExecute() {
    Guarded([this] {
        if (!m_doc.isOpen() || !m_doc.device() || m_doc.device()->Type() == kRvCode) return;
        if (!m_sppr) {
            m_sppr = new TSpprDlg(m_console, this);
            connect(m_sppr, &TSpprDlg::entryAdded, this, [this](PackageBase* package) {
                // Another tab may be shown by now: only its own table is refreshed.
                if (package == CurrentPackage()) RefreshTable();
                UpdateActions();
            });
        }
        m_sppr->SetPackage(CurrentPackagePtr());
        m_sppr->show();
        m_sppr->raise();
        m_sppr->activateWindow();
    });
}

void TMainForm::ActionDeleteEntryExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package) return;
        const int row = m_table->Row();
        if (row >= 0 && row < package->entryCount()) {
            m_table->HideEditor();
            package->deleteEntry(row);
        }
        RefreshTable();
        UpdateActions();
    });
}

void TMainForm::ActionReportExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package || !m_doc.device()) return;
        files::WriteReport(m_reportPath.toStdString(), *m_doc.device(), *package, LoadLimits(m_doc.device()->Type()));
        ShowReport(m_reportPath);
    });
}

void TMainForm::ActionReportPdfExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package || !m_doc.device()) return;
        const std::string path = pdf::PdfPathFor(m_reportPath.toStdString());
        pdf::WriteProtocolPdf(path, *m_doc.device(), *package, LoadLimits(m_doc.device()->Type()));
        ShowReport(QString::fromStdString(path));
    });
}

void TMainForm::ShowReport(const QString& path) {
    QPointer<TMainForm> self(this);
    const auto failed = [self, path] {
        if (self) self->ConsoleMessage(QStringLiteral("Не удалось показать отчёт, он записан в файл ") + path);
    };
    const QString program =
        m_reportViewer.isEmpty() ? QString() : QStandardPaths::findExecutable(m_reportViewer.first());
    if (program.isEmpty()) {
        failed();
        return;
    }
    // The viewer is not a child of the window: closing the program leaves a
    // browser that the viewer started open. Its exit status tells whether
    // the report could be shown.
    auto* viewer = new QProcess;
    viewer->setProgram(program);
    viewer->setArguments(m_reportViewer.mid(1) << path);
    viewer->setStandardOutputFile(QProcess::nullDevice());
    viewer->setStandardErrorFile(QProcess::nullDevice());
    QObject::connect(viewer, &QProcess::errorOccurred, viewer, [viewer, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        failed();
        viewer->deleteLater();
    });
    QObject::connect(viewer, &QProcess::finished, viewer, [viewer, failed](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0) failed();
        viewer->deleteLater();
    });
    viewer->start();
}

void TMainForm::TextExchange(bool exportText) {
    Guarded([&] {
        PackageBase* package = CurrentPackage();
        if (!package || !m_doc.device()) return;
        const int hidden = m_doc.device()->HiddenColumns(package->type == PackageType::Verification);
        m_table->HideEditor();
        m_dialogs->textExchange(this, *package, exportText, hidden);
        RefreshTable();
        UpdateActions();
    });
}

void TMainForm::NExportClick() { TextExchange(true); }

void TMainForm::NImportClick() { TextExchange(false); }

// ---- approximation ---------------------------------------------------------------

void TMainForm::ActionApprOptionsExecute() {
    Guarded([this] {
        if (!m_doc.isOpen()) return;
        m_dialogs->apprOptions(this, m_doc.state().options);
        UpdateActions();
    });
}

void TMainForm::ActionApprExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package) return;
        m_table->HideEditor();
        approximation::runApproximation(m_doc, *package);
        RefreshTable();
        m_lines->Refresh();
    });
}

void TMainForm::ActionSetPointsExecute() {
    Guarded([this] {
        PackageBase* package = CurrentPackage();
        if (!package) return;
        m_table->HideEditor();
        const auto result = approximation::runSetPoints(m_doc, *package, [this](approximation::SectionSelection& s) {
            return m_dialogs->selectSections(this, s);
        });
        if (result == approximation::SetPointsResult::NotApplicable) return;
        RefreshTable();
        m_lines->Refresh();
    });
}

void TMainForm::ActionLinesExecute() {
    Guarded([this] {
        if (m_doc.isOpen()) m_lines->Show();
    });
}

void TMainForm::ActionGraphicsExecute() {
    Guarded([this] {
        if (!m_doc.isOpen() || m_doc.packages().empty()) return;
        m_table->HideEditor();
        TabChanged();
        fillGraphData(m_doc.packages(), m_doc.state().currentLines, m_chartData);
        m_chartData.limits = GraphLimits();
        GraphWindow* graph = graphWindow();
        graph->SetData(&m_chartData);
        graph->show();
        graph->raise();
        graph->activateWindow();
    });
}

Limits TMainForm::GraphLimits() const {
    for (const PackagePtr& package : m_doc.packages())
        if (package->type == PackageType::Verification) return m_limits;
    return {};
}

void TMainForm::ActionExchangeLogExecute() {
    const auto* page = qobject_cast<DevicePage*>(m_devicePage);
    ExchangeLogWindow::ShowFor(page ? page->PortName() : QString(), this);
}

void TMainForm::ActionLimitsExecute() {
    Guarded([this] {
        const DeviceBase* device = m_doc.device();
        if (!device) return;
        m_table->HideEditor();
        Limits limits = LoadLimits(device->Type());
        if (!m_dialogs->editLimits(this, fromStd(device->Name()), limits)) return;
        SaveLimits(device->Type(), limits);
        m_limits = limits;
        RefreshTable();
        // An open graphs window draws the new envelope.
        if (m_graph && m_graph->isVisible() && !m_chartData.series.empty()) {
            m_chartData.limits = GraphLimits();
            m_graph->SetData(&m_chartData);
        }
    });
}

// ---- help ---------------------------------------------------------------------------

void TMainForm::NHelpClick() { m_help->ShowTopic(QStringLiteral("introduction")); }

QString TMainForm::AboutText() {
    return QStringLiteral("Ralvo-Сервис") + QStringLiteral("\nВерсия: ") + QStringLiteral(RVSERVICE_VERSION) +
           QLatin1Char(' ') + QLatin1Char('\n') + QStringLiteral(__DATE__) + QLatin1Char('\n') +
           QStringLiteral(__TIME__) + QLatin1Char('\n') +
           QStringLiteral("Сервисная программа для преобразователей расхода.");
}

void TMainForm::NAboutClick() { m_dialogs->about(this, AboutText()); }

// ---- the calibration archive ------------------------------------------------------

void TMainForm::NArchiveClick() {
    Guarded([this] {
        if (!m_archiveForm) {
            TArchiveForm::Hooks hooks;
            hooks.saveName = [this](QWidget* owner, const QString& caption, const QString& filter,
                                    const QString& proposed) {
                return m_dialogs->saveFileName(owner, caption, filter, proposed);
            };
            hooks.openDocument = [this](const std::string& bytes) { OpenArchivedDocument(bytes); };
            hooks.report = [this](const QString& text) { ConsoleMessage(text); };
            m_archiveForm = new TArchiveForm(m_archive->url(), m_archive->queuePath(), std::move(hooks), this);
            m_archiveForm->setAttribute(Qt::WA_DeleteOnClose);
        }
        m_archiveForm->show();
        m_archiveForm->raise();
        m_archiveForm->bnFindClick();
    });
}

bool TMainForm::OpenArchivedDocument(const std::string& bytes) {
    bool opened = false;
    Guarded([&] {
        if (!SavePrompt()) return;
        // Read through a file of its own, as Open reads, and then forgotten:
        // the document is new and has no name until it is saved.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("archived.srv"));
        ReplaceFile(path.toStdString(), bytes);
        ReadDocumentFile(path);
        m_console.clear();
        RefreshConsole();
        SetTitle(QString());
        RebuildTabs();
        m_lines->Refresh();
        SetFamilyCaptions();
        opened = true;
    });
    return opened;
}
