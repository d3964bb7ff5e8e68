// What every device page and the Nivor dialog share: the remembered port in
// the settings store, the busy state, and the notifier that brings a
// worker's notifications to the window thread.

#include "BusyState.h"
#include "PageWorker.h"
#include "StoredPort.h"

#include "common/Console.h"
#include "comprt/ComPort.h"
#include "link/RegKey.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QVBoxLayout>

#include <memory>
#include <thread>

class PageSupportTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void storedPortLoads_data();
    void storedPortLoads();
    void storedPortWritesOnlyOnceLoaded();
    void storedPortFailureGoesToTheConsole();
    void portItemsCarryTheirHints();
    void busyStateGivesTheFocusBack();
    void notifierCallsOnTheWindowThreadWhileTheReceiverLives();

private:
    QTemporaryDir m_dir;
    Console m_console;
    QStringList m_lines;
};

void PageSupportTest::init() {
    QVERIFY(m_dir.isValid());
    RegKey::SetFileLocation(
        m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction())).toStdString());
    m_lines.clear();
    m_console.setListener([this](const std::string& text) { m_lines << QString::fromStdString(text); });
}

namespace {

// The port list of the tests: a selector with "-------" first holds five
// items, port k at item k.
const std::vector<std::string> kPorts = {"/dev/ttyS0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0",
                                         "/dev/ttyS1", "/dev/serial/by-id/usb-Prolific_PL2303_0042-if00-port0"};

}  // namespace

void PageSupportTest::storedPortLoads_data() {
    QTest::addColumn<QString>("stored");  // "" nothing, "text:…" a string value, else a number
    QTest::addColumn<QString>("name");    // the port's name stored beside it; "" none
    QTest::addColumn<int>("loaded");
    QTest::newRow("nothing stored: the first item") << QString() << QString() << 0;
    QTest::newRow("an item of the list") << QStringLiteral("3") << QString() << 3;
    QTest::newRow("the last item") << QStringLiteral("4") << QString() << 4;
    QTest::newRow("one past the list: the first item") << QStringLiteral("5") << QString() << 0;
    QTest::newRow("negative: the first item") << QStringLiteral("-1") << QString() << 0;
    QTest::newRow("a text value: the first item") << QStringLiteral("text:3") << QString() << 0;
    // The list's order changed since the name was stored: the name rules.
    QTest::newRow("the name at another position")
        << QStringLiteral("2") << QString::fromStdString(kPorts[3]) << 4;
    QTest::newRow("the name without a position") << QString() << QString::fromStdString(kPorts[1]) << 2;
    // An adapter that is not plugged in now: the position, as before.
    QTest::newRow("a name the list does not hold")
        << QStringLiteral("3") << QStringLiteral("/dev/serial/by-id/usb-gone-if00-port0") << 3;
}

void PageSupportTest::storedPortLoads() {
    QFETCH(QString, stored);
    QFETCH(QString, name);
    QFETCH(int, loaded);
    {
        RegKey key;
        key.Open();
        if (stored.startsWith(QLatin1String("text:")))
            key.WriteString("TestComPort", stored.mid(5).toStdString());
        else if (!stored.isEmpty())
            key.WriteInt("TestComPort", stored.toInt());
        if (!name.isEmpty()) key.WriteString("TestComPortName", name.toStdString());
    }
    StoredPort port("TestComPort", m_console);
    QCOMPARE(port.Load(kPorts, 1), loaded);
    QVERIFY(m_lines.isEmpty());
}

void PageSupportTest::storedPortWritesOnlyOnceLoaded() {
    {
        RegKey key;
        key.Open();
        key.WriteInt("TestComPort", 2);
    }
    const auto stored = [] {
        RegKey key;
        key.Open();
        return key.ReadInt("TestComPort", -1);
    };
    const auto storedName = [] {
        RegKey key;
        key.Open();
        return key.ReadString("TestComPortName", "none");
    };
    StoredPort never("TestComPort", m_console);
    never.Save(4);
    QCOMPARE(stored(), 2);  // a page never shown leaves what another run stored
    QCOMPARE(storedName(), std::string("none"));

    StoredPort shown("TestComPort", m_console);
    QCOMPARE(shown.Load(kPorts, 1), 2);
    shown.Save(4);
    QCOMPARE(stored(), 4);
    QCOMPARE(storedName(), kPorts[3]);
    shown.Save(-1);
    QCOMPARE(stored(), 0);  // no selection is stored as no port
    QCOMPARE(storedName(), std::string());

    // A selector without a no-port item (the RV page): item k is port k.
    StoredPort rv("TestComPort", m_console);
    QCOMPARE(rv.Load(kPorts, 0), 0);
    rv.Save(1);
    QCOMPARE(stored(), 1);
    QCOMPARE(storedName(), kPorts[1]);
}

void PageSupportTest::storedPortFailureGoesToTheConsole() {
    // A settings file inside a regular file cannot be made, even by root.
    const QString blocker = m_dir.filePath(QStringLiteral("blocker"));
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    RegKey::SetFileLocation((blocker + QStringLiteral("/settings.json")).toStdString());
    StoredPort port("TestComPort", m_console);
    QCOMPARE(port.Load(kPorts, 1), 0);
    QCOMPARE(m_lines.size(), 1);
    port.Save(3);
    QCOMPARE(m_lines.size(), 2);
}

void PageSupportTest::portItemsCarryTheirHints() {
    const comprt::ComPort::ComList saved = comprt::ComPort::PortList();
    comprt::ComPort::ComList list(kPorts);
    list.SetHints({{kPorts[1], "USB 0403:6001 FTDI FT232R USB UART, серийный номер A1B2C3"}});
    comprt::ComPort::ReplacePortList(list);
    QComboBox selector;
    selector.addItem(QStringLiteral("-------"));
    AddPortItems(selector);
    comprt::ComPort::ReplacePortList(saved);

    QCOMPARE(selector.count(), 5);
    // The item shows the name; the hint is the tooltip, where there is one.
    QCOMPARE(selector.itemText(2), QString::fromStdString(kPorts[1]));
    QCOMPARE(selector.itemData(2, Qt::ToolTipRole).toString(),
             QStringLiteral("USB 0403:6001 FTDI FT232R USB UART, серийный номер A1B2C3"));
    QVERIFY(!selector.itemData(1, Qt::ToolTipRole).isValid());
    QVERIFY(!selector.itemData(0, Qt::ToolTipRole).isValid());
}

void PageSupportTest::busyStateGivesTheFocusBack() {
    QWidget page;
    auto* layout = new QVBoxLayout(&page);
    auto* first = new QLineEdit(&page);
    auto* button = new QPushButton(QStringLiteral("Считать"), &page);
    auto* second = new QLineEdit(&page);
    layout->addWidget(first);
    layout->addWidget(button);
    layout->addWidget(second);
    page.show();
    QVERIFY(QTest::qWaitForWindowActive(&page));
    button->setFocus();
    QCOMPARE(QApplication::focusWidget(), button);

    auto busy = std::make_unique<BusyState>();
    const auto enable = [&] { button->setEnabled(!busy->busy()); };
    busy->Set(true, enable);
    QVERIFY(!button->isEnabled());
    QVERIFY(QApplication::overrideCursor());
    QVERIFY(QApplication::focusWidget() != button);  // disabling moved it on
    busy->Set(false, enable);
    QVERIFY(!QApplication::overrideCursor());
    QCOMPARE(QApplication::focusWidget(), button);

    // The user moved the focus meanwhile: it stays where the user put it.
    busy->Set(true, enable);
    QLineEdit* chosen = QApplication::focusWidget() == first ? second : first;
    chosen->setFocus();
    QCOMPARE(QApplication::focusWidget(), chosen);
    busy->Set(false, enable);
    QCOMPARE(QApplication::focusWidget(), chosen);

    // A page closed while busy gives the cursor back.
    busy->Set(true, enable);
    busy.reset();
    QVERIFY(!QApplication::overrideCursor());
}

void PageSupportTest::notifierCallsOnTheWindowThreadWhileTheReceiverLives() {
    auto receiver = std::make_unique<QObject>();
    QList<bool> results;
    QList<std::intptr_t> activity;
    QThread* calledOn = nullptr;
    QueuedNotifier notifier(
        *receiver,
        [&](bool ok) {
            results << ok;
            calledOn = QThread::currentThread();
        },
        [&](std::intptr_t transmitting) { activity << transmitting; });
    std::thread worker([&] {
        notifier.Notify(QueueNotifier::kActivityMessage, 1, 0);
        notifier.Notify(QueueNotifier::kResultMessage, 1, 0);
        notifier.Notify(QueueNotifier::kResultMessage, 0, 0);
    });
    worker.join();
    QVERIFY(results.isEmpty());  // nothing runs on the worker thread
    QTRY_COMPARE(results, (QList<bool>{true, false}));
    QCOMPARE(activity, QList<std::intptr_t>{1});
    QCOMPARE(calledOn, QThread::currentThread());

    // A notification still queued when its receiver goes away is dropped.
    notifier.Notify(QueueNotifier::kResultMessage, 1, 0);
    receiver.reset();
    QApplication::processEvents();
    QCOMPARE(results.size(), 2);
}

QTEST_MAIN(PageSupportTest)
#include "PageSupportTest.moc"
