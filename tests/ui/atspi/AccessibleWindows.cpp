// Shows the device pages, the Nivor dialog, the graphs window, the exchange
// log and the main window's dialogs on a real display, so that a script can read them as a
// screen reader does, over AT-SPI. On its standard output it writes what a
// person sees of each showing control, one per line, tab-separated:
//
//   kind  x  y  width  height  caption
//
// kind is button, tab, labelled (a control with a caption label: the rect is
// the control's) or combo (the caption is the current item); the rect is on
// the screen. "dumped" ends a dump. A line "next" on the standard input
// moves every combo box to another item and dumps again; end of input quits.

#include "ApprOptionsDialog.h"
#include "CsvOptionsDialog.h"
#include "DornFrame.h"
#include "ExchangeLogWindow.h"
#include "KeltFrame.h"
#include "LinesDialog.h"
#include "NewDocumentDialog.h"
#include "NewPackageDialog.h"
#include "RvFrame.h"
#include "SectionSelectDialog.h"
#include "ServiceGraph.h"
#include "SpprDlg.h"
#include "components/Accessibility.h"

#include "common/Console.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "devices/rv/RVx2.h"
#include "link/RegKey.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSocketNotifier>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

QTextStream out(stdout);

void line(const char* kind, const QRect& r, const QString& caption) {
    out << kind << '\t' << r.x() << '\t' << r.y() << '\t' << r.width() << '\t' << r.height() << '\t' << caption
        << '\n';
}

QRect onScreen(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// A part of a list or a view (its edit, its scroll bars) speaks for it.
bool isPart(const QWidget* w) {
    for (const QWidget* p = w->parentWidget(); p; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractScrollArea*>(p)) return true;
    return false;
}

void dump(const std::vector<std::unique_ptr<QWidget>>& windows) {
    for (const auto& window : windows) {
        for (QWidget* w : window->findChildren<QWidget*>()) {
            if (!w->isVisible() || isPart(w)) continue;
            if (auto* b = qobject_cast<QAbstractButton*>(w)) {
                const QString caption = AccessibleCaption(b->text());
                if (CaptionHasWords(caption)) line("button", onScreen(b), caption);
            } else if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy() && label->buddy()->isVisible()) {
                const QString caption = AccessibleCaption(label->text());
                if (CaptionHasWords(caption)) line("labelled", onScreen(label->buddy()), caption);
            } else if (auto* bar = qobject_cast<QTabBar*>(w)) {
                for (int i = 0; i < bar->count(); ++i)
                    if (bar->isTabVisible(i))
                        line("tab", QRect(bar->mapToGlobal(bar->tabRect(i).topLeft()), bar->tabRect(i).size()),
                             AccessibleCaption(bar->tabText(i)));
            }
            if (auto* combo = qobject_cast<QComboBox*>(w); combo && combo->count() > 0)
                line("combo", onScreen(combo), combo->currentText());
        }
    }
    out << "dumped\n";
    out.flush();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QTemporaryDir dir;
    RegKey::SetFileLocation(dir.filePath(QStringLiteral("settings.json")).toStdString());
    Console console;
    Dorn dorn(console, 7);
    Kelt kelt(console, 13);
    RVx2 rv(console);
    std::vector<std::unique_ptr<QWidget>> windows;
    windows.push_back(std::make_unique<TDornFrame>(dorn, console));
    windows.push_back(std::make_unique<TKeltFrame>(kelt, console));
    windows.push_back(std::make_unique<TRVFrame>(rv, console));
    windows.push_back(std::make_unique<TSpprDlg>(console));
    windows.push_back(std::make_unique<TServiceGraph>());
    windows.push_back(std::make_unique<ExchangeLogWindow>());
    windows.push_back(std::make_unique<ApprOptionsDialog>());
    windows.push_back(std::make_unique<CsvOptionsDialog>());
    windows.push_back(std::make_unique<LinesDialog>());
    windows.push_back(std::make_unique<NewDocumentDialog>());
    windows.push_back(std::make_unique<NewPackageDialog>());
    windows.push_back(std::make_unique<SectionSelectDialog>());
    // Side by side, none over another, so that every control shows.
    int x = 0, y = 0, rowHeight = 0;
    for (const auto& w : windows) {
        w->adjustSize();
        if (x + w->width() > 3800) {
            x = 0;
            y += rowHeight + 40;
            rowHeight = 0;
        }
        w->move(x, y);
        w->show();
        x += w->frameGeometry().width() + 10;
        rowHeight = std::max(rowHeight, w->frameGeometry().height());
    }
    QTimer::singleShot(1500, &app, [&] { dump(windows); });
    QSocketNotifier input(fileno(stdin), QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char text[64];
        if (!std::fgets(text, sizeof text, stdin)) {
            app.quit();
            return;
        }
        for (const auto& window : windows)
            for (QComboBox* combo : window->findChildren<QComboBox*>())
                if (combo->isVisible() && combo->count() > 1)
                    combo->setCurrentIndex((combo->currentIndex() + 1) % combo->count());
        QTimer::singleShot(500, &app, [&] { dump(windows); });
    });
    return app.exec();
}
