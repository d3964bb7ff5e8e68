#include "ChartWindows.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPluginLoader>
#include <QStringList>

#include <stdexcept>

namespace {

const QString kLibrary = QStringLiteral("librvcharts.so");

// The places to look in, in order.
QStringList candidates() {
    if (const QString named = qEnvironmentVariable("RVSERVICE_CHARTS_PLUGIN"); !named.isEmpty()) return {named};
    const QString programDir = QCoreApplication::applicationDirPath();
    return {programDir + QLatin1Char('/') + kLibrary,
            QDir::cleanPath(programDir + QStringLiteral("/" RVSERVICE_CHARTS_DIR "/") + kLibrary)};
}

const ChartWindows* load() {
    QStringList reasons;
    for (const QString& path : candidates()) {
        if (!QFileInfo::exists(path)) {
            reasons << path + QStringLiteral(": нет файла");
            continue;
        }
        // The loader keeps the library and its object for the rest of the
        // process.
        QPluginLoader loader(path);
        QObject* object = loader.instance();
        if (!object) {
            reasons << loader.errorString();
            continue;
        }
        if (const auto* windows = qobject_cast<ChartWindows*>(object)) return windows;
        reasons << path + QStringLiteral(": в библиотеке нет окон графиков");
    }
    throw std::runtime_error((QStringLiteral("Не удалось загрузить библиотеку графиков ") + kLibrary +
                              QStringLiteral(": ") + reasons.join(QStringLiteral("; ")))
                                 .toStdString());
}

}  // namespace

const ChartWindows& Charts() {
    // Set once, on the window thread; a failed load is tried again next time.
    static const ChartWindows* windows = nullptr;
    if (!windows) windows = load();
    return *windows;
}
