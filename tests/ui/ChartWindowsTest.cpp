// The program's way to the windows drawn with Qt Charts: the plugin
// librvcharts loaded on the first call of Charts(). Built twice, without the
// plugin linked in: beside it (CHARTS_BESIDE), where the makers come from the
// loaded plugin, and elsewhere, where the call fails with the places it
// looked in.
#include <QCheckBox>
#include <QLabel>
#include <QtTest>

#include <memory>
#include <stdexcept>

#include "ChartWindows.h"
#include "common/Console.h"
#include "devices/rv/Readings.h"

class ChartWindowsTest : public QObject {
    Q_OBJECT
private slots:
    void firstCallLoadsTheLibrary();
};

void ChartWindowsTest::firstCallLoadsTheLibrary() {
#ifdef CHARTS_BESIDE
    const ChartWindows& charts = Charts();
    QCOMPARE(&Charts(), &charts);

    std::unique_ptr<GraphWindow> graph(charts.graphWindow(nullptr));
    QCOMPARE(graph->metaObject()->className(), "TServiceGraph");
    graph->SetArgumentTitle(QStringLiteral("Частота (Гц)"));

    std::unique_ptr<SectionChooser> chooser(charts.sectionChooser(nullptr));
    QCOMPARE(chooser->metaObject()->className(), "SectionSelectDialog");

    Console console;
    rv::ReadingsStore store;
    std::unique_ptr<ReadingsPage> page(charts.readingsPage(store, console, nullptr));
    QCOMPARE(page->metaObject()->className(), "TReadingsTab");
    QVERIFY(page->observationBox());
    QVERIFY(page->readingLabel());
    store.take(1000);
    page->sync();
#else
    try {
        Charts();
        QFAIL("the charts library was found where there is none");
    } catch (const std::runtime_error& e) {
        const QString text = QString::fromUtf8(e.what());
        QVERIFY2(text.startsWith(QStringLiteral("Не удалось загрузить библиотеку графиков librvcharts.so: ")),
                 qPrintable(text));
        QCOMPARE(text.count(QStringLiteral(": нет файла")), 2);
    }
#endif
}

QTEST_MAIN(ChartWindowsTest)
#include "ChartWindowsTest.moc"
