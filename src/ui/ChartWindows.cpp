#include "ChartWindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

#include <stdexcept>

namespace {

// Set once, by the library's own start-up code; read on the window thread.
const ChartWindows* g_windows = nullptr;

const QString kLibrary = QStringLiteral("librvcharts.so");

}  // namespace

void RegisterChartWindows(const ChartWindows* windows) { g_windows = windows; }

const ChartWindows& Charts() {
    if (g_windows) return *g_windows;
    // Beside the program in the build tree; in the library folder when
    // installed.
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {programDir + QLatin1Char('/') + kLibrary,
                                    QDir::cleanPath(programDir + QStringLiteral("/" RVSERVICE_CHARTS_DIR "/") + kLibrary)};
    QStringList reasons;
    for (const QString& path : candidates) {
        if (!QFileInfo::exists(path)) {
            reasons << path + QStringLiteral(": нет файла");
            continue;
        }
        QLibrary library(path);
        // Every symbol bound now, so that a missing one fails here with its
        // name rather than later in the middle of a drawing.
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load()) {
            reasons << library.errorString();
            continue;
        }
        if (g_windows) return *g_windows;
        reasons << path + QStringLiteral(": в библиотеке нет окон графиков");
    }
    throw std::runtime_error((QStringLiteral("Не удалось загрузить библиотеку графиков ") + kLibrary +
                              QStringLiteral(": ") + reasons.join(QStringLiteral("; ")))
                                 .toStdString());
}
