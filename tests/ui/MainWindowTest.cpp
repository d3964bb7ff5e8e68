#include "ConsoleView.h"
#include "DornFrame.h"
#include "HelpWindow.h"
#include "KeltFrame.h"
#include "LinesDialog.h"
#include "MainDialogs.h"
#include "MainWindow.h"
#include "NewDocumentDialog.h"
#include "SectionSelectDialog.h"
#include "components/GoodTable.h"

#include "approximation/Commands.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/DeviceBase.h"
#include "document/Entries.h"
#include "link/RegKey.h"
#include "support/ScriptedDialogs.h"
#include "WidgetActions.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QMenu>
#include <QMenuBar>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

#include <cmath>
#include <functional>
#include <memory>

namespace {

using testsupport::ScriptedDialogs;
using widgettest::whenModal;

int columnOf(const PackageBase& package, int field) {
    for (int col = 0; col < package.columnCount(); ++col)
        if (package.columnField(col) == field) return col;
    return -1;
}

double fieldValue(const PackageBase& package, int row, int field) {
    double value = 0;
    package.getField(row, field, &value);
    return value;
}

void setText(PackageBase& package, int row, int field, const std::string& text) {
    package.setCellText(row, columnOf(package, field), text);
}

QString lastConsoleLine(TMainForm& form) {
    const auto& lines = form.console().lines();
    return lines.empty() ? QString() : QString::fromStdString(lines.back().text);
}

// The commands with no document, on tab 0, and on package tabs.
struct Enabled {
    bool save, newPackage, deletePackage, newEntry, deleteEntry, report, apprOptions, setPoints, appr, lines, io;
};

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void noDocumentLeavesOnlyNewOpenExitAndHelp();
    void newDocumentThroughTheDeviceTree();
    void newAsksToSaveOnlyAfterTheTreeOk();
    void enabledRules_data();
    void enabledRules();
    void pagesMenuMirrorsTheTabs();
    void typedEntries_data();
    void typedEntries();
    void rejectedTextReverts();
    void spaceTogglesTheMarkAndKeepsTheRow();
    void dornVerificationWithoutPulseOutputHidesThreeColumns();
    void valuesFitTheirColumns();
    void approximationHandsLinesToTheDevice();
    void failedApproximationIsReported();
    void setPointsWithTheSectionDialog();
    void setPointsCancelledKeepsTheDeviceLines();
    void saveProposesNameAndReopens();
    void savePromptAnswers();
    void damagedFileLeavesTheDocument();
    void startupDocument_data();
    void startupDocument();
    void openingAnotherDeviceTypeReplacesThePage();
    void reportIsWrittenAndOpened();
    void pdfReportIsWrittenBesideTheHtmlAndOpened();
    void reportThatCannotBeShownNamesItsFile_data();
    void reportThatCannotBeShownNamesItsFile();
    void deletePackageAndEntry();
    void deleteEntryActsOnlyOnAChosenRow();
    void consoleKeepsTwentyLinesAndClearsOnDoubleClick();
    void consoleCountsTheLinesOfAMessage();
    void clientAreaHoldsTheToolBar();
    void entryTableReadsThroughAccessibility();
    void commandErrorsGoToTheConsole();
    void helpShowsTheTopics();
    void aboutNamesTheVersion();

private:
    TMainForm& makeForm(std::unique_ptr<MainDialogs> dialogs = nullptr);
    // A new document of `code` through the scripted dialogs.
    void newDocument(int code);
    // A new package of the kind; its tab becomes the selected one.
    PackageBase& newPackage(PackageType type, Method method = Method::Volume);
    // Three sections of two entries each, by the volume method.
    void fillSections(PackageBase& package);
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TMainForm> m_form;
    ScriptedDialogs* m_script = nullptr;
};

void MainWindowTest::initTestCase() {
    // No device of the machine: the Dorn page opens no port.
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{"/dev/rvservice-none"}));
}

void MainWindowTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    RegKey::SetFileLocation(path(QStringLiteral("settings.json")).toStdString());
}

void MainWindowTest::cleanup() {
    m_form.reset();
    m_script = nullptr;
    RegKey::SetFileLocation({});
    m_dir.reset();
}

TMainForm& MainWindowTest::makeForm(std::unique_ptr<MainDialogs> dialogs) {
    if (!dialogs) {
        auto script = std::make_unique<ScriptedDialogs>();
        m_script = script.get();
        dialogs = std::move(script);
    }
    m_form = std::make_unique<TMainForm>(std::move(dialogs));
    m_form->SetReportPath(path(QStringLiteral("report.html")));
    m_form->show();
    return *m_form;
}

void MainWindowTest::newDocument(int code) {
    m_script->code = code;
    m_form->ActionNew->trigger();
    QVERIFY(m_form->document().isOpen());
}

PackageBase& MainWindowTest::newPackage(PackageType type, Method method) {
    m_script->package = NewPackageChoice{type, method};
    m_form->ActionNewPackage->trigger();
    return *m_form->document().packages().back();
}

void MainWindowTest::fillSections(PackageBase& package) {
    // freq = (N1 - 1) / T1 with T1 = 100 s; flowRef = Vэт / 10 with Tэт = 36 s.
    const struct {
        const char* pulses;
        const char* volume;
    } rows[] = {{"1001", "10.2"}, {"1011", "10.2"}, {"5001", "50.1"}, {"5051", "50.3"}, {"10001", "99.0"}, {"10101", "100.2"}};
    for (const auto& r : rows) {
        package.addEntry();
        const int row = package.entryCount() - 1;
        setText(package, row, kTimeRef, "36");
        setText(package, row, kTime1, "100");
        setText(package, row, kPulses1, r.pulses);
        setText(package, row, package.method == Method::Mass ? kMassRef : kVolRef, r.volume);
        package.recalcEntry(row);
    }
}

// ---- enabled rules ---------------------------------------------------------------

void MainWindowTest::noDocumentLeavesOnlyNewOpenExitAndHelp() {
    TMainForm& form = makeForm();
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    for (QAction* action : {form.ActionNew, form.ActionOpen, form.NExit, form.NHelp, form.NAbout})
        QVERIFY2(action->isEnabled(), qPrintable(action->text()));
    for (QAction* action : {form.ActionSave, form.NSaveAs, form.NClose, form.ActionNewPackage, form.ActionDeletePackage,
                            form.ActionNewEntry, form.ActionDeleteEntry, form.ActionReport, form.ActionReportPdf,
                            form.ActionApprOptions,
                            form.ActionSetPoints, form.ActionAppr, form.ActionLines, form.NExport, form.NImport})
        QVERIFY2(!action->isEnabled(), qPrintable(action->text()));
    QVERIFY(!form.pagesMenu()->isEnabled());
    QCOMPARE(form.tabBar()->count(), 0);
    QVERIFY(!form.table()->isVisible());
}

void MainWindowTest::newDocumentThroughTheDeviceTree() {
    // The program's own dialogs: the tree is driven inside its modal loop.
    TMainForm& form = makeForm(std::make_unique<StandardMainDialogs>(nullptr));
    bool groupBlocked = false;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<NewDocumentDialog*>(modal);
        if (!dialog) return;
        QVERIFY(dialog->selectText(QStringLiteral("ДОРН-Т(ТИ)")));
        groupBlocked = !dialog->okEnabled();
        QVERIFY(dialog->selectCode(3));  // "ДОРН-ТИ2"
        QVERIFY(dialog->okEnabled());
        dialog->okButton()->click();
    });
    form.ActionNew->trigger();

    QVERIFY(groupBlocked);
    QVERIFY(form.document().isOpen());
    QCOMPARE(form.document().device()->Type(), 3);
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    QCOMPARE(form.TabCaptions(), QStringList{QString::fromStdString(form.document().device()->Name())});
    QCOMPARE(form.CurrentTab(), 0);
    QVERIFY(!form.table()->isVisible());
    QVERIFY(qobject_cast<TDornFrame*>(form.devicePage()));
    QVERIFY(form.devicePage()->isVisible());
    QVERIFY(form.pagesMenu()->isEnabled());
    QCOMPARE(form.linesDialog()->table()->Captions(2), QStringLiteral("Частота (Гц)"));
}

void MainWindowTest::newAsksToSaveOnlyAfterTheTreeOk() {
    TMainForm& form = makeForm();
    newDocument(19);
    QCOMPARE(m_script->saveAsked, 0);  // nothing was open

    m_script->code.reset();  // the tree is cancelled
    form.ActionNew->trigger();
    QCOMPARE(m_script->saveAsked, 0);
    QCOMPARE(form.document().device()->Type(), 19);

    m_script->code = 0;
    m_script->saveAnswer = SaveAnswer::Cancel;
    form.ActionNew->trigger();
    QCOMPARE(m_script->saveAsked, 1);
    QCOMPARE(form.document().device()->Type(), 19);

    // New resets the options that the last document changed.
    form.document().state().options.manual = 0;
    form.document().state().options.refTemp = 15;
    m_script->saveAnswer = SaveAnswer::No;
    form.ActionNew->trigger();
    QCOMPARE(form.document().device()->Type(), 0);
    QCOMPARE(int(form.document().state().options.manual), 1);
    QCOMPARE(form.document().state().options.refTemp, 20.0);
    QCOMPARE(form.linesDialog()->table()->Captions(2), QStringLiteral("Код"));

    // OK before any row was chosen: no document afterwards.
    m_script->code = -1;
    form.ActionNew->trigger();
    QVERIFY(!form.document().isOpen());
    QCOMPARE(form.tabBar()->count(), 0);
}

void MainWindowTest::enabledRules_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("packageType");  // -1: tab 0
    QTest::addColumn<bool>("manual");
    QTest::addColumn<bool>("withEntry");
    QTest::addColumn<QByteArray>("expected");  // the flags of Enabled in order

    // save newPackage deletePackage newEntry deleteEntry report apprOptions setPoints appr lines io
    QTest::newRow("tab 0") << 19 << -1 << true << false << QByteArray("11000010010");
    QTest::newRow("empty calibration, manual") << 19 << 0 << true << false << QByteArray("11110111111");
    QTest::newRow("calibration with an entry") << 19 << 0 << true << true << QByteArray("11111111111");
    QTest::newRow("calibration, automatic") << 19 << 0 << false << true << QByteArray("11111110111");
    QTest::newRow("verification, manual") << 19 << 1 << true << true << QByteArray("11111110011");
    QTest::newRow("RV calibration") << 0 << 0 << true << false << QByteArray("11110111111");
}

void MainWindowTest::enabledRules() {
    QFETCH(int, code);
    QFETCH(int, packageType);
    QFETCH(bool, manual);
    QFETCH(bool, withEntry);
    QFETCH(QByteArray, expected);

    TMainForm& form = makeForm();
    newDocument(code);
    if (packageType >= 0) {
        newPackage(static_cast<PackageType>(packageType));
        if (withEntry) form.ActionNewEntry->trigger();
    }
    m_script->editOptions = [manual](ApprOptions& options) { options.manual = manual ? 1 : 0; };
    form.ActionApprOptions->trigger();

    const QList<QAction*> actions = {form.ActionSave,        form.ActionNewPackage, form.ActionDeletePackage,
                                     form.ActionNewEntry,    form.ActionDeleteEntry, form.ActionReport,
                                     form.ActionApprOptions, form.ActionSetPoints,  form.ActionAppr,
                                     form.ActionLines,       form.NExport};
    for (int i = 0; i < actions.size(); ++i)
        QVERIFY2(actions[i]->isEnabled() == (expected[i] == '1'), qPrintable(actions[i]->text()));
    QCOMPARE(form.NImport->isEnabled(), form.NExport->isEnabled());
    QCOMPARE(form.NSaveAs->isEnabled(), true);
    QCOMPARE(form.NClose->isEnabled(), true);
    QCOMPARE(form.table()->isVisible(), packageType >= 0);
}

void MainWindowTest::pagesMenuMirrorsTheTabs() {
    TMainForm& form = makeForm();
    newDocument(19);
    newPackage(PackageType::Calibration);
    newPackage(PackageType::Verification, Method::Mass);
    QCOMPARE(form.tabBar()->count(), 3);
    QCOMPARE(form.CurrentTab(), 2);  // the new package's tab
    QVERIFY(form.TabCaptions()[1].startsWith(QStringLiteral("Градуировочный ")));
    QVERIFY(form.TabCaptions()[2].startsWith(QStringLiteral("Поверочный ")));

    // The tabs, then below a separator the exchange log of the device page.
    const QList<QAction*> items = form.pagesMenu()->actions();
    QCOMPARE(items.size(), 5);
    QVERIFY(items[3]->isSeparator());
    QCOMPARE(items[4]->objectName(), QStringLiteral("ActionExchangeLog"));
    QVERIFY(items[4]->isEnabled());
    for (int i = 0; i < 3; ++i) QCOMPARE(items[i]->text(), form.tabBar()->tabText(i));
    QVERIFY(items[2]->isChecked());

    items[1]->trigger();
    QCOMPARE(form.CurrentTab(), 1);
    QVERIFY(items[1]->isChecked() && !items[2]->isChecked());
    form.tabBar()->setCurrentIndex(0);
    QVERIFY(form.pagesMenu()->actions()[0]->isChecked());
    QVERIFY(form.devicePage() == nullptr || form.devicePage()->isVisible());
}

// ---- the entry table ------------------------------------------------------------

void MainWindowTest::typedEntries_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");
    QTest::newRow("comma, point locale") << '.' << QStringLiteral("0,5") << 0.5;
    QTest::newRow("point, point locale") << '.' << QStringLiteral("0.5") << 0.5;
    QTest::newRow("comma, comma locale") << ',' << QStringLiteral("0,5") << 0.5;
    QTest::newRow("point, comma locale") << ',' << QStringLiteral("0.5") << 0.5;
    QTest::newRow("whole number") << ',' << QStringLiteral("36") << 36.0;
}

void MainWindowTest::typedEntries() {
    QFETCH(char, separator);
    QFETCH(QString, typed);
    QFETCH(double, stored);
    Locale locale = Locale::current();
    locale.decimalSeparator = separator;
    const ScopedLocale scoped(locale);

    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    form.ActionNewEntry->trigger();
    QCOMPARE(form.table()->RowCount(), 1);
    setText(package, 0, kVolRef, "10");
    package.recalcEntry(0);

    TGoodTable* table = form.table();
    table->SetRow(0);
    table->SetCol(columnOf(package, kTimeRef));
    table->setFocus();
    // The first key opens the editor with it; the rest go to the editor.
    QTest::keyClick(table, typed.at(0).toLatin1());
    QVERIFY(table->EditorVisible());
    QTest::keyClicks(table->Editor(), typed.mid(1));
    QTest::keyClick(table->Editor(), Qt::Key_Return);
    QVERIFY(!table->EditorVisible());

    QCOMPARE(fieldValue(package, 0, kTimeRef), stored);
    // gэт follows at once: 3.6 * 10 l / Tэт.
    const double flow = 3.6 * 10 / stored;
    QVERIFY(std::abs(fieldValue(package, 0, kFlowRef) - flow) < 1e-9);
    const int flowCol = columnOf(package, kFlowRef);
    QCOMPARE(table->Cells(0, flowCol), QString::fromStdString(Locale::current().formatFixed(flow, 6)));
}

void MainWindowTest::rejectedTextReverts() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    form.ActionNewEntry->trigger();
    TGoodTable* table = form.table();
    const int col = columnOf(package, kT);
    const QString before = table->Cells(0, col);
    QCOMPARE(fieldValue(package, 0, kT), 20.0);

    table->SetRow(0);
    table->SetCol(col);
    QTest::keyClick(table, 'a');
    QTest::keyClicks(table->Editor(), QStringLiteral("bc"));
    QCOMPARE(table->Editor()->text(), QStringLiteral("abc"));  // the editor keeps what was typed
    QCOMPARE(table->Cells(0, col), before);                      // the cell shows the stored value
    QTest::keyClick(table->Editor(), Qt::Key_Escape);
    QCOMPARE(fieldValue(package, 0, kT), 20.0);
    QCOMPARE(table->Cells(0, col), before);
}

void MainWindowTest::spaceTogglesTheMarkAndKeepsTheRow() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    form.ActionNewEntry->trigger();
    form.ActionNewEntry->trigger();
    TGoodTable* table = form.table();
    const int col = columnOf(package, kPoint);
    QCOMPARE(table->ColTypes(col), ColType::Check);
    table->SetRow(1);
    table->SetCol(col);
    QTest::keyClick(table, Qt::Key_Space);
    QVERIFY(package.cellChecked(1, col));
    QVERIFY(table->CellsChecked(1, col));
    QVERIFY(!package.cellChecked(0, col));
    QTest::keyClick(table, Qt::Key_Space);
    QVERIFY(!package.cellChecked(1, col));
    // Derived columns are read-only.
    QVERIFY(table->ColReadOnly(columnOf(package, kFlowRef)));
    QVERIFY(!table->ColReadOnly(columnOf(package, kVolRef)));
}

void MainWindowTest::dornVerificationWithoutPulseOutputHidesThreeColumns() {
    TMainForm& form = makeForm();
    newDocument(1);  // Dorn model 0: no pulse output
    PackageBase& verification = newPackage(PackageType::Verification, Method::Mass);
    // Ten columns of the package, then the verdict of a verification package.
    QCOMPARE(verification.columnCount(), 13);
    QCOMPARE(form.table()->ColCount(), 11);
    QCOMPARE(form.table()->Captions(9), QString::fromUtf8(FieldInfo(kFlowErr).caption));  // the pulse-output columns go
    QCOMPARE(form.table()->Captions(10), QStringLiteral("Вывод"));
    newPackage(PackageType::Verification, Method::Volume);
    QCOMPARE(form.table()->ColCount(), 10);
    newPackage(PackageType::Calibration, Method::Volume);
    QCOMPARE(form.table()->ColCount(), 10);  // calibration packages hide nothing
    newDocument(2);  // model 1 has one
    newPackage(PackageType::Verification, Method::Mass);
    QCOMPARE(form.table()->ColCount(), 14);
}

// A Kelt package's frequencies of three whole digits and its six decimals
// show whole in the table's font, not cut off by the next column.
void MainWindowTest::valuesFitTheirColumns() {
    TMainForm& form = makeForm();
    newDocument(18);
    PackageBase& package = newPackage(PackageType::Calibration, Method::Volume);
    fillSections(package);
    package.addEntry();
    const int row = package.entryCount() - 1;
    setText(package, row, kTimeRef, "36");
    setText(package, row, kTime1, "100");
    setText(package, row, kPulses1, "81181");
    setText(package, row, kVolRef, "812.3");
    package.recalcEntry(row);
    form.SelectTab(0);
    form.SelectTab(1);
    TGoodTable* table = form.table();
    const QFontMetrics metrics = table->fontMetrics();
    for (int col = 0; col < table->ColCount(); ++col) {
        if (table->ColTypes(col) == ColType::Check) continue;
        QVERIFY2(metrics.horizontalAdvance(table->Captions(col)) < table->Widths(col), qPrintable(table->Captions(col)));
        for (int r = 0; r < table->RowCount(); ++r)
            QVERIFY2(metrics.horizontalAdvance(table->Cells(r, col)) + 2 < table->Widths(col),
                     qPrintable(table->Captions(col) + QLatin1Char(' ') + table->Cells(r, col)));
    }
}

// ---- approximation --------------------------------------------------------------

void MainWindowTest::approximationHandsLinesToTheDevice() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    form.ActionLines->trigger();
    QVERIFY(form.linesDialog()->isVisible());

    form.ActionAppr->trigger();
    QCOMPARE(lastConsoleLine(form).left(1), QStringLiteral("A"));  // Latin capital A
    QCOMPARE(lastConsoleLine(form), QString::fromUtf8(approximation::kApproximationDone));
    files::Lines deviceLines;
    form.document().device()->GetLines(deviceLines);
    QVERIFY(!deviceLines.empty());
    QCOMPARE(form.linesDialog()->table()->RowCount(), int(form.document().state().currentLines.size()));
    // The entries are computed with the fitted lines.
    for (int row = 0; row < package.entryCount(); ++row)
        QVERIFY(std::abs(fieldValue(package, row, kFlowErr)) < 5);
    // Entered in ascending flow, shown in ascending flow.
    QVERIFY(fieldValue(package, 0, kFlowRef) < fieldValue(package, 5, kFlowRef));
}

void MainWindowTest::failedApproximationIsReported() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    // Two entries of frequency 0: the scatter of a section against 0 fails.
    package.addEntry();
    package.addEntry();
    form.ActionAppr->trigger();
    QCOMPARE(lastConsoleLine(form), QString::fromUtf8(approximation::kApproximationFailed));
    QVERIFY(form.document().state().currentLines.empty());
    QCOMPARE(fieldValue(package, 0, kFlowErr), 100.0);
    QCOMPARE(form.linesDialog()->table()->RowCount(), 0);
}

void MainWindowTest::setPointsWithTheSectionDialog() {
    TMainForm& form = makeForm(std::make_unique<StandardMainDialogs>(nullptr));
    // New through the tree, a package through its dialog.
    whenModal([](QWidget* modal) {
        auto* dialog = qobject_cast<NewDocumentDialog*>(modal);
        QVERIFY(dialog && dialog->selectCode(19));
        dialog->okButton()->click();
    });
    form.ActionNew->trigger();
    whenModal([](QWidget* modal) { static_cast<QDialog*>(modal)->accept(); });
    form.ActionNewPackage->trigger();
    PackageBase* package = form.CurrentPackage();
    QVERIFY(package && package->type == PackageType::Calibration);
    fillSections(*package);
    QVERIFY(form.ActionSetPoints->isEnabled());

    int marked = -1;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<SectionSelectDialog*>(modal);
        if (!dialog) return;
        QCOMPARE(dialog->seriesFront()->count(), 6);
        QCOMPARE(dialog->seriesBack()->count(), 0);
        dialog->clickPoint(3);  // a point of the middle section marks both of its points
        marked = dialog->seriesBack()->count();
        dialog->accept();
    });
    form.ActionSetPointsExecute();

    QCOMPARE(marked, 2);
    QCOMPARE(lastConsoleLine(form), QString::fromUtf8(approximation::kSetPointsDone));
    QCOMPARE(form.document().state().currentLines.size(), std::size_t(2));
    QCOMPARE(int(form.document().state().options.function), int(ApprFunction::PiecewiseLinear));
    QCOMPARE(form.linesDialog()->table()->RowCount(), 2);
}

void MainWindowTest::setPointsCancelledKeepsTheDeviceLines() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    files::Lines before;
    form.document().device()->GetLines(before);
    form.document().state().options.function = static_cast<std::uint8_t>(ApprFunction::Proportional);

    m_script->chooseSections = [](approximation::SectionSelection&) { return false; };
    form.ActionSetPoints->trigger();
    files::Lines after;
    form.document().device()->GetLines(after);
    QCOMPARE(after.size(), before.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
        QCOMPARE(after[i].a, before[i].a);
        QCOMPARE(after[i].b, before[i].b);
        QCOMPARE(after[i].upper, before[i].upper);
    }
    QCOMPARE(int(form.document().state().options.function), int(ApprFunction::Proportional));
    QCOMPARE(form.document().state().currentLines.size(), std::size_t(1));  // the single line of the first fit

    // A Dorn document: the command does nothing.
    newDocument(2);
    PackageBase& dorn = newPackage(PackageType::Calibration);
    dorn.addEntry();
    form.console().clear();
    bool asked = false;
    m_script->chooseSections = [&](approximation::SectionSelection&) { return asked = true; };
    form.ActionSetPoints->trigger();
    QVERIFY(!asked);
    QVERIFY(form.console().lines().empty());
}

// ---- files -------------------------------------------------------------------------

void MainWindowTest::saveProposesNameAndReopens() {
    TMainForm& form = makeForm();
    newDocument(19);
    Ident ident{12345678, 3};
    form.document().device()->SetIdent(ident);
    PackageBase& package = newPackage(PackageType::Calibration, Method::Mass);
    fillSections(package);
    form.ActionAppr->trigger();

    const QString file = path(QStringLiteral("kelt.srv"));
    m_script->saveName = file;
    QVERIFY(form.ActionSaveExecute());  // no name yet: Save as
    const QString name = QString::fromStdString(form.document().device()->Name());
    QCOMPARE(m_script->proposedName, name + QStringLiteral(" Ду") + QString::fromStdString(DiameterText(3)) +
                                         QStringLiteral(" N") + QString::fromStdString(SerialText(12345678, 3)));
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис [") + file + QLatin1Char(']'));
    QVERIFY(QFile::exists(file));

    // Save again goes to the same file without asking.
    QVERIFY(form.ActionSaveExecute());
    QCOMPARE(m_script->saveNameAsked, 1);

    const double flow = fieldValue(package, 4, kFlowRef);
    const std::size_t lines = form.document().state().currentLines.size();
    QVERIFY(form.NCloseClick());
    QVERIFY(!form.document().isOpen());
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    QVERIFY(!form.linesDialog()->isVisible());

    m_script->openName = file;
    form.ActionOpen->trigger();
    QVERIFY(form.document().isOpen());
    QCOMPARE(form.document().device()->Type(), 19);
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис [") + file + QLatin1Char(']'));
    QCOMPARE(form.tabBar()->count(), 2);
    QCOMPARE(form.CurrentTab(), 0);
    form.SelectTab(1);
    PackageBase* reopened = form.CurrentPackage();
    QVERIFY(reopened);
    QCOMPARE(reopened->method, Method::Mass);
    QCOMPARE(reopened->entryCount(), 6);
    QVERIFY(std::abs(fieldValue(*reopened, 4, kFlowRef) - flow) < 1e-9);
    QCOMPARE(form.document().state().currentLines.size(), lines);
    QCOMPARE(form.table()->RowCount(), 6);
    Ident read;
    form.document().device()->GetIdent(read);
    QCOMPARE(read.serial, ident.serial);
}

void MainWindowTest::savePromptAnswers() {
    TMainForm& form = makeForm();
    newDocument(19);
    const QString file = path(QStringLiteral("prompt.srv"));

    // Cancel keeps the document; Cancel in the save dialog too.
    m_script->saveAnswer = SaveAnswer::Cancel;
    QVERIFY(!form.NCloseClick());
    QVERIFY(form.document().isOpen());
    m_script->saveAnswer = SaveAnswer::Yes;
    m_script->saveName.clear();
    QVERIFY(!form.NCloseClick());
    QVERIFY(form.document().isOpen());

    // Yes saves, then closes.
    m_script->saveName = file;
    QVERIFY(form.NCloseClick());
    QVERIFY(!form.document().isOpen());
    QVERIFY(QFile::exists(file));

    // Closing the window runs Close: a Cancel keeps it open.
    newDocument(19);
    m_script->saveAnswer = SaveAnswer::Cancel;
    QVERIFY(!form.close());
    QVERIFY(form.isVisible());
    m_script->saveAnswer = SaveAnswer::No;
    QVERIFY(form.close());
}

void MainWindowTest::damagedFileLeavesTheDocument() {
    TMainForm& form = makeForm();
    newDocument(19);
    newPackage(PackageType::Calibration);
    const QString file = path(QStringLiteral("damaged.srv"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write("3BPP\x05\x00\x00\x00garbage", 15);
    out.close();

    m_script->openName = file;
    form.ActionOpen->trigger();
    QCOMPARE(lastConsoleLine(form), QStringLiteral("Неправильный формат файла"));
    QCOMPARE(form.document().device()->Type(), 19);
    QCOMPARE(form.tabBar()->count(), 2);
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));

    // A file that is not there: the system's error, nothing changed.
    m_script->openName = path(QStringLiteral("missing.srv"));
    form.ActionOpen->trigger();
    QVERIFY(!lastConsoleLine(form).isEmpty());
    QCOMPARE(form.tabBar()->count(), 2);
}

void MainWindowTest::startupDocument_data() {
    QTest::addColumn<QByteArray>("content");  // empty: the file is not there
    QTest::addColumn<QString>("error");
    QTest::newRow("damaged") << QByteArray("3BPP\x05\x00\x00\x00garbage", 15)
                             << QStringLiteral("Неправильный формат файла");
    QTest::newRow("not a document") << QByteArray("hello") << QStringLiteral("Неправильный формат файла");
    QTest::newRow("missing") << QByteArray() << QString();
}

void MainWindowTest::startupDocument() {
    QFETCH(QByteArray, content);
    QFETCH(QString, error);
    const QString file = path(QStringLiteral("start.srv"));
    if (!content.isEmpty()) {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    TMainForm& form = makeForm();
    // Arguments beginning with "-" are skipped; the file named is reported
    // in a box and in the console, and the window goes on without a document.
    form.OpenStartupDocument({QStringLiteral("-platform"), file, path(QStringLiteral("second.srv"))});
    QCOMPARE(m_script->errors.size(), 1);
    if (!error.isEmpty()) QCOMPARE(m_script->errors.first(), error);
    QVERIFY(!m_script->errors.first().isEmpty());
    QCOMPARE(lastConsoleLine(form), QString(m_script->errors.first()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    QVERIFY(!form.document().isOpen());
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    QCOMPARE(form.tabBar()->count(), 0);
    QVERIFY(form.ActionNew->isEnabled());
    QVERIFY(!form.ActionSave->isEnabled());

    // The window works on: a new document, saved, opens at the next start.
    newDocument(19);
    const QString good = path(QStringLiteral("good.srv"));
    m_script->saveName = good;
    QVERIFY(form.NSaveAsClick());
    m_form.reset();
    TMainForm& next = makeForm();
    next.OpenStartupDocument({good});
    QVERIFY(m_script->errors.isEmpty());
    QVERIFY(next.document().isOpen());
    QCOMPARE(next.windowTitle(), QStringLiteral("Ralvo-Cервис [") + good + QLatin1Char(']'));
    QCOMPARE(next.tabBar()->count(), 1);
}

void MainWindowTest::openingAnotherDeviceTypeReplacesThePage() {
    TMainForm& form = makeForm();
    newDocument(19);
    const QString kelt = path(QStringLiteral("kelt.srv"));
    m_script->saveName = kelt;
    QVERIFY(form.NSaveAsClick());

    newDocument(2);
    auto* page = qobject_cast<TDornFrame*>(form.devicePage());
    QVERIFY(page);
    QVERIFY(page->isVisible());
    const QString dorn = path(QStringLiteral("dorn.srv"));
    m_script->saveName = dorn;
    QVERIFY(form.NSaveAsClick());

    // Dorn to Kelt: the Dorn page goes with the Dorn model.
    m_script->openName = kelt;
    form.ActionOpen->trigger();
    QCOMPARE(form.document().device()->Type(), 19);
    QVERIFY(qobject_cast<TKeltFrame*>(form.devicePage()));

    // Back to Dorn, then the same type again: the page stays bound to the model.
    m_script->openName = dorn;
    form.ActionOpen->trigger();
    QVERIFY(qobject_cast<TDornFrame*>(form.devicePage()));
    form.ActionOpen->trigger();
    QVERIFY(qobject_cast<TDornFrame*>(form.devicePage()));
    QCOMPARE(form.document().device()->Type(), 2);
}

void MainWindowTest::reportIsWrittenAndOpened() {
    TMainForm& form = makeForm();
    QCOMPARE(form.ReportViewer(), QStringList{QStringLiteral("xdg-open")});
    // A viewer that notes the file it was given.
    const QString shown = path(QStringLiteral("shown.txt"));
    form.SetReportViewer({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("printf %s \"$1\" > \"$0\""), shown});
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    form.console().clear();
    form.ActionReport->trigger();

    const QString report = path(QStringLiteral("report.html"));
    QVERIFY(QFile::exists(report));
    QFile in(report);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QVERIFY(in.readAll().contains("<html"));
    const auto noted = [&shown] {
        QFile note(shown);
        return note.open(QIODevice::ReadOnly) ? QString::fromUtf8(note.readAll()) : QString();
    };
    QTRY_COMPARE(noted(), report);
    QTest::qWait(50);
    QVERIFY(form.console().lines().empty());  // shown: nothing to say
}

void MainWindowTest::pdfReportIsWrittenBesideTheHtmlAndOpened() {
    TMainForm& form = makeForm();
    const QString shown = path(QStringLiteral("shown.txt"));
    form.SetReportViewer({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("printf %s \"$1\" > \"$0\""), shown});
    newDocument(19);
    newPackage(PackageType::Verification);
    QVERIFY(form.ActionReportPdf->isEnabled());
    form.console().clear();
    form.ActionReportPdf->trigger();

    const QString pdf = path(QStringLiteral("report.pdf"));
    QFile in(pdf);
    QVERIFY(in.open(QIODevice::ReadOnly));
    QVERIFY(in.read(5) == "%PDF-");
    QVERIFY(!QFile::exists(path(QStringLiteral("report.html"))));
    const auto noted = [&shown] {
        QFile note(shown);
        return note.open(QIODevice::ReadOnly) ? QString::fromUtf8(note.readAll()) : QString();
    };
    QTRY_COMPARE(noted(), pdf);

    // No viewer: the same message as for the page, naming the PDF.
    form.SetReportViewer({QStringLiteral("false")});
    form.ActionReportPdf->trigger();
    QTRY_VERIFY(!form.console().lines().empty());
    QVERIFY2(lastConsoleLine(form).endsWith(QLatin1Char(' ') + pdf), qPrintable(lastConsoleLine(form)));
}

void MainWindowTest::reportThatCannotBeShownNamesItsFile_data() {
    QTest::addColumn<QStringList>("viewer");
    QTest::newRow("no viewer installed") << QStringList{QStringLiteral("rvservice-test-no-such-viewer")};
    QTest::newRow("the viewer fails") << QStringList{QStringLiteral("false")};
    QTest::newRow("no viewer at all") << QStringList{};
}

void MainWindowTest::reportThatCannotBeShownNamesItsFile() {
    QFETCH(QStringList, viewer);
    TMainForm& form = makeForm();
    form.SetReportViewer(viewer);
    newDocument(19);
    newPackage(PackageType::Verification);
    form.console().clear();
    form.ActionReport->trigger();
    const QString report = path(QStringLiteral("report.html"));
    QVERIFY(QFile::exists(report));
    QTRY_VERIFY(!form.console().lines().empty());
    QVERIFY2(lastConsoleLine(form).endsWith(QLatin1Char(' ') + report), qPrintable(lastConsoleLine(form)));
}

void MainWindowTest::deletePackageAndEntry() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    form.SelectTab(0);
    form.SelectTab(1);
    QCOMPARE(form.table()->RowCount(), 6);
    const double second = fieldValue(package, 1, kVolRef);
    form.table()->SetRow(0);
    form.ActionDeleteEntry->trigger();
    QCOMPARE(package.entryCount(), 5);
    QCOMPARE(form.table()->RowCount(), 5);
    QCOMPARE(fieldValue(package, 0, kVolRef), second);

    m_script->deleteAnswer = false;
    form.ActionDeletePackage->trigger();
    QCOMPARE(form.document().packages().size(), std::size_t(1));
    QCOMPARE(m_script->deleteCaption, form.TabCaptions()[1]);
    m_script->deleteAnswer = true;
    form.ActionDeletePackage->trigger();
    QVERIFY(form.document().packages().empty());
    QCOMPARE(form.CurrentTab(), 0);
    QCOMPARE(form.tabBar()->count(), 1);
    QVERIFY(!form.ActionDeletePackage->isEnabled());
}

void MainWindowTest::deleteEntryActsOnlyOnAChosenRow() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    form.SelectTab(0);
    form.SelectTab(1);
    TGoodTable* table = form.table();
    // A package's table opens with no current cell, and refreshes keep it so.
    QCOMPARE(table->Row(), -1);
    QCOMPARE(table->Col(), -1);
    form.ActionNewEntry->trigger();
    QCOMPARE(package.entryCount(), 7);
    QCOMPARE(table->Row(), -1);
    QVERIFY(form.ActionDeleteEntry->isEnabled());
    form.ActionDeleteEntry->trigger();
    QCOMPARE(package.entryCount(), 7);

    // The first arrow key lands on a whole cell; the command then deletes that row.
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(table->Row(), 0);
    QCOMPARE(table->Col(), 0);
    QTest::keyClick(table, Qt::Key_Down);
    const double third = fieldValue(package, 2, kVolRef);
    form.ActionDeleteEntry->trigger();
    QCOMPARE(package.entryCount(), 6);
    QCOMPARE(fieldValue(package, 1, kVolRef), third);

    // A click on a row chooses it too; another package's table starts afresh.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->CellRect(4, 1).center());
    QCOMPARE(table->Row(), 4);
    newPackage(PackageType::Calibration);
    fillSections(*form.document().packages().back());
    form.SelectTab(2);
    QCOMPARE(table->Row(), -1);
    form.SelectTab(1);
    QCOMPARE(table->Row(), -1);
}

// ---- console, errors, help -------------------------------------------------------------

void MainWindowTest::consoleKeepsTwentyLinesAndClearsOnDoubleClick() {
    TMainForm& form = makeForm();
    for (int i = 1; i <= 21; ++i) form.ConsoleMessage(QStringLiteral("message %1").arg(i));
    const QStringList lines = form.consoleView()->toPlainText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 20);
    QVERIFY(lines.first().endsWith(QStringLiteral(" - message 2")));
    QVERIFY(lines.last().endsWith(QStringLiteral(" - message 21")));
    // "<date> <time> - text"
    QVERIFY(QRegularExpression(QStringLiteral("^\\S+ \\d\\d:\\d\\d:\\d\\d - message 21$")).match(lines.last()).hasMatch());

    QTest::mouseDClick(form.consoleView()->viewport(), Qt::LeftButton);
    QVERIFY(form.consoleView()->toPlainText().isEmpty());
    QVERIFY(form.console().lines().empty());
}

void MainWindowTest::consoleCountsTheLinesOfAMessage() {
    TMainForm& form = makeForm();
    const auto shown = [&form] { return form.consoleView()->toPlainText().split(QLatin1Char('\n')); };
    for (int i = 1; i <= 18; ++i) form.ConsoleMessage(QStringLiteral("message %1").arg(i));
    form.ConsoleMessage(QStringLiteral("Температура 21,5\r\nдатчик 1\nдатчик 2\n"));
    // 18 + 3 lines: the oldest message goes.
    QStringList lines = shown();
    QCOMPARE(lines.size(), 20);
    QVERIFY(lines.first().endsWith(QStringLiteral(" - message 2")));
    QVERIFY(lines[17].endsWith(QStringLiteral(" - Температура 21,5")));
    QCOMPARE(lines[18], QStringLiteral("датчик 1"));
    QCOMPARE(lines.last(), QStringLiteral("датчик 2"));

    // Lines of the oldest message go one by one; what is left of it has no stamp.
    for (int i = 19; i <= 37; ++i) form.ConsoleMessage(QStringLiteral("message %1").arg(i));
    lines = shown();
    QCOMPARE(lines.size(), 20);
    QCOMPARE(lines.first(), QStringLiteral("датчик 2"));
    QVERIFY(lines.last().endsWith(QStringLiteral(" - message 37")));
    QCOMPARE(form.console().lineCount(), std::size_t(20));
}

void MainWindowTest::clientAreaHoldsTheToolBar() {
    TMainForm& form = makeForm();
    // The client area lies below the menu; the tool bar is part of it.
    QCOMPARE(form.width(), 830);
    QCOMPARE(form.height() - form.menuBar()->height(), 539);
    QVERIFY(form.toolBar()->isVisible());
    QVERIFY(form.toolBar()->geometry().top() >= form.menuBar()->geometry().bottom());
}

void MainWindowTest::entryTableReadsThroughAccessibility() {
    TMainForm& form = makeForm();
    newDocument(19);
    PackageBase& package = newPackage(PackageType::Calibration);
    fillSections(package);
    form.SelectTab(0);
    form.SelectTab(1);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(form.table());
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Измерения"));
    QAccessibleTableInterface* table = iface->tableInterface();
    QVERIFY(table);
    QCOMPARE(table->rowCount(), 6);
    QCOMPARE(table->columnCount(), form.table()->ColCount());
    const int col = columnOf(package, kVolRef);
    QCOMPARE(table->columnDescription(col), form.table()->Captions(col));
    QAccessibleInterface* cell = table->cellAt(2, col);
    QVERIFY(cell);
    QVERIFY(!cell->text(QAccessible::Name).isEmpty());
    QCOMPARE(cell->text(QAccessible::Name), QString::fromStdString(package.cellText(2, col)));
}

void MainWindowTest::commandErrorsGoToTheConsole() {
    TMainForm& form = makeForm();
    newDocument(19);
    m_script->saveName = path(QStringLiteral("no-such-folder/doc.srv"));
    QVERIFY(!form.ActionSaveExecute());
    QVERIFY(!lastConsoleLine(form).isEmpty());
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    QVERIFY(form.document().isOpen());
    // A Close whose save fails keeps the document.
    m_script->saveAnswer = SaveAnswer::Yes;
    QVERIFY(!form.NCloseClick());
    QVERIFY(form.document().isOpen());
}

void MainWindowTest::helpShowsTheTopics() {
    TMainForm& form = makeForm();
    QVERIFY(!HelpDirectory().isEmpty());
    form.NHelp->trigger();
    QVERIFY(form.help()->window() && form.help()->window()->isVisible());
    QVERIFY(form.help()->window()->currentPage().endsWith(QStringLiteral("/introduction.htm")));
    QVERIFY(!form.help()->window()->browser()->toPlainText().isEmpty());

    // F1 in the window: its own keyword.
    QTest::keyClick(form.table(), Qt::Key_F1);
    QVERIFY(form.help()->window()->currentPage().endsWith(QStringLiteral("/Overview.htm")));
    // A keyword without a page is declined.
    QVERIFY(!form.help()->ShowTopic(QStringLiteral("no_such_topic")));
    QVERIFY(!form.help()->ShowTopic(QStringLiteral("../CMakeLists")));
}

void MainWindowTest::aboutNamesTheVersion() {
    TMainForm& form = makeForm();
    form.NAbout->trigger();
    const QStringList lines = m_script->aboutText.split(QLatin1Char('\n'));
    QVERIFY(lines.size() >= 5);
    QCOMPARE(lines[0], QStringLiteral("Ralvo-Сервис"));
    QCOMPARE(lines[1], QStringLiteral("Версия: ") + QStringLiteral(RVSERVICE_VERSION) + QLatin1Char(' '));
    QVERIFY(QRegularExpression(QStringLiteral("^[A-Z][a-z]{2} [ \\d]\\d \\d{4}$")).match(lines[2]).hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(lines[3]).hasMatch());
}

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
