// "Журнал обмена": the frames of a port's log, live, with its filter,
// pause, copy and save; and a device page's button that opens it on the
// page's port while the page talks to the simulated Dorn.
#include "DornFrame.h"
#include "ExchangeLogWindow.h"
#include "FrameTableModel.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/dorn/Dorn.h"
#include "link/FrameLog.h"
#include "link/RegKey.h"
#include "support/Devsim.h"

#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <array>
#include <memory>
#include <vector>

using framelog::Check;
using framelog::Outcome;
using framelog::Verdict;

namespace {

constexpr std::array<std::uint8_t, 3> kRequest{0x01, 0x03, 0x10};
constexpr std::array<std::uint8_t, 4> kReply{0x01, 0x03, 0xAB, 0xCD};

// A request and its reply with the given verdict (an empty reply for a
// silent device).
void exchange(FrameLog& log, Verdict verdict, std::size_t replyBytes = kReply.size()) {
    log.Sent("чтение регистра", kRequest);
    log.Received("чтение регистра", std::span(kReply.data(), replyBytes), verdict);
}

QString cell(const FrameTableModel& model, int row, int column) {
    return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

bool red(const FrameTableModel& model, int row) {
    return model.data(model.index(row, 0), Qt::ForegroundRole).value<QBrush>().color() == QColor(0xC0, 0, 0);
}

Locale commaLocale() {
    Locale locale;
    locale.decimalSeparator = ',';
    return locale;
}

QString readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

}  // namespace

class ExchangeLogWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsShowEachFrameAndFaultsInRed();
    void pauseClearAndTheRingsCapacity();
    void copyAndSave();
    void pageButtonOpensTheLogOfItsPortLive();

private:
    ScopedLocale m_locale{commaLocale()};
    QTemporaryDir m_dir;
};

void ExchangeLogWindowTest::initTestCase() { QVERIFY(m_dir.isValid()); }

void ExchangeLogWindowTest::rowsShowEachFrameAndFaultsInRed() {
    auto log = FrameLog::Of("/test/rows");
    log->Opened();
    exchange(*log, {Check::Good, Outcome::Answered});
    exchange(*log, {Check::None, Outcome::Silent}, 0);
    exchange(*log, {Check::Short, Outcome::Short}, 2);
    exchange(*log, {Check::Bad, Outcome::BadCheck});

    ExchangeLogWindow window;
    window.SetPort(QStringLiteral("/test/rows"));
    const FrameTableModel& model = window.model();
    QCOMPARE(model.rowCount(), 8);
    QCOMPARE(cell(model, 0, FrameTableModel::kDirection), QStringLiteral("→"));
    QCOMPARE(cell(model, 0, FrameTableModel::kBytes), QStringLiteral("01 03 10"));
    QCOMPARE(cell(model, 0, FrameTableModel::kRequest), QStringLiteral("чтение регистра"));
    QCOMPARE(cell(model, 1, FrameTableModel::kDirection), QStringLiteral("←"));
    QCOMPARE(cell(model, 1, FrameTableModel::kCheck), QStringLiteral("верна"));
    QVERIFY(cell(model, 1, FrameTableModel::kOutcome).startsWith(QStringLiteral("ответ за ")));
    QVERIFY(cell(model, 1, FrameTableModel::kOutcome).endsWith(QStringLiteral(" мс")));
    // Times in seconds with microseconds, in the user's separator.
    QVERIFY(cell(model, 0, FrameTableModel::kTime).contains(QRegularExpression(QStringLiteral("^\\d+,\\d{6}$"))));
    QCOMPARE(cell(model, 3, FrameTableModel::kBytes), QString());
    QCOMPARE(cell(model, 3, FrameTableModel::kOutcome), QStringLiteral("нет ответа"));
    QCOMPARE(cell(model, 5, FrameTableModel::kCheck), QStringLiteral("короткий кадр"));
    QVERIFY(cell(model, 5, FrameTableModel::kOutcome).startsWith(QStringLiteral("неполный ответ")));
    QCOMPARE(cell(model, 7, FrameTableModel::kCheck), QStringLiteral("неверна"));
    // Red, and said in words: every faulty reply, no sent frame, no good reply.
    const std::vector<bool> faults{false, false, false, true, false, true, false, true};
    for (int row = 0; row < 8; ++row) QCOMPARE(red(model, row), bool(faults[std::size_t(row)]));

    auto* faultsOnly = window.findChild<QCheckBox*>(QStringLiteral("cbFaultsOnly"));
    QVERIFY(faultsOnly);
    faultsOnly->setChecked(true);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(cell(model, 0, FrameTableModel::kOutcome), QStringLiteral("нет ответа"));
    exchange(*log, {Check::Good, Outcome::Answered});  // nothing to show
    exchange(*log, {Check::Good, Outcome::DeviceError});
    window.Refresh();
    QCOMPARE(model.rowCount(), 4);
    QVERIFY(cell(model, 3, FrameTableModel::kOutcome).startsWith(QStringLiteral("ошибка прибора")));
    faultsOnly->setChecked(false);
    QCOMPARE(model.rowCount(), 12);
}

void ExchangeLogWindowTest::pauseClearAndTheRingsCapacity() {
    auto log = FrameLog::Of("/test/pause");
    ExchangeLogWindow window;
    window.SetPort(QStringLiteral("/test/pause"));
    window.show();
    const FrameTableModel& model = window.model();
    exchange(*log, {Check::Good, Outcome::Answered});
    QTRY_COMPARE(model.rowCount(), 2);  // the window's own timer takes them

    auto* pause = window.findChild<QPushButton*>(QStringLiteral("bnPause"));
    pause->click();
    exchange(*log, {Check::Good, Outcome::Answered});
    QTest::qWait(500);
    QCOMPARE(model.rowCount(), 2);
    pause->click();  // goes on with what came meanwhile
    QCOMPARE(model.rowCount(), 4);

    window.findChild<QPushButton*>(QStringLiteral("bnClear"))->click();
    QCOMPARE(model.rowCount(), 0);
    exchange(*log, {Check::Good, Outcome::Answered});
    window.Refresh();
    QCOMPARE(model.rowCount(), 2);  // only what came after

    // No more rows than the ring holds; the oldest go.
    for (int i = 0; i < 5003; ++i) exchange(*log, {Check::Good, Outcome::Answered});
    window.Refresh();
    QCOMPARE(model.rowCount(), int(FrameLog::kCapacity));
    QCOMPARE(model.FrameAt(model.rowCount() - 1).seq, log->LastSeq());
    QCOMPARE(model.FrameAt(0).seq, log->LastSeq() - FrameLog::kCapacity + 1);
    // The list follows the newest frame.
    const QModelIndex last = model.index(model.rowCount() - 1, 0);
    QTRY_VERIFY(window.view()->visualRect(last).intersects(window.view()->viewport()->rect()));
}

void ExchangeLogWindowTest::copyAndSave() {
    auto log = FrameLog::Of("/test/copy");
    exchange(*log, {Check::Good, Outcome::Answered});
    log->Sent("запись; \"особая\"", kRequest);  // a name CSV must quote
    ExchangeLogWindow window;
    window.SetPort(QStringLiteral("/test/copy"));
    const FrameTableModel& model = window.model();
    QCOMPARE(model.rowCount(), 3);

    window.view()->selectRow(2);
    window.view()->selectionModel()->select(model.index(0, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QStringList lines = window.SelectedText().split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[0], model.LineText(0));  // in the list's order
    QCOMPARE(lines[1].split(QLatin1Char('\t')).at(FrameTableModel::kRequest), QStringLiteral("запись; \"особая\""));
    window.findChild<QPushButton*>(QStringLiteral("bnCopy"))->click();
    QCOMPARE(QApplication::clipboard()->text(), window.SelectedText());

    QString error;
    const QString text = m_dir.filePath(QStringLiteral("log.txt"));
    QVERIFY(window.SaveTo(text, false, &error));
    const QStringList saved = readFile(text).split(QLatin1Char('\n'));
    QCOMPARE(saved.size(), 5);  // header, three frames, the final line break
    QCOMPARE(saved[0], FrameTableModel::Captions().join(QLatin1Char('\t')));
    QCOMPARE(saved[2], model.LineText(1));

    const QString csv = m_dir.filePath(QStringLiteral("log.csv"));
    QVERIFY(window.SaveTo(csv, true, &error));
    const QStringList rows = readFile(csv).split(QLatin1Char('\n'));
    QCOMPARE(rows[0], QStringLiteral("Время, с;Напр.;Кадр;Запрос;Проверка;Итог"));
    QVERIFY(rows[3].contains(QStringLiteral(";\"запись; \"\"особая\"\"\";")));
    QVERIFY(rows[1].startsWith(cell(model, 0, FrameTableModel::kTime) + QLatin1Char(';')));

    // A file that cannot be written says why and leaves the old one.
    QVERIFY(!window.SaveTo(m_dir.filePath(QStringLiteral("missing/log.txt")), false, &error));
    QVERIFY(!error.isEmpty());
}

void ExchangeLogWindowTest::pageButtonOpensTheLogOfItsPortLive() {
    std::unique_ptr<testsupport::Devsim> devsim;
    try {
        devsim = std::make_unique<testsupport::Devsim>(DEVSIM_PATH, std::vector<std::string>{"--only", "dorn"});
    } catch (const std::exception& e) {
        QFAIL(e.what());
    }
    const std::string path = devsim->path("dorn");
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{path}));
    RegKey::SetFileLocation(m_dir.filePath(QStringLiteral("settings.json")).toStdString());
    {
        RegKey key;
        key.Open();
        key.WriteInt("DornComPort", 1);
    }
    Console console;
    Dorn dorn(console, 7);
    TDornFrame frame(dorn, console);
    QSignalSpy results(&frame, &TDornFrame::resultHandled);
    frame.show();
    QVERIFY(results.wait(10000));  // the port opened

    auto* button = frame.findChild<QPushButton*>(QStringLiteral("bnExchangeLog"));
    QVERIFY(button);
    QCOMPARE(button->accessibleName(), QStringLiteral("Журнал обмена"));
    button->click();
    auto* window = frame.findChild<ExchangeLogWindow*>();
    QVERIFY(window);
    QVERIFY(window->isVisible());
    QCOMPARE(window->port(), QString::fromStdString(path));
    const FrameTableModel& model = window->model();
    const int before = model.rowCount();

    frame.bnRead()->click();
    QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), before + 2, 5000);
    QCOMPARE(cell(model, before, FrameTableModel::kRequest), QStringLiteral("чтение коэффициентов"));
    QCOMPARE(cell(model, before + 1, FrameTableModel::kCheck), QStringLiteral("верна"));
    QVERIFY(!red(model, before + 1));

    QCOMPARE(devsim->control("dorn fault silent"), std::string("ok"));
    QTRY_VERIFY_WITH_TIMEOUT(frame.bnRead()->isEnabled(), 5000);
    frame.bnRead()->click();
    QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), before + 4, 10000);
    QCOMPARE(cell(model, before + 3, FrameTableModel::kOutcome), QStringLiteral("нет ответа"));
    QVERIFY(red(model, before + 3));
    // The same window again, from the button, not a second one.
    button->click();
    QCOMPARE(frame.findChildren<ExchangeLogWindow*>().size(), 1);
}

QTEST_MAIN(ExchangeLogWindowTest)
#include "ExchangeLogWindowTest.moc"
