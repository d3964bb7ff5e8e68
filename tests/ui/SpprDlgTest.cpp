// The Nivor dialog against devsim's instrument: measurements in each stop
// mode taken into packages of the main window, a stop in the middle, an
// instrument that falls silent, the settings rules and the voltage colours.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <algorithm>
#include <memory>
#include <optional>

#include "MainWindow.h"
#include "SpprDlg.h"
#include "common/Console.h"
#include "common/Locale.h"
#include "components/FloatEdit.h"
#include "components/GoodTable.h"
#include "components/IntEdit.h"
#include "components/DisComboBox.h"
#include "comprt/ComPort.h"
#include "devices/nivor/SpprController.h"
#include "document/Entries.h"
#include "document/PackageBase.h"
#include "link/RegKey.h"
#include "support/Devsim.h"
#include "support/ScriptedDialogs.h"

#include "WidgetActions.h"

using widgettest::choose;
using widgettest::type;

namespace {

constexpr int kDornCode = 8;  // a Dorn model with a pulse output
constexpr int kMeasureTimeout = 15000;

void chooseText(QComboBox* box, const QString& text) {
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    choose(box, index);
}

QStringList items(const QComboBox* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->itemText(i);
    return out;
}

double field(const PackageBase& package, int row, int id) {
    const std::optional<FieldValue> v = package.fieldValue(row, id);
    if (!v) return -1e300;
    return std::visit([](auto x) { return static_cast<double>(x); }, *v);
}

using testsupport::ScriptedDialogs;

}  // namespace

class SpprDlgTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void measurementsGoIntoThePackagesOfTheSelectedTab();
    void stopInTheMiddleAndThePortRemembered();
    void silentInstrumentIsReportedAndTheDialogStaysUsable();
    void unpluggedInstrumentIsWaitedForAndTheMeasurementGoesOn();
    void modeRules_data();
    void modeRules();
    void pulseInputIsRememberedAcrossModes();
    void inputListsExcludeEachOther();
    void temperatureChannelDecidesWhoWritesTheTemperature();
    void voltageColours();
    void everyControlIsNamed();

private:
    // A dialog on its own, its port opened when `open`.
    std::unique_ptr<TSpprDlg> makeDialog(bool open);
    // Starts a measurement and waits until one poll has shown data.
    void startAndWaitForData(TSpprDlg& dialog);

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Devsim> m_devsim;
    int m_portItem = 0;
    Console m_console;
    QStringList m_lines;
    QStringList m_errorBoxes;
    std::optional<ScopedLocale> m_locale;
};

void SpprDlgTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_devsim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, std::vector<std::string>{"--only", "nivor"});
    const std::string path = m_devsim->path("nivor");
    qputenv("RVSERVICE_PORTS", QByteArray::fromStdString("/nonexistent/pty:" + path));
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList());
    const std::vector<std::string>& names = comprt::ComPort::PortList().Names();
    const auto found = std::find(names.begin(), names.end(), path);
    QVERIFY(found != names.end());
    m_portItem = static_cast<int>(found - names.begin()) + 1;
    m_console.setListener([this](const std::string& text) { m_lines << QString::fromStdString(text); });
    TSpprDlg::SetErrorBox([this](QWidget*, const QString& text) { m_errorBoxes << text; });
    // The regional separator of the panels is the user's: "," here.
    Locale locale;
    locale.decimalSeparator = ',';
    m_locale.emplace(locale);
}

void SpprDlgTest::init() {
    RegKey::SetFileLocation(
        m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction())).toStdString());
    m_console.clear();
    m_lines.clear();
    m_errorBoxes.clear();
    for (const char* command : {"nivor fault none", "nivor voltage 20", "nivor temp1 20", "nivor temp2 21"})
        QCOMPARE(QString::fromStdString(m_devsim->control(command)), QStringLiteral("ok"));
}

void SpprDlgTest::cleanup() { RegKey::SetFileLocation({}); }

void SpprDlgTest::cleanupTestCase() {
    TSpprDlg::SetErrorBox(nullptr);
    m_devsim.reset();
    m_locale.reset();
}

std::unique_ptr<TSpprDlg> SpprDlgTest::makeDialog(bool open) {
    auto dialog = std::make_unique<TSpprDlg>(m_console);
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->show();
    // The port stored for the dialog ("-------" here) is opened first.
    [&] { QTRY_VERIFY(!dialog->busy()); }();
    if (open) {
        choose(dialog->cbPort(), m_portItem);
        [&] { QTRY_VERIFY(!dialog->busy()); }();
    }
    return dialog;
}

void SpprDlgTest::startAndWaitForData(TSpprDlg& dialog) {
    dialog.bnStart()->click();
    QTRY_VERIFY2_WITH_TIMEOUT(dialog.controller().measuring() && !dialog.busy(), qPrintable(m_lines.join('|')),
                              kMeasureTimeout);
    QVERIFY(dialog.bnStop()->isEnabled());
    QVERIFY(!dialog.bnStart()->isEnabled());
    QVERIFY(!dialog.cbPort()->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog.pntq()->text().isEmpty(), kMeasureTimeout);
}

// ---------------------------------------------------------------- through the main window

void SpprDlgTest::measurementsGoIntoThePackagesOfTheSelectedTab() {
    auto script = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *script;
    dialogs.code = kDornCode;
    TMainForm form(std::move(script));
    form.show();
    QVERIFY(!form.ActionNewEntryNIV->isEnabled());  // no document
    form.ActionNew->trigger();
    QVERIFY(form.ActionNewEntryNIV->isEnabled());
    QCOMPARE(form.ActionNewEntryNIV->shortcut(), QKeySequence(QStringLiteral("Ctrl+I")));
    form.ActionNewPackage->trigger();
    QCOMPARE(form.CurrentTab(), 1);
    PackageBase& volume = *form.document().packages().back();

    form.ActionNewEntryNIV->trigger();
    TSpprDlg* dialog = form.spprDialog();
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QVERIFY(dialog->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(dialog->windowTitle(), QStringLiteral("НИВ-2.3"));
    QCOMPARE(dialog->lbVolMass()->text(), QStringLiteral("Vэт, л:"));
    QVERIFY(dialog->edVolMass()->isVisible());
    QTRY_VERIFY(!dialog->busy());
    choose(dialog->cbPort(), m_portItem);
    QTRY_VERIFY(!dialog->busy());
    QCOMPARE(dialog->controller().port(), m_portItem);

    // Time stop of 0.5 s, N2 from input 3, sensor 1 at 20 °C at the start
    // and 22 °C at the stop.
    type(dialog->edTime(), QStringLiteral("0,5"));
    chooseText(dialog->cbChannel2(), QStringLiteral("3"));
    dialog->bnStart()->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor temp1 22")), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QCOMPARE(dialog->pntq()->text(), QStringLiteral("0,500"));
    QCOMPARE(dialog->pnN1()->text(), QStringLiteral("500"));
    QCOMPARE(dialog->pnt1()->text(), QStringLiteral("0,500"));
    QCOMPARE(dialog->pnN2()->text(), QStringLiteral("125"));
    QCOMPARE(dialog->pnU()->text(), QStringLiteral("7,74 В"));
    QVERIFY(qAbs(dialog->pnTemp()->Value() - 21.0) < 0.05);  // the mean of start and stop
    QVERIFY(dialog->bnToPackage()->isEnabled());
    QVERIFY(dialog->bnStart()->isEnabled());
    QVERIFY(!dialog->bnStop()->isEnabled());

    type(dialog->edVolMass(), QStringLiteral("0,5"));
    dialog->bnToPackage()->click();
    QCOMPARE(volume.entryCount(), 1);
    QCOMPARE(form.table()->RowCount(), 1);
    QCOMPARE(field(volume, 0, kTimeRef), 0.5);
    QCOMPARE(field(volume, 0, kPulses1), 500.0);
    QCOMPARE(field(volume, 0, kTime1), 0.5);
    QCOMPARE(field(volume, 0, kPulses2), 125.0);
    QCOMPARE(field(volume, 0, kT), dialog->pnTemp()->Value());
    QCOMPARE(field(volume, 0, kVolRef), 0.5);
    // Computed at once: flow 3.6 · 0.5 l / 0.5 s, frequency (500 - 1) / 0.5 s.
    QVERIFY(qAbs(field(volume, 0, kFlowRef) - 3.6) < 1e-9);
    QVERIFY(qAbs(field(volume, 0, kFreq) - 998.0) < 1e-9);
    QVERIFY(m_lines.isEmpty());

    // The device tab has no package: nothing to add to.
    form.SelectTab(0);
    QVERIFY(!dialog->bnToPackage()->isEnabled());
    QVERIFY(!dialog->lbVolMass()->isVisible());

    // A package by the reference meter becomes the target when its tab is
    // selected: a pulse stop on input 2 with sensor 2.
    dialogs.package = NewPackageChoice{PackageType::Calibration, Method::Reference};
    form.ActionNewPackage->trigger();
    QCOMPARE(form.CurrentTab(), 2);
    PackageBase& reference = *form.document().packages().back();
    QCOMPARE(dialog->lbVolMass()->text(), QStringLiteral("gэт, м3/ч:"));
    chooseText(dialog->cbMode(), QStringLiteral("Остановка по импульсам"));
    chooseText(dialog->cbChannel(), QStringLiteral("2"));
    type(dialog->edPulses(), QStringLiteral("100"));
    chooseText(dialog->cbTempCh(), QStringLiteral("ТСП 2"));
    dialog->bnStart()->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QCOMPARE(dialog->pnN1()->text(), QStringLiteral("200"));  // input 1 counts twice as fast
    QCOMPARE(dialog->pnN2()->text(), QStringLiteral("50"));   // input 3 at 250 Hz
    type(dialog->edVolMass(), QStringLiteral("1,8"));
    dialog->bnToPackage()->click();
    QCOMPARE(reference.entryCount(), 1);
    QCOMPARE(volume.entryCount(), 1);
    QCOMPARE(form.table()->RowCount(), 1);
    const double tq = 819 / 4096.0;  // 0.2 s in whole ticks
    QCOMPARE(field(reference, 0, kTimeRef), tq);
    QCOMPARE(field(reference, 0, kPulses1), 200.0);
    QCOMPARE(field(reference, 0, kFlowRef), 1.8);
    // The instrument's codes resolve about 0.06 °C.
    QVERIFY2(qAbs(field(reference, 0, kT) - 21.0) < 0.05, qPrintable(QString::number(field(reference, 0, kT))));
    // The reference volume follows from the flow: 1.8 m³/h over tq.
    QVERIFY(qAbs(field(reference, 0, kVolRef) - tq * 1.8 / 3.6) < 1e-9);

    // Closing the document leaves the dialog without a target.
    form.NCloseClick();
    QVERIFY(!dialog->bnToPackage()->isEnabled());
    dialog->close();
    QTRY_VERIFY(!form.spprDialog());
}

// ---------------------------------------------------------------- the dialog alone

void SpprDlgTest::stopInTheMiddleAndThePortRemembered() {
    auto dialog = makeDialog(true);
    type(dialog->edTime(), QStringLiteral("60"));
    startAndWaitForData(*dialog);
    dialog->bnStop()->click();
    QVERIFY(dialog->busy());
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    const double tq = dialog->controller().tq();
    QVERIFY2(tq > 0.5 && tq < 10.0, qPrintable(QString::number(tq)));
    QVERIFY(dialog->bnStart()->isEnabled());
    QVERIFY(!dialog->bnStop()->isEnabled());
    QVERIFY(m_lines.isEmpty());
    dialog.reset();

    RegKey key;
    key.Open();
    QCOMPARE(key.ReadInt("SpprComPort", -1), m_portItem);
    // The next dialog opens the remembered port by itself.
    auto again = makeDialog(false);
    QCOMPARE(again->cbPort()->currentIndex(), m_portItem);
    QTRY_VERIFY(!again->busy());
    QCOMPARE(again->controller().port(), m_portItem);
}

void SpprDlgTest::silentInstrumentIsReportedAndTheDialogStaysUsable() {
    auto dialog = makeDialog(true);
    type(dialog->edTime(), QStringLiteral("60"));
    startAndWaitForData(*dialog);
    QTRY_VERIFY(!dialog->pnU()->text().isEmpty());

    QCOMPARE(QString::fromStdString(m_devsim->control("nivor fault silent")), QStringLiteral("ok"));
    // Failed polls say nothing in the console; the voltage goes blank.
    QTRY_VERIFY_WITH_TIMEOUT(dialog->pnU()->text().isEmpty(), kMeasureTimeout);
    QVERIFY(m_lines.isEmpty());
    QVERIFY(dialog->controller().measuring());

    // The temperature and the stop that goes without it both fail, each
    // saying why; the measurement is still running.
    dialog->bnStop()->setFocus();
    dialog->bnStop()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->busy(), kMeasureTimeout);
    QCOMPARE(m_lines, QStringList(2, QStringLiteral("Прибор не отвечает")));
    QVERIFY(dialog->controller().measuring());
    QVERIFY(dialog->bnStop()->isEnabled());
    QCOMPARE(QApplication::focusWidget(), dialog->bnStop());  // given back

    // The instrument answers again: the polls go on and the stop works.
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor fault none")), QStringLiteral("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->pnU()->text().isEmpty(), kMeasureTimeout);
    dialog->bnStop()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QVERIFY(dialog->bnStart()->isEnabled());
    QCOMPARE(m_lines.size(), 2);
    QVERIFY(m_errorBoxes.isEmpty());
}

void SpprDlgTest::unpluggedInstrumentIsWaitedForAndTheMeasurementGoesOn() {
    auto dialog = makeDialog(true);
    type(dialog->edTime(), QStringLiteral("60"));
    startAndWaitForData(*dialog);
    QTRY_VERIFY(!dialog->pnU()->text().isEmpty());

    // The adapter is pulled out: a poll meets it, the dialog says so once,
    // polls nothing more and offers neither start nor stop.
    const QString gone = QStringLiteral("Порт отключён: ") + QString::fromStdString(m_devsim->path("nivor"));
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor vanish")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(m_lines, QStringList{gone}, kMeasureTimeout);
    QVERIFY(!dialog->bnStop()->isEnabled());
    QVERIFY(!dialog->bnStart()->isEnabled());
    QTest::qWait(2500);
    QCOMPARE(m_lines, QStringList{gone});

    // Back: the port opens by itself, the polls go on, the stop works.
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor return")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(m_lines, (QStringList{gone, QStringLiteral("Порт снова подключён")}), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->pnU()->text().isEmpty(), kMeasureTimeout);
    QVERIFY(dialog->bnStop()->isEnabled());
    dialog->bnStop()->click();
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QCOMPARE(m_lines.size(), 2);
    QVERIFY(m_errorBoxes.isEmpty());
}

void SpprDlgTest::modeRules_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("channel");
    QTest::newRow("time") << "Остановка по времени" << "Длит. измерения, сек:" << "edTime" << false;
    QTest::newRow("pulses") << "Остановка по импульсам" << "Кол-во импульсов:" << "edPulses" << true;
    QTest::newRow("start/stop 1") << "Старт/стоп 1" << "" << "stBlank" << false;
    QTest::newRow("start/stop 2") << "Старт/стоп 2" << "" << "stBlank" << false;
}

void SpprDlgTest::modeRules() {
    QFETCH(QString, mode);
    QFETCH(QString, label);
    QFETCH(QString, field);
    QFETCH(bool, channel);
    auto dialog = makeDialog(false);
    // Away from the mode first, so that choosing it changes something.
    chooseText(dialog->cbMode(), mode == QStringLiteral("Старт/стоп 1") ? QStringLiteral("Остановка по времени")
                                                                        : QStringLiteral("Старт/стоп 1"));
    chooseText(dialog->cbMode(), mode);
    QCOMPARE(dialog->lbCriterion()->text(), label);
    for (QWidget* w : {static_cast<QWidget*>(dialog->edTime()), static_cast<QWidget*>(dialog->edPulses()),
                       static_cast<QWidget*>(dialog->stBlank())})
        QCOMPARE(w->isVisible(), w->objectName() == field);
    QCOMPARE(dialog->cbChannel()->isEnabled(), channel);
    QCOMPARE(dialog->cbChannel()->currentIndex() >= 0, channel);
}

void SpprDlgTest::pulseInputIsRememberedAcrossModes() {
    auto dialog = makeDialog(false);
    chooseText(dialog->cbMode(), QStringLiteral("Остановка по импульсам"));
    QCOMPARE(dialog->cbChannel()->currentText(), QStringLiteral("1"));
    chooseText(dialog->cbChannel(), QStringLiteral("4"));
    chooseText(dialog->cbMode(), QStringLiteral("Старт/стоп 2"));
    QCOMPARE(dialog->cbChannel()->currentIndex(), -1);
    chooseText(dialog->cbMode(), QStringLiteral("Остановка по импульсам"));
    QCOMPARE(dialog->cbChannel()->currentText(), QStringLiteral("4"));
}

void SpprDlgTest::inputListsExcludeEachOther() {
    auto dialog = makeDialog(false);
    QCOMPARE(items(dialog->cbChannel1()), (QStringList{"1", "3", "4"}));
    QCOMPARE(items(dialog->cbChannel2()), (QStringList{"2", "3", "4"}));
    chooseText(dialog->cbChannel1(), QStringLiteral("3"));
    QCOMPARE(items(dialog->cbChannel2()), (QStringList{"1", "2", "4"}));
    QCOMPARE(dialog->cbChannel2()->currentText(), QStringLiteral("2"));
    chooseText(dialog->cbChannel2(), QStringLiteral("1"));
    QCOMPARE(items(dialog->cbChannel1()), (QStringList{"2", "3", "4"}));
    QCOMPARE(dialog->cbChannel1()->currentText(), QStringLiteral("3"));
}

void SpprDlgTest::temperatureChannelDecidesWhoWritesTheTemperature() {
    auto dialog = makeDialog(true);
    QVERIFY(dialog->pnTemp()->ReadOnly());
    QVERIFY(dialog->cbTspType()->isEnabled());
    chooseText(dialog->cbTempCh(), QStringLiteral("Не использовать"));
    QVERIFY(!dialog->pnTemp()->ReadOnly());
    QVERIFY(!dialog->cbTspType()->isEnabled());
    // A start without a sensor keeps the typed temperature.
    type(dialog->pnTemp(), QStringLiteral("18,5"));
    type(dialog->edTime(), QStringLiteral("0,2"));
    dialog->bnStart()->click();
    QTRY_VERIFY_WITH_TIMEOUT(dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(!dialog->controller().measuring() && !dialog->busy(), kMeasureTimeout);
    QCOMPARE(dialog->pnTemp()->Value(), 18.5);
    chooseText(dialog->cbTempCh(), QStringLiteral("ТСП 1"));
    QVERIFY(dialog->pnTemp()->ReadOnly());
    QVERIFY(dialog->cbTspType()->isEnabled());
}

void SpprDlgTest::voltageColours() {
    auto dialog = makeDialog(true);
    const QColor normal = dialog->palette().color(QPalette::WindowText);
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor voltage 16")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(dialog->pnU()->text(), QStringLiteral("6,19 В"), 5000);
    QCOMPARE(dialog->pnU()->palette().color(QPalette::WindowText), QColor(Qt::red));
    QCOMPARE(QString::fromStdString(m_devsim->control("nivor voltage 17")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(dialog->pnU()->text(), QStringLiteral("6,58 В"), 5000);
    QCOMPARE(dialog->pnU()->palette().color(QPalette::WindowText), normal);
}

void SpprDlgTest::everyControlIsNamed() {
    auto dialog = makeDialog(false);
    auto package = CreatePackage(0, std::make_shared<DocumentState>());
    package->method = Method::Mass;
    dialog->SetPackage(package);
    QCOMPARE(dialog->lbVolMass()->text(), QStringLiteral("Mэт, кг:"));
    const char* names[] = {"cbPort",     "pnU",      "cbChannel1", "cbChannel2", "cbMode",  "edTime",
                           "cbChannel",  "cbTempCh", "cbTspType",  "bnStart",    "bnStop",  "pntq",
                           "pnN1",       "pnt1",     "pnN2",       "pnTemp",     "edVolMass", "bnToPackage"};
    for (const char* name : names) {
        auto* w = dialog->findChild<QWidget*>(QString::fromLatin1(name));
        QVERIFY2(w, name);
        QVERIFY2(!w->accessibleName().isEmpty(), name);
    }
    QCOMPARE(dialog->edVolMass()->accessibleName(), QStringLiteral("Mэт, кг"));
    QCOMPARE(dialog->lbVolMass()->buddy(), dialog->edVolMass());
    QVERIFY(dialog->findChild<QTimer*>(QStringLiteral("Timer")));
    QCOMPARE(dialog->timer()->interval(), 1000);
    // A package deleted meanwhile takes no entry.
    package.reset();
    dialog->bnToPackage()->click();
    QVERIFY(m_lines.isEmpty());
}

QTEST_MAIN(SpprDlgTest)
#include "SpprDlgTest.moc"
