// The Kelt page: its controls per model, typed input going into the page
// state, and every request through the window against devsim's Kelt
// transducer with its adapter.

#include "DornFrame.h"
#include "KeltFrame.h"
#include "MainDialogs.h"
#include "MainWindow.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "document/Entries.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>

#include "WidgetActions.h"

using namespace widgettest;

namespace {

Locale withSeparator(char separator) {
    Locale locale = Locale::current();
    locale.decimalSeparator = separator;
    return locale;
}

void writePort(int value) {
    RegKey key;
    key.Open();
    key.WriteInt("KeltComPort", value);
}

int storedPort() {
    RegKey key;
    key.Open();
    return key.ReadInt("KeltComPort", -1);
}

// Values every block layout can hold (block 5 takes A up to about 0.045 and
// boundaries up to about 17000 Hz). The boundaries are ones each layout
// stores exactly: 32768 / 2^k Hz.
constexpr double kA[] = {0.04, 0.035, 0.03, 0.025, 0.02};
constexpr double kB[] = {0.1, 0.05, -0.05, 0.0, 0.02};
constexpr double kF[] = {128, 256, 512, 1024};

}  // namespace

class KeltFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void modelSetup_data();
    void modelSetup();
    void pulseLengthEntry_data();
    void pulseLengthEntry();
    void temperatureCorrectionInDegrees();
    void frequencyOutputDisablesCoefficients();
    void diameterReloadsWeightsAndWeightSetsPulseLength();
    void du20RefusedInAnErrorBox();
    void controlsHaveComponentAndAccessibleNames();

    void throughTheBench_data();
    void throughTheBench();
    void busyTransducerPausesTwelveSeconds();
    void vanishedPortComesBack();
    void documentShowsAndTakesThePageCoefficients();

private:
    // Shows the page and waits for the open request of its first show.
    bool showAndOpen(TKeltFrame& frame);
    // Runs `action` (a click) and waits until the page is idle again; the
    // console lines it wrote.
    QStringList run(TKeltFrame& frame, const std::function<void()>& action, int timeoutMs = 20000);
    QStringList click(TKeltFrame& frame, const char* button) {
        QPushButton* b = child<QPushButton>(frame, button);
        return run(frame, [b] { b->click(); });
    }

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Devsim> m_devsim;
    int m_portItem = 0;  // the simulated port's item in the port selector
    Console m_console;
    QStringList m_lines;
    QStringList m_errorBoxes;
};

void KeltFrameTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_devsim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, std::vector<std::string>{"--only", "kelt"});
    const std::string path = m_devsim->path("kelt");
    // The simulated port joins the machine's ports through the environment,
    // as the program's start builds its list.
    qputenv("RVSERVICE_PORTS", QByteArray::fromStdString("/nonexistent/pty:" + path));
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList());
    const std::vector<std::string>& names = comprt::ComPort::PortList().Names();
    const auto found = std::find(names.begin(), names.end(), path);
    QVERIFY(found != names.end());
    m_portItem = static_cast<int>(found - names.begin()) + 1;  // after "-------"
    m_console.setListener([this](const std::string& text) { m_lines << QString::fromStdString(text); });
    TKeltFrame::SetErrorBox([this](QWidget*, const QString& text) { m_errorBoxes << text; });
}

void KeltFrameTest::cleanupTestCase() {
    TKeltFrame::SetErrorBox(nullptr);
    m_devsim.reset();
}

void KeltFrameTest::init() {
    const QString file = m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction()));
    RegKey::SetFileLocation(file.toStdString());
    m_console.clear();
    m_lines.clear();
    m_errorBoxes.clear();
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt fault none")), QStringLiteral("ok"));
}

void KeltFrameTest::cleanup() { RegKey::SetFileLocation({}); }

bool KeltFrameTest::showAndOpen(TKeltFrame& frame) {
    QSignalSpy results(&frame, &TKeltFrame::resultHandled);
    frame.show();
    if (!frame.initialised()) return false;
    if (results.isEmpty() && !results.wait(10000)) return false;
    return results.front().at(2).toBool() && QTest::qWaitFor([&] { return !frame.busy(); }, 5000);
}

QStringList KeltFrameTest::run(TKeltFrame& frame, const std::function<void()>& action, int timeoutMs) {
    const qsizetype before = m_lines.size();
    action();
    if (!frame.busy()) return {QStringLiteral("<not busy after the click>")};
    if (!QTest::qWaitFor([&] { return !frame.busy(); }, timeoutMs)) return {QStringLiteral("<still busy>")};
    return m_lines.mid(before);
}

// ---- controls per model ------------------------------------------------------------

void KeltFrameTest::modelSetup_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<bool>("segment5");
    QTest::addColumn<bool>("adapter");
    QTest::addColumn<bool>("correction");
    QTest::addColumn<QString>("getT");
    QTest::addColumn<QString>("outTypeLabel");
    QTest::addColumn<QStringList>("outTypes");
    QTest::addColumn<QString>("firstDu");
    QTest::addColumn<int>("nMax");
    QTest::addColumn<double>("boundary");
    QTest::addColumn<bool>("pulseFields");

    const QStringList early{"Импульсный Vp", "Частотный Vf/n"};
    const QStringList later{"Импульсный Vp",  "Частотный Vf",   "Частотный Vf/2",
                            "Частотный Vf/4", "Частотный Vf/8", "Частотный Vf/16"};
    QTest::newRow("model 0: four segments, adapter")
        << 0 << false << true << false << "Считать T" << "Тип выхода:" << early << "20" << 255 << 32768.0 << true;
    QTest::newRow("model 9: direct, T/F") << 9 << true << false << true << "Считать T/F" << "Тип выхода:" << later
                                          << "20" << 255 << 32768.0 << true;
    QTest::newRow("model 11: frequency only, no correction")
        << 11 << true << false << false << "Считать F" << "Тип выхода:" << later << "20" << 255 << 32768.0 << true;
    QTest::newRow("model 13: boundaries at 8192") << 13 << true << false << true << "Считать T" << "Тип выхода:"
                                                  << later << "20" << 255 << 8192.0 << true;
    QTest::newRow("model 18: its own lists") << 18 << true << false << true << "Считать T" << "Тип вывода ЖКИ"
                                             << QStringList{"V", "V/T"} << "15" << 255 << 32768.0 << false;
}

void KeltFrameTest::modelSetup() {
    QFETCH(int, model);
    QFETCH(bool, segment5);
    QFETCH(bool, adapter);
    QFETCH(bool, correction);
    QFETCH(QString, getT);
    QFETCH(QString, outTypeLabel);
    QFETCH(QStringList, outTypes);
    QFETCH(QString, firstDu);
    QFETCH(int, nMax);
    QFETCH(double, boundary);
    QFETCH(bool, pulseFields);

    Kelt kelt(m_console, model);
    TKeltFrame frame(kelt, m_console);
    QVERIFY(!frame.initialised());  // no worker, no port until shown

    for (const char* name : {"lbA5", "edA5", "lbB5", "edB5", "lbF45", "edF45"})
        QCOMPARE(child(frame, name)->isHidden(), !segment5);
    QCOMPARE(child(frame, "gbAdapter")->isHidden(), !adapter);
    QCOMPARE(child(frame, "bnGetU")->isHidden(), !adapter);
    for (const char* name : {"lbOffset", "edOffset", "bnGetT"}) QCOMPARE(child(frame, name)->isHidden(), !correction);
    QCOMPARE(child<QPushButton>(frame, "bnGetT")->text(), getT);
    QCOMPARE(child<QLabel>(frame, "Label1")->text(), outTypeLabel);
    QCOMPARE(child(frame, "bnGetVerCrc")->isHidden(), model == 18);
    for (const char* name : {"lbWeight", "cbWeight", "Label21", "edTauOut"})
        QCOMPARE(child(frame, name)->isHidden(), !pulseFields);
    QCOMPARE(frame.edTauOut()->isReadOnly(), model == 18);
    QVERIFY(frame.edN()->isHidden());  // the pulse output is selected at first

    QStringList items;
    for (int i = 0; i < frame.cbOutType()->count(); ++i) items << frame.cbOutType()->itemText(i);
    QCOMPARE(items, outTypes);
    QCOMPARE(frame.cbOutType()->currentIndex(), 0);
    QCOMPARE(frame.cbDu()->currentText(), firstDu);
    QCOMPARE(frame.cbDu()->count(), model == 18 ? 2 : 11);
    QCOMPARE(frame.edN()->Max(), nMax);

    // Initial values and limits.
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(frame.edA(i)->Value(), 0.12);
        QCOMPARE(frame.edA(i)->Max(), 36.0);
        QCOMPARE(frame.edB(i)->Value(), 0.0);
        QCOMPARE(frame.edB(i)->Min(), -558.0);
    }
    for (int k = 0; k < 4; ++k) {
        QCOMPARE(frame.edF(k)->Value(), boundary);
        QCOMPARE(frame.edF(k)->Max(), boundary);
        QCOMPARE(frame.edF(k)->Min(), 0.5);
    }
    QCOMPARE(frame.tbLevel()->minimum(), 0);
    QCOMPARE(frame.tbLevel()->maximum(), 3);
    QCOMPARE(frame.tbLevel()->pageStep(), 1);
    QCOMPARE(frame.lbAmp()->text(), QStringLiteral("0"));
    QCOMPARE(frame.lbAmp()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(frame.cbPort()->itemText(0), QStringLiteral("-------"));
    QCOMPARE(frame.cbPort()->count(), static_cast<int>(comprt::ComPort::PortList().Count()) + 1);
    QCOMPARE(frame.cbPort()->itemText(m_portItem), QString::fromStdString(m_devsim->path("kelt")));
    QVERIFY(child(frame, "DisableRestore")->isHidden());
    QVERIFY(child(frame, "DisableThermocorrection")->isHidden());
    QCOMPARE(frame.property("helpKeyword").toString(), QStringLiteral("kelt_main"));

    // A frequency output shows n instead of the weight on the early models.
    if (model == 0) {
        choose(frame.cbOutType(), 1);
        QVERIFY(!frame.edN()->isHidden());
        QVERIFY(frame.cbWeight()->isHidden());
        QVERIFY(frame.edA(0)->isEnabled());
    }
}

void KeltFrameTest::pulseLengthEntry_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("model 13: steps of 1.9 ms") << 13 << "10" << 9.5 << "9,50";
    QTest::newRow("model 16: steps of 3.9 ms") << 16 << "10" << 11.7 << "11,70";
    QTest::newRow("model 3: long pulses in 256 ticks") << 3 << "10" << 7.808 << "7,81";
    QTest::newRow("model 3: short pulses in ticks, typed with a point") << 3 << "1.0" << 33 * 0.0305 << "1,01";
}

void KeltFrameTest::pulseLengthEntry() {
    QFETCH(int, model);
    QFETCH(QString, typed);
    QFETCH(double, stored);
    QFETCH(QString, shown);
    ScopedLocale comma(withSeparator(','));
    Kelt kelt(m_console, model);
    TKeltFrame frame(kelt, m_console);
    type(frame.edTauOut(), typed);
    QVERIFY(std::abs(kelt.page().pulseLength().value() - stored) < 1e-9);
    QCOMPARE(frame.edTauOut()->text(), shown);

    // The settings block of the document carries it.
    std::uint8_t settings[32];
    QCOMPARE(kelt.GetSettings(settings), 32);
    double inBlock = 0;
    std::memcpy(&inBlock, settings + 16, sizeof inBlock);
    QVERIFY(std::abs(inBlock - stored) < 1e-9);
}

void KeltFrameTest::temperatureCorrectionInDegrees() {
    for (const char separator : {',', '.'}) {
        ScopedLocale locale(withSeparator(separator));
        Kelt kelt(m_console, 3);
        TKeltFrame frame(kelt, m_console);
        type(frame.edOffset(), QStringLiteral("1,5"));
        QCOMPARE(kelt.page().temperatureCorrection().value(), 3);
        QCOMPARE(frame.edOffset()->text(), separator == ',' ? QStringLiteral("1,5") : QStringLiteral("1.5"));
        type(frame.edOffset(), QStringLiteral("-9"));
        QCOMPARE(kelt.page().temperatureCorrection().value(), -7);
        QCOMPARE(frame.edOffset()->text(), separator == ',' ? QStringLiteral("-3,5") : QStringLiteral("-3.5"));

        // A value the state gets (a read, an opened document) shows in degrees.
        kelt.page().temperatureCorrection().setValue(5);
        QCOMPARE(frame.edOffset()->text(), separator == ',' ? QStringLiteral("2,5") : QStringLiteral("2.5"));
    }
}

void KeltFrameTest::frequencyOutputDisablesCoefficients() {
    Kelt kelt(m_console, 9);
    TKeltFrame frame(kelt, m_console);
    choose(frame.cbOutType(), 2);
    QCOMPARE(kelt.page().outputType().text(), std::string("Частотный Vf/2"));
    for (int i = 0; i < 5; ++i) {
        QVERIFY(!frame.edA(i)->isEnabled());
        QVERIFY(!frame.edB(i)->isEnabled());
        QVERIFY(frame.edA(i)->text().isEmpty());  // a disabled edit shows nothing
    }
    for (int k = 0; k < 4; ++k) QVERIFY(!frame.edF(k)->isEnabled());
    QVERIFY(!frame.cbWeight()->isEnabled());
    QVERIFY(!frame.edTauOut()->isEnabled());
    QVERIFY(!frame.cbWeight()->isHidden());  // models 7 … 17 keep the weight in view
    QVERIFY(frame.edN()->isHidden());

    choose(frame.cbOutType(), 0);
    for (int i = 0; i < 5; ++i) QVERIFY(frame.edA(i)->isEnabled());
    QCOMPARE(frame.edA(0)->Value(), 0.12);
    QVERIFY(!frame.edA(0)->text().isEmpty());
    QVERIFY(frame.edTauOut()->isEnabled());
}

void KeltFrameTest::diameterReloadsWeightsAndWeightSetsPulseLength() {
    ScopedLocale comma(withSeparator(','));
    Kelt kelt(m_console, 3);
    TKeltFrame frame(kelt, m_console);
    QCOMPARE(frame.cbWeight()->itemText(0), QStringLiteral("0,0001"));
    choose(frame.cbWeight(), 3);
    QCOMPARE(kelt.page().pulseLength().value(), KeltPageState::storablePulseLength(3, 30));
    QCOMPARE(frame.edTauOut()->Value(), kelt.page().pulseLength().value());
    choose(frame.cbDu(), 9);  // 150
    QCOMPARE(frame.cbWeight()->itemText(0), QStringLiteral("0,01"));
    QCOMPARE(frame.cbWeight()->currentText(), QStringLiteral("0,5"));
    QCOMPARE(kelt.PulseWeight(), 0.5);
    Ident ident;
    kelt.GetIdent(ident);
    QCOMPARE(int(ident.du), 10);

    // An identity from a document moves the list and the factory number.
    kelt.SetIdent({12345678, 3});
    QCOMPARE(frame.cbDu()->currentText(), QStringLiteral("32"));
    QCOMPARE(frame.edDevNum()->text(), QStringLiteral("012345678"));
    type(frame.edDevNum(), QStringLiteral("4711"));
    kelt.GetIdent(ident);
    QCOMPARE(ident.serial, 4711u);
}

void KeltFrameTest::du20RefusedInAnErrorBox() {
    writePort(m_portItem);
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt model 11")), QStringLiteral("ok"));
    Kelt kelt(m_console, 11);
    TKeltFrame frame(kelt, m_console);
    QVERIFY(showAndOpen(frame));
    child<QPushButton>(frame, "bnWrite")->click();
    QCOMPARE(m_errorBoxes, QStringList{QStringLiteral("Прибор не поддерживает Ду20")});
    QVERIFY(!frame.busy());
    QVERIFY(m_lines.isEmpty());

    choose(frame.cbDu(), 1);  // 25
    const QStringList written = click(frame, "bnWrite");
    QCOMPARE(written, QStringList{QStringLiteral("Параметры записаны")});
}

void KeltFrameTest::controlsHaveComponentAndAccessibleNames() {
    Kelt kelt(m_console, 3);
    TKeltFrame frame(kelt, m_console);
    const char* names[] = {"cbPort",  "edDevNum", "gbAdapter", "tbLevel",  "lbAmp",   "bnSetLevel", "bnGetAmp",
                           "bnReset", "bnAuto",   "gbParameters", "edA1",  "edA5",    "lbA5",       "edB1",
                           "edB5",    "lbB5",     "edF12",    "edF45",    "lbF45",   "cbDu",       "cbOutType",
                           "Label1",  "cbWeight", "lbWeight", "edTauOut", "Label21", "edN",        "lbN",
                           "edOffset", "lbOffset", "bnRead",  "bnWrite",  "bnGetT",  "bnGetU",     "bnGetVerCrc",
                           "DisableRestore", "DisableThermocorrection"};
    for (const char* name : names) QVERIFY2(child(frame, name), name);
    // Every control a person works with says what it is, here and on the
    // Dorn page.
    Dorn dorn(m_console, 7);
    TDornFrame dornFrame(dorn, m_console);
    for (QWidget* page : {static_cast<QWidget*>(&frame), static_cast<QWidget*>(&dornFrame)}) {
        const QList<QWidget*> widgets = page->findChildren<QWidget*>();
        for (QWidget* w : widgets) {
            if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) && !qobject_cast<QAbstractButton*>(w) &&
                !qobject_cast<QSlider*>(w))
                continue;
            if (qobject_cast<QComboBox*>(w->parentWidget())) continue;  // a list's own line edit
            QVERIFY2(!w->objectName().isEmpty(), w->metaObject()->className());
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
    }
    // Named by the label a person sees; what it is said in full.
    QCOMPARE(frame.edA(0)->accessibleName(), QStringLiteral("A1"));
    QCOMPARE(frame.edA(0)->accessibleDescription(), QStringLiteral("Коэффициент A1"));
    QCOMPARE(frame.edF(1)->accessibleName(), QStringLiteral("F23, Гц"));
    QCOMPARE(frame.edF(1)->accessibleDescription(), QStringLiteral("Граничная частота F23, Гц"));
    QCOMPARE(child<QLabel>(frame, "lbA5")->buddy(), frame.edA(4));
}

// ---- through the simulated bench ---------------------------------------------------

void KeltFrameTest::throughTheBench_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QStringList>("temperature");  // console lines of bnGetT; empty: hidden
    QTest::addColumn<QString>("version");          // console line of bnGetVerCrc; empty: hidden
    QTest::addColumn<int>("requests");             // requests of one write

    // The console keeps a line break as "\n".
    const QString signal = QStringLiteral("\n  Температура: 23,0°C\n  Качество сигнала: хорошее\n  Частота: 100,2 Гц");
    QTest::newRow("block 1, model 0") << 0 << QStringList{} << "Неправильный тип КЕЛТ" << 1;
    QTest::newRow("block 2, model 3") << 3 << QStringList{"Температура: 23,0°C"} << "Версия ПО 0.0, КС ПО 0x0000" << 2;
    QTest::newRow("block 3 older, model 7") << 7 << QStringList{signal} << "Неправильный тип КЕЛТ" << 1;
    QTest::newRow("block 3 newer, model 10") << 10 << QStringList{signal} << "Версия ПО 2.5, КС ПО 0x1234" << 1;
    QTest::newRow("block 4, model 13") << 13 << QStringList{"Температура: 23,0°C"} << "Версия ПО 2.5, КС ПО 0x1234"
                                       << 1;
    QTest::newRow("block 5, model 18") << 18 << QStringList{"Температура: 23,0°C"} << QString() << 1;
}

void KeltFrameTest::throughTheBench() {
    QFETCH(int, model);
    QFETCH(QStringList, temperature);
    QFETCH(QString, version);
    QFETCH(int, requests);
    ScopedLocale comma(withSeparator(','));
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt model " + std::to_string(model))), QStringLiteral("ok"));
    writePort(m_portItem);

    Kelt kelt(m_console, model);
    TKeltFrame frame(kelt, m_console);
    QVERIFY(showAndOpen(frame));
    QCOMPARE(frame.cbPort()->GetItemIndex(), m_portItem);
    QVERIFY(m_lines.isEmpty());  // an open result is never logged

    // The values, typed and chosen as a user does.
    const int segments = model == 0 ? 4 : 5;
    choose(frame.cbDu(), model == 18 ? 1 : 4);  // 20 on model 18, else 50
    for (int i = 0; i < segments; ++i) {
        type(frame.edA(i), QString::number(kA[i]).replace(QLatin1Char('.'), QLatin1Char(',')));
        type(frame.edB(i), QString::number(kB[i]));
    }
    for (int k = 0; k < segments - 1; ++k) type(frame.edF(k), QString::number(kF[k]));
    if (!frame.edOffset()->isHidden()) type(frame.edOffset(), QStringLiteral("1,5"));
    if (model >= 12 && model <= 17) type(frame.edDevNum(), QStringLiteral("1234567"));
    if (model == 18) choose(frame.cbOutType(), 1);

    // Write: the busy state holds the buttons and the port selector, and
    // the focus comes back to the button afterwards.
    QPushButton* write = child<QPushButton>(frame, "bnWrite");
    frame.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&frame));
    write->setFocus();
    QSignalSpy results(&frame, &TKeltFrame::resultHandled);
    const QStringList written = run(frame, [&] {
        write->click();
        QVERIFY(!write->isEnabled());
        QVERIFY(!frame.cbPort()->isEnabled());
        QVERIFY(!child(frame, "bnRead")->isEnabled());
        QVERIFY(QApplication::overrideCursor());
    });
    // Models 1 … 6 write block 2, which logs nothing, then the correction.
    QCOMPARE(written, QStringList{QStringLiteral("Параметры записаны")});
    QCOMPARE(results.size(), requests);
    QVERIFY(write->isEnabled());
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(QApplication::focusWidget(), write);

    // Read back into a page whose values were changed meanwhile.
    for (int i = 0; i < 5; ++i) kelt.page().a(i).setValue(1.0);
    kelt.page().temperatureCorrection().setValue(0);
    kelt.page().setSerialText("");
    choose(frame.cbDu(), 0);
    if (model == 18) choose(frame.cbOutType(), 0);
    const QStringList read = click(frame, "bnRead");
    QCOMPARE(read, QStringList{QStringLiteral("Параметры считаны")});
    for (int i = 0; i < segments; ++i) {
        QVERIFY2(std::abs(frame.edA(i)->Value() - kA[i]) < 1e-4, qPrintable(QString::number(frame.edA(i)->Value())));
        QVERIFY2(std::abs(frame.edB(i)->Value() - kB[i]) < 2e-3, qPrintable(QString::number(frame.edB(i)->Value())));
    }
    for (int k = 0; k < segments - 1; ++k)
        QCOMPARE(frame.edF(k)->Value(), kF[k]);
    QCOMPARE(frame.cbDu()->currentIndex(), model == 18 ? 1 : 4);
    if (model == 0) QCOMPARE(frame.edA(4)->Value(), 1.0);  // block 1 has four segments
    if (!frame.edOffset()->isHidden()) QCOMPARE(frame.edOffset()->text(), model == 18 ? "1,0" : "1,5");
    if (model >= 12 && model <= 17) QCOMPARE(frame.edDevNum()->text(), QStringLiteral("01234567"));
    if (model == 18) QCOMPARE(frame.cbOutType()->currentText(), QStringLiteral("V/T"));

    if (!temperature.isEmpty()) QCOMPARE(click(frame, "bnGetT"), temperature);
    if (!version.isEmpty()) QCOMPARE(click(frame, "bnGetVerCrc"), QStringList{version});

    if (model <= 8) {
        QCOMPARE(click(frame, "bnGetU"), QStringList{QStringLiteral("Напряжение батареи: 3,45..3,6В")});

        // Tuning: level 3 gives 20, level 2 gives 30, which will do.
        QCOMPARE(QString::fromStdString(m_devsim->control("kelt amplitudes 90,90,30,20")), QStringLiteral("ok"));
        QCOMPARE(click(frame, "bnAuto"), QStringList{});
        QCOMPARE(frame.tbLevel()->value(), 2);
        QCOMPARE(frame.lbAmp()->text(), QStringLiteral("30"));
        QCOMPARE(frame.lbAmp()->palette().color(QPalette::WindowText), QColor(0, 128, 0));

        // A level of the user's choice, and the amplitude there.
        frame.tbLevel()->setValue(0);
        QCOMPARE(click(frame, "bnSetLevel"), QStringList{});
        QCOMPARE(click(frame, "bnGetAmp"), QStringList{});
        QCOMPARE(frame.lbAmp()->text(), QStringLiteral("90"));
        QCOMPARE(frame.lbAmp()->palette().color(QPalette::WindowText), QColor(255, 0, 0));
        frame.tbLevel()->setValue(3);
        QCOMPARE(click(frame, "bnReset"), QStringList{});
        QCOMPARE(frame.tbLevel()->value(), 0);
    }
}

void KeltFrameTest::busyTransducerPausesTwelveSeconds() {
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt model 3")), QStringLiteral("ok"));
    writePort(m_portItem);
    Kelt kelt(m_console, 3);
    auto frame = std::make_unique<TKeltFrame>(kelt, m_console);
    QVERIFY(showAndOpen(*frame));

    QCOMPARE(QString::fromStdString(m_devsim->control("kelt fault busy")), QStringLiteral("ok"));
    QSignalSpy results(frame.get(), &TKeltFrame::resultHandled);
    // The window keeps working through the pause: a timer of the window
    // thread ticks all along.
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();
    child<QPushButton>(*frame, "bnRead")->click();
    QVERIFY(QTest::qWaitFor([&] { return !m_lines.isEmpty(); }, 10000));
    QCOMPARE(m_lines, QStringList{QStringLiteral("Ошибка обмена. Подождите 12 секунд")});
    QCOMPARE(results[0].at(0).toInt(), 2);
    QCOMPARE(results[0].at(2).toBool(), false);
    QVERIFY(frame->busy());  // the pause keeps the page busy
    // A request while another is pending is refused in an error box.
    frame->Request(&KeltPageController::bnGetUClick);
    QCOMPARE(m_errorBoxes, QStringList{QStringLiteral("Queue is not empty")});
    QVERIFY(frame->busy());
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt fault none")), QStringLiteral("ok"));
    QVERIFY(QTest::qWaitFor([&] { return !frame->busy(); }, 20000));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= 11900, qPrintable(QString::number(elapsed)));
    QCOMPARE(results.size(), 3);  // the read, its skipped correction read, the pause
    QCOMPARE(results[1].at(0).toInt(), -1);
    QCOMPARE(results[2].at(0).toInt(), 4);
    QVERIFY2(ticks >= 100, qPrintable(QString::number(ticks)));
    QCOMPARE(m_lines.size(), 1);

    // Then it works again.
    QCOMPARE(click(*frame, "bnRead"), QStringList{QStringLiteral("Параметры считаны")});

    // Closing the page during a pause does not wait for it.
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt fault busy")), QStringLiteral("ok"));
    child<QPushButton>(*frame, "bnGetU")->click();
    QVERIFY(QTest::qWaitFor([&] { return m_lines.size() == 3; }, 10000));
    QCOMPARE(m_lines.back(), QStringLiteral("Ошибка обмена. Подождите 12 секунд"));
    QVERIFY(frame->busy());
    clock.restart();
    frame.reset();
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(storedPort(), m_portItem);
}

void KeltFrameTest::vanishedPortComesBack() {
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt model 3")), QStringLiteral("ok"));
    writePort(m_portItem);
    Kelt kelt(m_console, 3);
    TKeltFrame frame(kelt, m_console);
    QVERIFY(showAndOpen(frame));

    // The adapter is pulled out: the request on the line fails, the page
    // says so once and offers nothing to send while the port is away.
    const QString name = QString::fromStdString(m_devsim->path("kelt"));
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt vanish")), QStringLiteral("ok"));
    QCOMPARE(click(frame, "bnGetU"), QStringList{QStringLiteral("Порт отключён: ") + name});
    QVERIFY(!child<QPushButton>(frame, "bnGetU")->isEnabled());
    QVERIFY(!child<QPushButton>(frame, "bnRead")->isEnabled());
    QVERIFY(frame.cbPort()->isEnabled());  // another port may be chosen
    QTest::qWait(1500);
    QCOMPARE(m_lines.count(QStringLiteral("Порт отключён: ") + name), 1);

    // Plugged in again under the same name: the port opens by itself.
    m_lines.clear();
    QCOMPARE(QString::fromStdString(m_devsim->control("kelt return")), QStringLiteral("ok"));
    QTRY_COMPARE_WITH_TIMEOUT(m_lines, QStringList{QStringLiteral("Порт снова подключён")}, 5000);
    QVERIFY(child<QPushButton>(frame, "bnGetU")->isEnabled());
    QCOMPARE(frame.cbPort()->GetItemIndex(), m_portItem);
    QCOMPARE(click(frame, "bnGetU"), QStringList{QStringLiteral("Напряжение батареи: 3,45..3,6В")});

    // Choosing no port closes it; every request then says so.
    run(frame, [&] { choose(frame.cbPort(), 0); });
    QCOMPARE(frame.cbPort()->GetItemIndex(), 0);
    QCOMPARE(click(frame, "bnRead"), QStringList{QStringLiteral("COM-порт не открыт")});
}

// ---- the page in the main window -----------------------------------------------------

void KeltFrameTest::documentShowsAndTakesThePageCoefficients() {
    ScopedLocale comma(withSeparator(','));
    auto script = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs& dialogs = *script;
    TMainForm form(std::move(script));
    form.show();
    dialogs.code = kFirstKeltCode + 13;
    form.ActionNew->trigger();
    auto* page = qobject_cast<TKeltFrame*>(form.devicePage());
    QVERIFY(page);
    QVERIFY(page->isVisible());
    const QString name = QStringLiteral("КЕЛТ2-ЧИ2.45(35)-xxx");
    QCOMPARE(form.tabBar()->tabText(0), name);
    QCOMPARE(form.pagesMenu()->actions().value(0)->text(), name);
    QVERIFY(QTest::qWaitFor([&] { return !page->busy(); }, 5000));

    // Typed on the page, saved with the document, shown again when opened.
    type(page->edA(0), QStringLiteral("2,5"));
    type(page->edF(0), QStringLiteral("150"));
    type(page->edDevNum(), QStringLiteral("4711"));
    choose(page->cbWeight(), 3);
    const QString file = m_dir.filePath(QStringLiteral("kelt.srv"));
    dialogs.saveName = file;
    QVERIFY(form.NSaveAsClick());
    QVERIFY(form.NCloseClick());
    QVERIFY(!form.devicePage());
    dialogs.openName = file;
    form.ActionOpen->trigger();
    page = qobject_cast<TKeltFrame*>(form.devicePage());
    QVERIFY(page);
    QCOMPARE(page->edA(0)->Value(), 2.5);
    QCOMPARE(page->edF(0)->Value(), 150.0);
    QCOMPARE(page->edDevNum()->text(), QStringLiteral("00004711"));
    QCOMPARE(page->cbWeight()->currentIndex(), 3);
    QVERIFY(QTest::qWaitFor([&] { return !page->busy(); }, 5000));

    // An approximation puts its lines on the page; the page's values are
    // what the document then computes with.
    form.ActionNewPackage->trigger();
    PackageBase& package = *form.document().packages().back();
    const struct {
        const char* pulses;
        const char* volume;
    } rows[] = {{"1001", "10.2"}, {"1011", "10.2"}, {"5001", "50.1"}, {"5051", "50.3"}, {"10001", "99.0"}, {"10101", "100.2"}};
    for (const auto& r : rows) {
        package.addEntry();
        const int row = package.entryCount() - 1;
        const auto set = [&](int field, const char* text) {
            for (int col = 0; col < package.columnCount(); ++col)
                if (package.columnField(col) == field) package.setCellText(row, col, text);
        };
        set(kTimeRef, "36");
        set(kTime1, "100");
        set(kPulses1, r.pulses);
        set(kVolRef, r.volume);
        package.recalcEntry(row);
    }
    form.SelectTab(1);
    form.ActionAppr->trigger();
    const files::Lines& lines = form.document().state().currentLines;
    QVERIFY(!lines.empty());
    form.SelectTab(0);
    QCOMPARE(page->edA(0)->Value(), std::clamp(lines[0].a, 0.0, 36.0));
    QCOMPARE(page->edB(0)->Value(), std::clamp(lines[0].b, -558.0, 558.0));
    type(page->edA(0), QStringLiteral("3"));
    form.SelectTab(1);
    QCOMPARE(form.document().state().currentLines.at(0).a, 3.0);
    QVERIFY(form.NCloseClick());
}

QTEST_MAIN(KeltFrameTest)
#include "KeltFrameTest.moc"
