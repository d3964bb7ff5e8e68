// The RV page through its controls against devsim's simulated RV meter
// (firmware 3.5, address 1, serial 12345678, diameter index 5), alone and
// in the main window.

#include "MainDialogs.h"
#include "MainWindow.h"
#include "RvFrame.h"

#include <QMenu>
#include "components/IntEdit.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/rv/RVx2.h"
#include "document/Entries.h"
#include "document/PackageBase.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include "SimulatedRv.h"
#include "WidgetActions.h"

using namespace widgettest;

namespace {

Locale withSeparator(char c) {
    Locale loc = Locale::current();
    loc.decimalSeparator = c;
    return loc;
}

QString text(QWidget& frame, const char* name) { return child<QLineEdit>(frame, name)->text(); }

}  // namespace

struct RvButtonCase;

class RvFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void namesOfEveryControl();
    void documentAndPageShareTheGrids();
    void openReadsTheMeter();
    void everyButton_data();
    void everyButton();
    void closingStopsThePolling();
    void runFromThePanelsAndEntryInTheMainWindow();
    void silencedMeterRecoversAndVanishedPortReopens();

private:
    // Clicks a control and waits for `count` exchanges of `reg` (none when
    // `reg` is -1); returns the console lines the click added.
    QStringList click(TRVFrame& frame, const char* name, int reg, int count = 1);
    // Waits for `count` handled results of `reg` (any code) within `ms`.
    bool waitFor(TRVFrame& frame, int reg, int count, int ms);
    void open(TRVFrame& frame);
    std::vector<RvButtonCase> buttonCases();

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Devsim> m_devsim;
    std::string m_path;
    int m_portItem = 0;
    Console m_console;
    QStringList m_log;  // every console line of the running test
};

void RvFrameTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    const QString error = widgettest::startSimulatedRv(m_devsim, m_path, m_portItem);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void RvFrameTest::cleanupTestCase() {
    DevicePage::SetErrorBox(nullptr);
    m_devsim.reset();
}

void RvFrameTest::init() {
    widgettest::rememberRvPort(m_dir, m_portItem);
    m_console.clear();
    m_log.clear();
    m_console.setListener([this](const std::string& text) { m_log << QString::fromStdString(text); });
    // A refused action is shown in an error box, as on the other pages.
    DevicePage::SetErrorBox([this](QWidget*, const QString& text) { m_log << QStringLiteral("[error box] ") + text; });
    QCOMPARE(m_devsim->control("rv fault none"), std::string("ok"));
    QCOMPARE(m_devsim->control("rv version 3.5"), std::string("ok"));
}

bool RvFrameTest::waitFor(TRVFrame& frame, int reg, int count, int ms) {
    QSignalSpy spy(&frame, &TRVFrame::resultHandled);
    return QTest::qWaitFor(
        [&] {
            int n = 0;
            for (const QList<QVariant>& r : spy)
                if (r.at(1).toInt() == reg) ++n;
            return n >= count;
        },
        ms);
}

QStringList RvFrameTest::click(TRVFrame& frame, const char* name, int reg, int count) {
    const qsizetype before = m_log.size();
    QSignalSpy spy(&frame, &TRVFrame::resultHandled);
    auto* button = child<QAbstractButton>(frame, name);
    if (!button) return {QStringLiteral("no control ") + QLatin1String(name)};
    button->click();
    if (reg < 0) return m_log.mid(before);  // refused before anything was sent
    // A reply that does not come shows in the lines the caller compares.
    static_cast<void>(QTest::qWaitFor(
        [&] {
            int n = 0;
            for (const QList<QVariant>& r : spy)
                if (r.at(0).toInt() == rv::kExchange && r.at(1).toInt() == reg) ++n;
            return n >= count;
        },
        10000));
    return m_log.mid(before);
}

void RvFrameTest::open(TRVFrame& frame) {
    QSignalSpy spy(&frame, &TRVFrame::resultHandled);
    child<QPushButton>(frame, "OpenPortButton")->click();
    // The open and its seven reads.
    QVERIFY(QTest::qWaitFor([&] { return spy.count() >= 8; }, 15000));
    QCOMPARE(spy.front().at(0).toInt(), rv::kOpenPort);
    QVERIFY(spy.front().at(2).toBool());
}

void RvFrameTest::namesOfEveryControl() {
    RVx2 meter(m_console);
    TRVFrame frame(meter, m_console);
    // The readings tab's controls come with the tab, when it is first shown.
    QVERIFY(!frame.findChild<QObject*>(QStringLiteral("Observation")));
    child<QTabWidget>(frame, "PageControl")->setCurrentWidget(child<QWidget>(frame, "ObservationSheet"));
    QVERIFY(frame.findChild<QObject*>(QStringLiteral("Chart1")));
    for (const char* name :
         {"PortSelectBox", "OpenPortButton", "PortParams", "RxPanel", "TxPanel", "Bit0", "Bit1", "Bit2", "Bit3", "Bit4",
          "Bit5", "Serial", "DuCombo", "Version", "CrcPO", "ReadParam", "Integrator", "NMeasure", "MiddleCode", "Volume",
          "ImpulseVolume", "MiddleNoise", "NoiseSignal", "Advanced_Info", "NetAddress", "GetNetAddr", "SetNetAddr",
          "FlowIntegrator", "GetIntegrator", "SetIntegrator", "Expenditure", "VolumeDir", "VolumeRev", "WorkTime",
          "ClearMeasure", "ImpulseWeight", "Meandr", "ImpulseLen", "ImpulseLenLabel", "PluginCard", "ReverseType",
          "NoFilterThereshold", "ReadImpulseOut", "SetImpulseOut", "CalibrPageControl", "DirectSheet", "CalibrGrid",
          "ReverseSheet", "ReverseCalibrGrid", "LoLimit", "HiLimit", "ReadCalibr", "SetCalibr", "RadioButton1",
          "RadioButton2", "RadioButton3", "RadioButton4", "NoiseCancelStSt", "NoiseStStLabel", "SetStSt",
          "DisableEmptyPipe", "TepCode", "TepNoize", "TepCodeRange", "TepNoizeRange", "TepMeasureCount",
          "TepHysteresis", "ReadTestEmptyPipe", "SetTestEmptyPipe", "CopyTestEmptyPipe", "Observation",
          "ComboPortSpeed", "CSpinAddress", "BitBtnOK"}) {
        QObject* control = frame.findChild<QObject*>(QLatin1String(name));
        QVERIFY2(control, name);
    }
    // A person hears what every control is.
    for (QWidget* w : frame.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QTableWidget*>(w) ||
                             qobject_cast<QSpinBox*>(w);
        if (!control || w->inherits("QTableCornerButton") || w->parent()->inherits("QComboBox") || w->parent()->inherits("QSpinBox") ||
            w->parent()->inherits("QAbstractSpinBox") || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName() + QLatin1String(" ") +
                                                           QLatin1String(w->metaObject()->className())));
    }
    QVERIFY(!frame.initialised());  // no worker, no timer until shown
}

void RvFrameTest::documentAndPageShareTheGrids() {
    ScopedLocale dot(withSeparator('.'));
    auto script = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *script;
    TMainForm form(std::move(script));
    form.show();
    dialogs.code = 0;
    form.ActionNew->trigger();
    auto* frame = qobject_cast<TRVFrame*>(form.devicePage());
    QVERIFY(frame);
    DeviceBase& meter = *form.document().device();

    // Lines from an approximation show in the grids.
    meter.SetLines({{1.5, -0.25, 120.7}, {2.5, 0.75, 500.0}}, 0);
    auto* direct = child<QTableWidget>(*frame, "CalibrGrid");
    QCOMPARE(direct->item(0, 0)->text(), QStringLiteral("120"));
    QCOMPARE(direct->item(1, 0)->text(), QStringLiteral("9999999"));
    QCOMPARE(direct->item(1, 1)->text(), QStringLiteral("2.5"));
    meter.SetLines({{1.5, -0.25, 120.7}}, 1);
    QCOMPARE(child<QTableWidget>(*frame, "ReverseCalibrGrid")->item(0, 1)->text(), QStringLiteral("-1.5"));

    // What is typed on the page is what the document takes.
    direct->item(0, 1)->setText(QStringLiteral("3,25"));
    child<QLineEdit>(*frame, "LoLimit")->setText(QString());
    QTest::keyClicks(child<QLineEdit>(*frame, "LoLimit"), QStringLiteral("0.03"));
    child<QComboBox>(*frame, "DuCombo")->setCurrentIndex(2);
    emit child<QComboBox>(*frame, "DuCombo")->activated(2);
    child<QComboBox>(*frame, "ImpulseWeight")->setEditText(QStringLiteral("0.01"));
    files::Lines lines;
    meter.GetLines(lines);
    QCOMPARE(lines.size(), std::size_t(5));
    QCOMPARE(lines[0].a, 3.25);
    QCOMPARE(meter.PulseWeight(), 0.01);
    QCOMPARE(QString::fromStdString(meter.Name()), QStringLiteral("РВ-2.2-Б"));

    // Saved with the document and shown again when it is opened.
    const QString file = m_dir.filePath(QStringLiteral("rv.srv"));
    dialogs.saveName = file;
    QVERIFY(form.NSaveAsClick());
    QVERIFY(form.NCloseClick());
    QVERIFY(!form.devicePage());
    dialogs.openName = file;
    form.ActionOpen->trigger();
    frame = qobject_cast<TRVFrame*>(form.devicePage());
    QVERIFY(frame);
    QCOMPARE(child<QTableWidget>(*frame, "CalibrGrid")->item(0, 1)->text(), QStringLiteral("3.25"));
    QCOMPARE(child<QTableWidget>(*frame, "ReverseCalibrGrid")->item(0, 1)->text(), QStringLiteral("-1.5"));
    QCOMPARE(child<QLineEdit>(*frame, "LoLimit")->text(), QStringLiteral("0.03"));
    QCOMPARE(child<QComboBox>(*frame, "ImpulseWeight")->currentText(), QStringLiteral("0.01"));
    QCOMPARE(child<QComboBox>(*frame, "DuCombo")->currentText(), QStringLiteral("25"));
    QVERIFY(form.NCloseClick());
}

void RvFrameTest::openReadsTheMeter() {
    ScopedLocale comma(withSeparator(','));
    RVx2 meter(m_console);
    TRVFrame frame(meter, m_console);
    frame.resize(826, 420);
    frame.show();
    auto* portBox = child<QComboBox>(frame, "PortSelectBox");
    QCOMPARE(portBox->currentIndex(), m_portItem);
    open(frame);
    QCOMPARE(child<QPushButton>(frame, "OpenPortButton")->text(), QStringLiteral("Закрыть"));
    QVERIFY(!portBox->isEnabled());
    QVERIFY(!child<QPushButton>(frame, "PortParams")->isEnabled());
    {
        RegKey key;
        key.Open();
        QCOMPARE(key.ReadInt("RvComPort", -1), m_portItem);
    }
    // The opening chain.
    QTRY_COMPARE_WITH_TIMEOUT(text(frame, "CrcPO"), QStringLiteral("0xA55A"), 5000);
    QCOMPARE(text(frame, "Version"), QStringLiteral("3.5"));
    QCOMPARE(text(frame, "Serial"), QStringLiteral("012345678"));
    QCOMPARE(child<QComboBox>(frame, "DuCombo")->currentText(), QStringLiteral("50"));
    QCOMPARE(child<QComboBox>(frame, "ImpulseWeight")->currentText(), QStringLiteral("0,001"));
    QCOMPARE(child<TIntEdit>(frame, "ImpulseLen")->Value(), 10);
    QCOMPARE(child<QLabel>(frame, "ImpulseLenLabel")->text(), QStringLiteral("8 мс"));
    QCOMPARE(child<QComboBox>(frame, "PluginCard")->currentIndex(), 0);
    QVERIFY(!child<QComboBox>(frame, "ReverseType")->isHidden());
    auto* direct = child<QTableWidget>(frame, "CalibrGrid");
    QCOMPARE(direct->item(0, 0)->text(), QStringLiteral("2000"));
    QCOMPARE(direct->item(0, 1)->text(), QStringLiteral("0,0001"));
    QCOMPARE(direct->item(4, 0)->text(), QString());
    QCOMPARE(text(frame, "LoLimit"), QStringLiteral("0,05"));
    QCOMPARE(text(frame, "HiLimit"), QStringLiteral("30"));
    QCOMPARE(child<TIntEdit>(frame, "FlowIntegrator")->Value(), 10);
    QCOMPARE(text(frame, "TepCode"), QStringLiteral("1000"));
    QVERIFY(child<QTabWidget>(frame, "CalibrPageControl")->isTabVisible(1));
    QStringList expected = {QStringLiteral("Системные параметры считаны"),
                            QStringLiteral("Параметы внешних выходов считаны"),
                            QStringLiteral("Калибровочные коэффициенты успешно считаны"),
                            QStringLiteral("Сетевой адрес считан"), QStringLiteral("Интегратор расхода адрес считан"),
                            QStringLiteral("Параметры теста пустой трубы считаны")};
    QCOMPARE(m_log, expected);
}

// One button of the open page: what is done before the click, the register
// whose exchange ends it (-1: refused before anything is sent), the console
// lines it adds, and what is checked afterwards (some rows read back what
// they wrote with a second click). The meter keeps what a row writes.
struct RvButtonCase {
    const char* name;
    std::function<void(TRVFrame&)> prepare;
    const char* button;
    int reg;
    QStringList lines;
    std::function<void(TRVFrame&)> check;
    bool linesBegin = false;  // the lines only begin so (the rest comes from the meter's clock)
};

std::vector<RvButtonCase> RvFrameTest::buttonCases() {
    const auto grid = [](TRVFrame& f, const char* name) { return child<QTableWidget>(f, name); };
    const auto type = [](TRVFrame& f, const char* name, const QString& value) {
        auto* edit = child<QLineEdit>(f, name);
        edit->setText(QString());
        QTest::keyClicks(edit, value);
    };
    return {
        {"ReadCalibr reads both tables of a 3.5 meter", {}, "ReadCalibr", rv::RegReverseCalibration,
         {QStringLiteral("Калибровочные коэффициенты успешно считаны"),
          QStringLiteral("Реверсивные калибровочные коэффициенты успешно считаны")},
         {}},
        {"SetCalibr writes the direct table",
         [=](TRVFrame& f) { grid(f, "CalibrGrid")->item(0, 1)->setText(QStringLiteral("0,5")); }, "SetCalibr",
         rv::RegCalibration, {QStringLiteral("Калибровочные коэффициенты установлены")},
         [=, this](TRVFrame& f) {
             grid(f, "CalibrGrid")->item(0, 1)->setText(QStringLiteral("7"));
             click(f, "ReadCalibr", rv::RegReverseCalibration);
             QCOMPARE(grid(f, "CalibrGrid")->item(0, 1)->text(), QStringLiteral("0,5"));
         }},
        {"SetCalibr writes the reverse table while its tab is shown",
         [=](TRVFrame& f) {
             child<QTabWidget>(f, "CalibrPageControl")->setCurrentIndex(1);
             grid(f, "ReverseCalibrGrid")->item(1, 2)->setText(QStringLiteral("-2,5"));
         },
         "SetCalibr", rv::RegReverseCalibration,
         {QStringLiteral("Реверсивные калибровочные коэффициенты установлены")},
         [=, this](TRVFrame& f) {
             grid(f, "ReverseCalibrGrid")->item(1, 2)->setText(QString());
             click(f, "ReadCalibr", rv::RegReverseCalibration);
             QCOMPARE(grid(f, "ReverseCalibrGrid")->item(1, 2)->text(), QStringLiteral("-2,5"));
         }},
        {"ReadParam", {}, "ReadParam", rv::RegFirmwareSum, {QStringLiteral("Системные параметры считаны")}, {}},
        {"Advanced_Info reads the work time", {}, "Advanced_Info", rv::RegWorkTime,
         {QStringLiteral("Время непрерывной работы 1 суток 1 часов")}, {}, true},
        {"SetNetAddr", {}, "SetNetAddr", rv::RegAddress, {QStringLiteral("Сетевой адрес установлен")}, {}},
        {"GetNetAddr", {}, "GetNetAddr", rv::RegAddress, {QStringLiteral("Сетевой адрес считан")},
         [](TRVFrame& f) { QCOMPARE(child<TIntEdit>(f, "NetAddress")->Value(), 1); }},
        {"SetIntegrator writes what GetIntegrator reads back",
         [](TRVFrame& f) { f.controller()->flowIntegrator().setValue(20); }, "SetIntegrator", rv::RegIntegrator,
         {QStringLiteral("Интегратор расхода установлен")},
         [this](TRVFrame& f) {
             f.controller()->flowIntegrator().setValue(3);
             QCOMPARE(click(f, "GetIntegrator", rv::RegIntegrator),
                      QStringList{QStringLiteral("Интегратор расхода адрес считан")});
             QCOMPARE(child<TIntEdit>(f, "FlowIntegrator")->Value(), 20);
         }},
        {"SetStSt", [](TRVFrame& f) { child<QAbstractButton>(f, "RadioButton3")->click(); }, "SetStSt",
         rv::RegStartStop, {QStringLiteral("Параметры сигнала старт-стоп установлены")}, {}},
        {"ClearMeasure", {}, "ClearMeasure", rv::RegClearCurrent, {QStringLiteral("Текущие параметры обнулены")}, {}},
        {"SetTestEmptyPipe refuses a field that is not an integer",
         [=](TRVFrame& f) { type(f, "TepCode", QStringLiteral("12,5")); }, "SetTestEmptyPipe", -1,
         {QStringLiteral("Неверные настройки теста пустой трубы")}, {}},
        {"SetTestEmptyPipe writes what ReadTestEmptyPipe reads back",
         [=](TRVFrame& f) {
             type(f, "TepCode", QStringLiteral("1234"));
             child<QCheckBox>(f, "DisableEmptyPipe")->setChecked(false);
             child<QCheckBox>(f, "DisableEmptyPipe")->click();
         },
         "SetTestEmptyPipe", rv::RegEmptyPipe, {QStringLiteral("Параметры теста пустой трубы установлены")},
         [this](TRVFrame& f) {
             child<QLineEdit>(f, "TepCode")->setText(QStringLiteral("1"));
             QCOMPARE(click(f, "ReadTestEmptyPipe", rv::RegEmptyPipe),
                      QStringList{QStringLiteral("Параметры теста пустой трубы считаны")});
             QCOMPARE(child<QLineEdit>(f, "TepCode")->text(), QStringLiteral("1234"));
             QVERIFY(child<QCheckBox>(f, "DisableEmptyPipe")->isChecked());
         }},
        // The meander halves the weight on the wire; reading back shows the
        // counted weight.
        {"SetImpulseOut with the meander",
         [](TRVFrame& f) {
             child<QCheckBox>(f, "Meandr")->setChecked(false);
             child<QCheckBox>(f, "Meandr")->click();
             QVERIFY(!child<TIntEdit>(f, "ImpulseLen")->isEnabled());
             QCOMPARE(child<QLabel>(f, "ImpulseLenLabel")->text(), QString());
         },
         "SetImpulseOut", rv::RegOutputs, {QStringLiteral("Параметры внещних выходов установлены")},
         [this](TRVFrame& f) {
             child<QCheckBox>(f, "Meandr")->click();
             QCOMPARE(click(f, "ReadImpulseOut", rv::RegOutputs),
                      QStringList{QStringLiteral("Параметы внешних выходов считаны")});
             QVERIFY(child<QCheckBox>(f, "Meandr")->isChecked());
             QCOMPARE(child<QComboBox>(f, "ImpulseWeight")->currentText(), QStringLiteral("0,001"));
         }},
        {"SetImpulseOut refuses a weight that is not a number",
         [](TRVFrame& f) { child<QComboBox>(f, "ImpulseWeight")->setEditText(QStringLiteral("abc")); },
         "SetImpulseOut", -1, {QStringLiteral("[error box] Необходимо указать цену импульса")}, {}},
        // A 2.1 meter hides the reverse mode; the reverse table stays.
        {"ReadParam of a 2.1 meter",
         [this](TRVFrame&) { QCOMPARE(m_devsim->control("rv version 2.1"), std::string("ok")); }, "ReadParam",
         rv::RegFirmwareSum, {QStringLiteral("Системные параметры считаны")},
         [](TRVFrame& f) {
             QCOMPARE(text(f, "Version"), QStringLiteral("2.1"));
             QVERIFY(child<QComboBox>(f, "ReverseType")->isHidden());
             QVERIFY(child<QTabWidget>(f, "CalibrPageControl")->isTabVisible(1));
         }},
    };
}

void RvFrameTest::everyButton_data() {
    QTest::addColumn<int>("row");
    const std::vector<RvButtonCase> cases = buttonCases();
    for (std::size_t i = 0; i < cases.size(); ++i) QTest::newRow(cases[i].name) << static_cast<int>(i);
}

void RvFrameTest::everyButton() {
    QFETCH(int, row);
    const RvButtonCase c = buttonCases()[static_cast<std::size_t>(row)];
    ScopedLocale comma(withSeparator(','));
    RVx2 meter(m_console);
    TRVFrame frame(meter, m_console);
    frame.resize(826, 420);
    frame.show();
    open(frame);
    // The opening chain ends with the empty-pipe read.
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(QStringLiteral("Параметры теста пустой трубы считаны")), 5000);
    m_log.clear();

    if (c.prepare) c.prepare(frame);
    if (QTest::currentTestFailed()) return;
    const QStringList lines = click(frame, c.button, c.reg);
    if (c.linesBegin) {
        QCOMPARE(lines.size(), c.lines.size());
        for (qsizetype i = 0; i < lines.size(); ++i) QVERIFY2(lines[i].startsWith(c.lines[i]), qPrintable(lines[i]));
    } else {
        QCOMPARE(lines, c.lines);
    }
    if (c.check) c.check(frame);
}

// Closing the port stops the polling. Rather than waiting to see that
// nothing comes, the page's timer is made to run a whole poll period at
// once; a request of the user then fails on the closed port, and its result
// must be the only one since the close: results come in the order posted.
void RvFrameTest::closingStopsThePolling() {
    RVx2 meter(m_console);
    TRVFrame frame(meter, m_console);
    frame.show();
    open(frame);
    // The readings tab, and its check box, come when the tab is first shown.
    child<QTabWidget>(frame, "PageControl")->setCurrentWidget(child<QWidget>(frame, "ObservationSheet"));
    child<QCheckBox>(frame, "Observation")->setChecked(true);
    QVERIFY(waitFor(frame, rv::RegObservation, 1, 5000));

    QSignalSpy closed(&frame, &TRVFrame::resultHandled);
    child<QPushButton>(frame, "OpenPortButton")->click();
    // A poll queued before the close may finish first.
    QVERIFY(QTest::qWaitFor([&] { return !closed.isEmpty() && closed.back().at(0).toInt() == rv::kClosePort; }, 5000));
    QCOMPARE(child<QPushButton>(frame, "OpenPortButton")->text(), QStringLiteral("Открыть"));
    QVERIFY(child<QComboBox>(frame, "PortSelectBox")->isEnabled());

    QSignalSpy after(&frame, &TRVFrame::resultHandled);
    for (int tick = 0; tick < rv::RvPageController::kSystemPollTicks; ++tick) frame.controller()->SystemTimerTimer();
    child<QPushButton>(frame, "GetNetAddr")->click();
    QVERIFY(QTest::qWaitFor([&] { return !after.isEmpty(); }, 5000));
    QCOMPARE(after.count(), 1);
    QCOMPARE(after.front().at(1).toInt(), static_cast<int>(rv::RegAddress));
    QVERIFY(!after.front().at(2).toBool());
}

void RvFrameTest::runFromThePanelsAndEntryInTheMainWindow() {
    auto script = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *script;
    TMainForm form(std::move(script));
    form.show();
    dialogs.code = 0;
    form.ActionNew->trigger();
    auto* frame = qobject_cast<TRVFrame*>(form.devicePage());
    QVERIFY(frame);
    QVERIFY(frame->isVisible());
    QVERIFY(!form.ActionNewEntryReadCode->isEnabled());  // no package tab
    QSignalSpy results(frame, &TRVFrame::resultHandled);
    child<QPushButton>(*frame, "OpenPortButton")->click();
    QVERIFY(QTest::qWaitFor([&] { return results.count() >= 8; }, 15000));
    QTRY_COMPARE_WITH_TIMEOUT(text(*frame, "Version"), QStringLiteral("3.5"), 5000);
    // A reversible meter of 50 mm with gпор 0,05 (below 0,1): class А.
    QCOMPARE(QString::fromStdString(form.document().device()->Name()), QStringLiteral("РВ-Р-2.2-А"));
    // The device tab and its "Страницы" item follow the name read.
    QTRY_COMPARE_WITH_TIMEOUT(form.tabBar()->tabText(0), QStringLiteral("РВ-Р-2.2-А"), 5000);
    QCOMPARE(form.pagesMenu()->actions().value(0)->text(), QStringLiteral("РВ-Р-2.2-А"));
    QCOMPARE(form.TabCaptions()[0], QStringLiteral("РВ-Р-2.2-А"));

    // Reset the counter at the start, then start a run from the panel.
    auto* bit0 = child<QPushButton>(*frame, "Bit0");
    auto* bit1 = child<QPushButton>(*frame, "Bit1");
    click(*frame, "Bit1", rv::RegStatus);  // the window's console is the form's own
    QCOMPARE(frame->controller()->statusLamp(1), rv::RvPageController::Lamp::Olive);
    QVERIFY(bit1->styleSheet().contains(QStringLiteral("128,128,0")));
    click(*frame, "Bit0", rv::RegStatus);
    QCOMPARE(frame->controller()->statusLamp(0), rv::RvPageController::Lamp::Olive);
    QVERIFY(bit0->styleSheet().contains(QStringLiteral("128,128,0")));

    // The current values grow with the run.
    QVERIFY(waitFor(*frame, rv::RegCurrent, 1, 5000));
    const int first = text(*frame, "ImpulseVolume").toInt();
    QVERIFY(waitFor(*frame, rv::RegCurrent, 1, 5000));
    const int second = text(*frame, "ImpulseVolume").toInt();
    QVERIFY2(second > first, qPrintable(QStringLiteral("%1 -> %2").arg(first).arg(second)));
    QVERIFY(text(*frame, "NMeasure").toInt() > 0);
    QCOMPARE(text(*frame, "MiddleCode"), QStringLiteral("12000"));
    QCOMPARE(text(*frame, "Expenditure").replace(QLatin1Char(','), QLatin1Char('.')), QStringLiteral("1.5"));
    QVERIFY(!text(*frame, "WorkTime").isEmpty());

    // Stop the run; the values stay.
    click(*frame, "Bit0", rv::RegStatus);
    QCOMPARE(frame->controller()->statusLamp(0), rv::RvPageController::Lamp::Off);
    QVERIFY(waitFor(*frame, rv::RegCurrent, 1, 5000));
    const int counter = text(*frame, "ImpulseVolume").toInt();
    QVERIFY(counter >= second);

    // "Ввод из РВ": a new entry with the mean code and the pulse counter.
    form.ActionNewPackage->trigger();
    QVERIFY(form.ActionNewEntryReadCode->isEnabled());
    PackageBase& package = *form.document().packages().back();
    form.ActionNewEntryReadCode->trigger();
    QCOMPARE(package.entryCount(), 1);
    double code = 0;
    std::int32_t pulses = 0;
    QVERIFY(package.getField(0, kCode, &code));
    QVERIFY(package.getField(0, kPulses2, &pulses));
    QCOMPARE(code, 12000.0);
    QCOMPARE(pulses, counter);
    QVERIFY(form.NCloseClick());
    QVERIFY(!form.devicePage());
}

void RvFrameTest::silencedMeterRecoversAndVanishedPortReopens() {
    RVx2 meter(m_console);
    TRVFrame frame(meter, m_console);
    frame.show();
    open(frame);
    QVERIFY(waitFor(frame, rv::RegCurrent, 1, 5000));
    m_log.clear();

    // Silent mid-poll: the polls fail quietly, a request of the user is
    // reported once.
    QCOMPARE(m_devsim->control("rv fault silent"), std::string("ok"));
    QTest::qWait(3500);
    QVERIFY(m_log.isEmpty());
    QCOMPARE(click(frame, "GetNetAddr", rv::RegAddress), QStringList{QStringLiteral("Прибор не отвечает")});
    QCOMPARE(m_devsim->control("rv fault none"), std::string("ok"));
    frame.controller()->live().nMeasure.clear();
    QVERIFY(waitFor(frame, rv::RegCurrent, 1, 5000));
    QTRY_VERIFY_WITH_TIMEOUT(!text(frame, "NMeasure").isEmpty(), 3000);
    QCOMPARE(click(frame, "GetNetAddr", rv::RegAddress), QStringList{QStringLiteral("Сетевой адрес считан")});

    // The line drops in the middle of an answer and devsim puts a fresh line
    // behind the same link at once: the page says so once, reopens the port
    // by itself, goes on polling, and the user's next request works.
    QCOMPARE(m_devsim->control("rv fault hangup"), std::string("ok"));
    const QStringList gone = click(frame, "GetIntegrator", rv::RegIntegrator);
    QCOMPARE(m_devsim->control("rv fault none"), std::string("ok"));
    QCOMPARE(gone, QStringList{QStringLiteral("Порт отключён: ") + QString::fromStdString(m_path)});
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(QStringLiteral("Порт снова подключён")), 5000);
    QCOMPARE(m_log.count(QStringLiteral("Порт отключён: ") + QString::fromStdString(m_path)), 1);
    QCOMPARE(child<QPushButton>(frame, "OpenPortButton")->text(), QStringLiteral("Закрыть"));
    frame.controller()->live().nMeasure.clear();
    QVERIFY(waitFor(frame, rv::RegCurrent, 1, 5000));
    QTRY_VERIFY_WITH_TIMEOUT(!text(frame, "NMeasure").isEmpty(), 3000);
    QCOMPARE(click(frame, "GetIntegrator", rv::RegIntegrator),
             QStringList{QStringLiteral("Интегратор расхода адрес считан")});
}

QTEST_MAIN(RvFrameTest)
#include "RvFrameTest.moc"
