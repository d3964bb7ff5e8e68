// The smallest Qt Widgets program that shows a window; given
// --first-show-exit it says "painted" after its first paint and quits,
// exactly as rvservice does.
#include <QApplication>
#include <QEvent>
#include <QLabel>
#include <QTimer>

#include <cstdio>

namespace {

class FirstPaintExit : public QObject {
protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            watched->removeEventFilter(this);
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
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Ralvo"));
    window.resize(830, 600);
    FirstPaintExit firstPaint;
    if (QApplication::arguments().contains(QStringLiteral("--first-show-exit"))) window.installEventFilter(&firstPaint);
    window.show();
    return QApplication::exec();
}
