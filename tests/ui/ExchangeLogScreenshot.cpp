// Makes a picture of "Журнал обмена" on the RV page's port while the page
// polls devsim's meter, with a bad checksum and a silent spell injected:
// exchange_log_screenshot OUT.png [PAGE.png] (offscreen or on a display).

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

#include "ExchangeLogWindow.h"
#include "RvFrame.h"
#include "SimulatedRv.h"
#include "common/Console.h"
#include "devices/rv/RVx2.h"

namespace {

void runFor(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2) return 2;
    QTemporaryDir dir;
    std::unique_ptr<testsupport::Devsim> devsim;
    std::string path;
    int portItem = 0;
    const QString error = widgettest::startSimulatedRv(devsim, path, portItem);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    RegKey::SetFileLocation(dir.filePath(QStringLiteral("settings.json")).toStdString());
    {
        RegKey key;
        key.Open();
        key.WriteInt("RvComPort", portItem);
    }
    Console console;
    RVx2 meter(console);
    TRVFrame frame(meter, console);
    frame.resize(1100, 640);
    frame.show();
    runFor(500);
    frame.findChild<QPushButton*>(QStringLiteral("OpenPortButton"))->click();
    runFor(2500);
    devsim->control("rv fault badsum");
    runFor(3200);
    devsim->control("rv fault silent");
    runFor(3200);
    devsim->control("rv fault none");
    runFor(1500);
    frame.findChild<QPushButton*>(QStringLiteral("bnExchangeLog"))->click();
    auto* window = frame.findChild<ExchangeLogWindow*>();
    if (!window) return 1;
    window->resize(1180, 560);
    runFor(800);
    if (!window->grab().save(QString::fromLocal8Bit(argv[1]))) return 1;
    if (argc > 2 && !frame.grab().save(QString::fromLocal8Bit(argv[2]))) return 1;
    return 0;
}
