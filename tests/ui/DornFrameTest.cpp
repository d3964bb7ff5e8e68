#include "CreateDevicePage.h"
#include "DornFrame.h"
#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/IntEdit.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/dorn/Dorn.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

// Dorn models: 7 (ДОРН-ТИ1-xxx-М) has a pulse output, 3 (ДОРН-Т1-xxx-М) has none.
constexpr int kPulseModel = 7;
constexpr int kPlainModel = 3;

std::string lastMessage(const Console& console) {
    return console.lines().empty() ? std::string() : console.lines().back().text;
}

void writePort(int value) {
    RegKey key;
    key.Open();
    key.WriteInt("DornComPort", value);
}

int storedPort() {
    RegKey key;
    key.Open();
    return key.ReadInt("DornComPort", -1);
}

}  // namespace

class DornFrameTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void controlsFollowState();
    void userInputGoesIntoState();
    void modelWithoutPulseOutput();
    void factoryMakesDornPages();
    void writeAndReadThroughSimulatedDorn();
    void coefficientsOutOfRange();
    void storedPortOutsideListMeansNoPort();
    void portChoiceRemembered();

private:
    // Shows the page and waits for the open request the first show posts.
    void showAndWaitForOpen(TDornFrame& frame, bool expectOk = true);
    // Clicks a button and waits until the request's result was handled.
    QList<QVariant> clickAndWait(TDornFrame& frame, QPushButton* button);

    QTemporaryDir m_dir;
    std::unique_ptr<testsupport::Devsim> m_devsim;
    std::string m_path;
    int m_portItem = 0;  // the simulated port's item in the port selector
    Console m_console;
};

void DornFrameTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    try {
        m_devsim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, std::vector<std::string>{"--only", "dorn"});
        m_path = m_devsim->path("dorn");
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    // The simulated port joins the machine's ports through the environment,
    // as the program's start builds its list.
    qputenv("RVSERVICE_PORTS", QByteArray::fromStdString("/nonexistent/pty:" + m_path));
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList());
    const std::vector<std::string>& names = comprt::ComPort::PortList().Names();
    const auto found = std::find(names.begin(), names.end(), m_path);
    QVERIFY(found != names.end());
    m_portItem = static_cast<int>(found - names.begin()) + 1;  // after "-------"
}

void DornFrameTest::cleanupTestCase() {
    m_devsim.reset();
}

void DornFrameTest::init() {
    const QString file = m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction()));
    RegKey::SetFileLocation(file.toStdString());
    m_console.clear();
}

void DornFrameTest::showAndWaitForOpen(TDornFrame& frame, bool expectOk) {
    QSignalSpy results(&frame, &TDornFrame::resultHandled);
    frame.show();
    QVERIFY(frame.initialised());
    QVERIFY(results.wait(10000));
    QCOMPARE(results.front().at(0).toInt(), 0);
    QCOMPARE(results.front().at(1).toBool(), expectOk);
    QVERIFY(!frame.busy());
}

QList<QVariant> DornFrameTest::clickAndWait(TDornFrame& frame, QPushButton* button) {
    QSignalSpy results(&frame, &TDornFrame::resultHandled);
    button->click();
    if (results.isEmpty() && !results.wait(10000)) return {};
    return results.front();
}

void DornFrameTest::controlsFollowState() {
    Dorn dorn(m_console, kPulseModel);
    TDornFrame frame(dorn, m_console);
    QVERIFY(!frame.initialised());  // no worker, no port until shown
    QCOMPARE(frame.edA()->Value(), 0.12);
    QCOMPARE(frame.cbDu()->GetItemIndex(), 0);
    QCOMPARE(frame.cbOutType()->count(), 3);
    QCOMPARE(frame.cbOutType()->itemText(0), QStringLiteral("0,0001"));

    files::Lines lines(1);
    lines[0].a = 2.5;
    lines[0].b = -1.25;
    dorn.SetLines(lines, 0);
    QCOMPARE(frame.edA()->Value(), 2.5);
    QCOMPARE(frame.edB()->Value(), -1.25);

    Ident ident;
    ident.serial = 123456;
    ident.du = 9;  // 125
    dorn.SetIdent(ident);
    QCOMPARE(frame.edDevNum()->Value(), 123456);
    QCOMPARE(frame.cbDu()->currentText(), QStringLiteral("125"));
    QCOMPARE(frame.cbOutType()->itemText(2), QStringLiteral("1"));
}

void DornFrameTest::userInputGoesIntoState() {
    Locale comma = Locale::current();
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);

    Dorn dorn(m_console, kPulseModel);
    TDornFrame frame(dorn, m_console);
    frame.edA()->setFocus();
    frame.edA()->selectAll();
    QTest::keyClicks(frame.edA(), QStringLiteral("1,75"));
    QCOMPARE(dorn.page().a().value(), 1.75);
    QCOMPARE(frame.edA()->text(), QStringLiteral("1,75"));  // typing is not rewritten
    frame.edB()->selectAll();
    QTest::keyClicks(frame.edB(), QStringLiteral("-40"));
    QCOMPARE(dorn.page().b().value(), -36.0);  // clamped to the field's range

    frame.edDevNum()->selectAll();
    QTest::keyClicks(frame.edDevNum(), QStringLiteral("4711"));
    QCOMPARE(dorn.page().serial().value(), 4711);

    // A new diameter reloads the pulse weights and keeps the position.
    dorn.page().selectWeight(2);
    frame.cbDu()->setCurrentIndex(4);  // 65
    frame.cbDuChange();
    QCOMPARE(dorn.page().du(), 6);
    QCOMPARE(frame.cbOutType()->itemText(0), QStringLiteral("0,001"));
    QCOMPARE(frame.cbOutType()->GetItemIndex(), 2);
    QCOMPARE(dorn.PulseWeight(), 0.1);

    frame.cbOutType()->setCurrentIndex(0);
    emit frame.cbOutType()->activated(0);
    QCOMPARE(dorn.PulseWeight(), 0.001);
}

void DornFrameTest::modelWithoutPulseOutput() {
    writePort(m_portItem);
    Dorn plain(m_console, kPlainModel);
    TDornFrame frame(plain, m_console);
    showAndWaitForOpen(frame);
    QCOMPARE(frame.cbPort()->GetItemIndex(), m_portItem);
    QVERIFY(!frame.bnRead()->isEnabled());
    QVERIFY(!frame.bnWrite()->isEnabled());
    QVERIFY(frame.cbOutType()->isHidden());
    QVERIFY(frame.findChild<QLabel*>(QStringLiteral("lbOutType"))->isHidden());

    Dorn pulse(m_console, kPulseModel);
    TDornFrame pulseFrame(pulse, m_console);
    QVERIFY(!pulseFrame.cbOutType()->isHidden());
    QVERIFY(!pulseFrame.bnWrite()->isEnabled());  // no port selected yet
}

void DornFrameTest::factoryMakesDornPages() {
    QWidget tabs;
    // The Kelt and RV pages have tests of their own.
    std::unique_ptr<DeviceBase> dorn = CreateDevice(kFirstDornCode + kPulseModel, m_console);
    QWidget* page = CreateDevicePage(*dorn, m_console, &tabs);
    QVERIFY(qobject_cast<TDornFrame*>(page));
    QCOMPARE(page->parentWidget(), &tabs);
    delete page;
}

void DornFrameTest::writeAndReadThroughSimulatedDorn() {
    writePort(m_portItem);
    Dorn dorn(m_console, kPulseModel);
    TDornFrame frame(dorn, m_console);
    showAndWaitForOpen(frame);
    QCOMPARE(frame.cbPort()->GetItemIndex(), m_portItem);
    QVERIFY(frame.bnWrite()->isEnabled());
    QVERIFY(frame.bnRead()->isEnabled());

    dorn.page().selectDiameter(3);  // 50
    dorn.page().a().setValue(1.5);
    dorn.page().b().setValue(-0.25);

    {
        QSignalSpy results(&frame, &TDornFrame::resultHandled);
        frame.bnWrite()->click();
        // Busy until the answer: nothing more can be asked for.
        QVERIFY(frame.busy());
        QVERIFY(!frame.bnWrite()->isEnabled());
        QVERIFY(!frame.bnRead()->isEnabled());
        QVERIFY(!frame.cbPort()->isEnabled());
        QVERIFY(QApplication::overrideCursor());
        QVERIFY(results.wait(10000));
        QCOMPARE(results.front().at(0).toInt(), 1);
        QVERIFY2(results.front().at(1).toBool(), lastMessage(m_console).c_str());
    }
    QCOMPARE(lastMessage(m_console), std::string("Параметры записаны"));
    QVERIFY(!frame.busy());
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(frame.bnWrite()->isEnabled());
    QVERIFY(frame.cbPort()->isEnabled());

    dorn.page().a().setValue(0.5);
    dorn.page().b().setValue(0.0);
    const QList<QVariant> read = clickAndWait(frame, frame.bnRead());
    QCOMPARE(read.value(0).toInt(), 2);
    QVERIFY(read.value(1).toBool());
    QCOMPARE(lastMessage(m_console), std::string("Параметры считаны"));
    QCOMPARE(dorn.page().a().value(), 1.5);
    QCOMPARE(dorn.page().b().value(), -0.25);
    QCOMPARE(frame.edA()->Value(), 1.5);
    QCOMPARE(frame.edB()->Value(), -0.25);

    // Read with another diameter: the same counts at another scale.
    dorn.page().selectDiameter(0);  // 25: scale 100000
    clickAndWait(frame, frame.bnRead());
    QCOMPARE(dorn.page().a().value(), 0.15);
    QCOMPARE(dorn.page().b().value(), -0.025);
}

void DornFrameTest::coefficientsOutOfRange() {
    writePort(m_portItem);
    Dorn dorn(m_console, kPulseModel);
    TDornFrame frame(dorn, m_console);
    showAndWaitForOpen(frame);
    dorn.page().selectDiameter(0);  // 25: A is sent doubled, 0.2 gives 40000
    dorn.page().a().setValue(0.2);
    const QList<QVariant> result = clickAndWait(frame, frame.bnWrite());
    QCOMPARE(result.value(0).toInt(), 1);
    QVERIFY(!result.value(1).toBool());
    QCOMPARE(lastMessage(m_console), std::string("Недопустимые значения коэффициентов A и/или B"));
    // The port stays open for the next request.
    QVERIFY(frame.bnWrite()->isEnabled());
    dorn.page().a().setValue(0.12);
    QVERIFY(clickAndWait(frame, frame.bnWrite()).value(1).toBool());
}

void DornFrameTest::storedPortOutsideListMeansNoPort() {
    writePort(static_cast<int>(comprt::ComPort::PortList().Count()) + 1);
    Dorn dorn(m_console, kPulseModel);
    TDornFrame frame(dorn, m_console);
    showAndWaitForOpen(frame);
    QCOMPARE(frame.cbPort()->GetItemIndex(), 0);
    QCOMPARE(frame.cbPort()->currentText(), QStringLiteral("-------"));
    QVERIFY(!frame.bnWrite()->isEnabled());
    QVERIFY(m_console.lines().empty());  // an open result is never logged
}

void DornFrameTest::portChoiceRemembered() {
    {
        Dorn dorn(m_console, kPulseModel);
        TDornFrame frame(dorn, m_console);
        showAndWaitForOpen(frame);  // nothing stored: no port
        QCOMPARE(frame.cbPort()->GetItemIndex(), 0);

        QSignalSpy results(&frame, &TDornFrame::resultHandled);
        frame.cbPort()->setCurrentIndex(m_portItem);
        emit frame.cbPort()->activated(m_portItem);
        QVERIFY(frame.busy());
        QVERIFY(results.wait(10000));
        QVERIFY(results.front().at(1).toBool());
        QCOMPARE(frame.cbPort()->GetItemIndex(), m_portItem);
        QVERIFY(frame.bnRead()->isEnabled());
    }
    QCOMPARE(storedPort(), m_portItem);

    // A page that was never shown leaves the stored port alone.
    {
        Dorn dorn(m_console, kPulseModel);
        TDornFrame frame(dorn, m_console);
    }
    QCOMPARE(storedPort(), m_portItem);
}

QTEST_MAIN(DornFrameTest)
#include "DornFrameTest.moc"
