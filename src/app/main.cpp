#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <functional>
#include <thread>

#include "MainWindow.h"
#include "QtTranslations.h"
#include "ServiceStyle.h"
#include "comprt/ComPort.h"

namespace {

// Errors that escape an event handler end up here instead of ending the
// program: they are the application's error event, written to the console.
class RvApplication : public QApplication {
public:
    using QApplication::QApplication;

    std::function<void(const QString&)> onError;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& e) {
            report(QString::fromUtf8(e.what()));
        } catch (...) {
            report(QString());
        }
        return false;
    }

private:
    void report(const QString& text) {
        if (onError)
            onError(text);
        else
            QMessageBox::critical(nullptr, QString(), text);
    }
};

// --first-show-exit: once the main window has painted for the first time,
// "painted" on standard output, then quit (the start-up benchmark measures
// the time to that line).
class FirstPaintExit : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
            // Queued: it runs once this paint is done.
            QTimer::singleShot(0, qApp, [] {
                std::fputs("painted\n", stdout);
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    // The port list is taken once when the program starts, on a thread of
    // its own so that the scan of the machine's serial devices does not hold
    // up the first paint; a page that asks for the list sooner waits for it
    // (PortList is locked). A scan that fails here is made again, with its
    // error, by the first page that asks.
    std::jthread portScan([] {
        try {
            comprt::ComPort::PortList();
        } catch (...) {
        }
    });
    RvApplication app(argc, argv);
    QApplication::setStyle(new ServiceStyle);
    QApplication::setApplicationName(QStringLiteral("rvservice"));
    QApplication::setApplicationVersion(QStringLiteral(RVSERVICE_VERSION));
    // Ties the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("rvservice"));
    if (!LoadQtTranslations(app)) std::fprintf(stderr, "rvservice: Qt's Russian translations are not installed\n");
    const QStringList arguments = QApplication::arguments().mid(1);

    try {
        TMainForm form;
        app.onError = [&form](const QString& text) { form.ConsoleMessage(text); };
        FirstPaintExit firstPaint;
        if (arguments.contains(QStringLiteral("--first-show-exit"))) form.installEventFilter(&firstPaint);
        form.show();
        // A document named on the command line (a file manager passes the
        // file it opens); one that cannot be read is reported over the
        // window, which then stays without a document.
        form.OpenStartupDocument(arguments);
        const int code = QApplication::exec();
        app.onError = nullptr;
        return code;
    } catch (const std::exception& e) {
        app.onError = nullptr;
        QMessageBox::critical(nullptr, QString(), QString::fromUtf8(e.what()));
    } catch (...) {
        app.onError = nullptr;
        QMessageBox::critical(nullptr, QString(), QString());
    }
    return 1;
}
