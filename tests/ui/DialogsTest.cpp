#include "ApprOptionsDialog.h"
#include "CsvOptionsDialog.h"
#include "LinesDialog.h"
#include "NewDocumentDialog.h"
#include "NewPackageDialog.h"
#include "SectionSelectDialog.h"
#include "components/FloatEdit.h"
#include "components/GoodTable.h"

#include "approximation/Chart.h"
#include "common/Locale.h"
#include "document/ApprOptions.h"
#include "document/DocumentState.h"
#include "document/PackageBase.h"
#include "files/TextExchange.h"
#include "link/RegKey.h"

#include <QAccessible>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>
#include <memory>


namespace {

// Runs `action` once the next modal loop has started.
void whenModal(std::function<void()> action) { QTimer::singleShot(0, qApp, std::move(action)); }

QTreeWidgetItem* itemWithText(QTreeWidget* tree, const QString& text) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        if ((*it)->text(0) == text) return *it;
    }
    return nullptr;
}

void doubleClickItem(QTreeWidget* tree, QTreeWidgetItem* item) {
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
}

template <class T>
T* child(QWidget* parent, const char* name) {
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    if (!widget) qFatal("no control %s", name);
    return widget;
}

QPushButton* buttonWithText(QWidget* parent, const QString& text) {
    for (QPushButton* button : parent->findChildren<QPushButton*>()) {
        if (button->text() == text) return button;
    }
    return nullptr;
}

SPILT_POINT chartPoint(double flow, double error, int section) {
    SPILT_POINT p{};
    p.x = flow * 10;
    p.y = flow;
    p.section = section;
    p.point = 1;  // attaching the series must clear it
    p.error = error;
    return p;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void deviceTreeGroupsCannotBeChosen();
    void deviceTreeDoubleClick();
    void deviceTreeKeepsCodeBetweenUses();

    void optionsShow_data();
    void optionsShow();
    void optionsFunctionButtonsEnableMode();
    void optionsOkWritesCancelKeeps();
    void optionsDefaultsSurviveCancel();

    void newPackageChoice_data();
    void newPackageChoice();
    void newPackageKeepsChoice();

    void linesTableTexts();

    void sectionClickTogglesSection();
    void sectionMouseClickOnPoint();
    void sectionCancel();

    void csvFirstUse();
    void csvOfferedColumns();
    void csvListButtons();
    void csvChoicesStoredAndRestored();
    void csvStoredValuesClampedAndIgnored();
    void csvLongColumnListNotStored();
    void csvCancelStoresNothing();
    void csvExportWritesChosenSeparators();
    void csvImportAddsEntriesAndStores();

    void controlsAreNamedByTheirLabels();

private:
    PackagePtr makePackage(int entryType, PackageType type, Method method);

    QTemporaryDir m_dir;
    std::shared_ptr<DocumentState> m_state = std::make_shared<DocumentState>();
};

void DialogsTest::initTestCase() { QVERIFY(m_dir.isValid()); }

void DialogsTest::init() {
    // Each test starts from a fresh settings file.
    const QString file = m_dir.filePath(QStringLiteral("settings-%1.json").arg(QTest::currentTestFunction()));
    QFile::remove(file);
    RegKey::SetFileLocation(file.toStdString());
}

PackagePtr DialogsTest::makePackage(int entryType, PackageType type, Method method) {
    PackagePtr package = CreatePackage(entryType, m_state);
    package->type = type;
    package->method = method;
    return package;
}

// --- New document -----------------------------------------------------------

void DialogsTest::deviceTreeGroupsCannotBeChosen() {
    NewDocumentDialog dialog;
    QTreeWidget* tree = dialog.tree();
    // Before the first selection OK keeps its initial enabled state.
    QCOMPARE(dialog.code(), -1);
    QVERIFY(dialog.okEnabled());

    QTreeWidgetItem* group = itemWithText(tree, QStringLiteral("ДОРН-Т(ТИ)"));
    QVERIFY(group);
    QVERIFY(!group->isExpanded());
    QCOMPARE(group->childCount(), 3);

    QVERIFY(dialog.selectText(QStringLiteral("КЕЛТ-ЧИ2-xxx")));
    QCOMPARE(dialog.code(), 18);
    QVERIFY(dialog.okEnabled());
    QVERIFY(!itemWithText(tree, QStringLiteral("КЕЛТ-ЧИ2-xxx"))->parent());

    tree->setCurrentItem(group);
    QCOMPARE(dialog.code(), -1);
    QVERIFY(!dialog.okEnabled());

    QVERIFY(dialog.selectText(QStringLiteral("ДОРН-ТИ2")));
    QCOMPARE(dialog.code(), 3);
    QVERIFY(dialog.okEnabled());

    tree->clearSelection();
    QCOMPARE(dialog.code(), -1);
    QVERIFY(!dialog.okEnabled());
}

void DialogsTest::deviceTreeDoubleClick() {
    NewDocumentDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTreeWidget* tree = dialog.tree();

    QTreeWidgetItem* group = itemWithText(tree, QStringLiteral("КЕЛТ-ЧИ2.23"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(group).center());
    doubleClickItem(tree, group);
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.code(), -1);

    QTreeWidgetItem* ralvo = itemWithText(tree, QStringLiteral("Ralvo (РВ)"));
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(ralvo).center());
    doubleClickItem(tree, ralvo);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.code(), 0);
}

void DialogsTest::deviceTreeKeepsCodeBetweenUses() {
    NewDocumentDialog dialog;
    // OK before any selection: the command creates no document.
    whenModal([&] { dialog.okButton()->click(); });
    QCOMPARE(dialog.choose(), std::optional<int>(-1));

    whenModal([&] {
        dialog.selectCode(25);
        dialog.okButton()->click();
    });
    QCOMPARE(dialog.choose(), std::optional<int>(25));
    QCOMPARE(dialog.tree()->currentItem()->text(0), QStringLiteral("КЕЛТ1-ЧИ2.23-xxx"));

    whenModal([&] { dialog.reject(); });
    QCOMPARE(dialog.choose(), std::nullopt);

    whenModal([&] { dialog.okButton()->click(); });
    QCOMPARE(dialog.choose(), std::optional<int>(25));
}

// --- Approximation options ----------------------------------------------------

void DialogsTest::optionsShow_data() {
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("manual");
    QTest::addColumn<int>("byEntries");
    QTest::addColumn<QString>("functionButton");
    QTest::addColumn<QString>("modeButton");
    QTest::addColumn<QString>("sourceButton");
    QTest::addColumn<bool>("modeEnabled");
    QTest::newRow("piecewise, manual, entries") << 0 << 1 << 1 << "rbPiecewiseLinear" << "rbManual" << "rbEntries" << true;
    QTest::newRow("linear, automatic, sections") << 1 << 0 << 0 << "rbLinear" << "rbAuto" << "rbSections" << false;
    QTest::newRow("proportional disables the mode") << 2 << 1 << 0 << "rbProportional" << "rbManual" << "rbSections" << false;
    QTest::newRow("unknown function is piecewise") << 7 << 0 << 1 << "rbPiecewiseLinear" << "rbAuto" << "rbEntries" << true;
}

void DialogsTest::optionsShow() {
    QFETCH(int, function);
    QFETCH(int, manual);
    QFETCH(int, byEntries);
    QFETCH(QString, functionButton);
    QFETCH(QString, modeButton);
    QFETCH(QString, sourceButton);
    QFETCH(bool, modeEnabled);

    ApprOptions options;
    options.function = static_cast<std::uint8_t>(function);
    options.manual = static_cast<std::uint8_t>(manual);
    options.byEntries = static_cast<std::uint8_t>(byEntries);
    options.refTemp = -10.25;
    options.maxAutoErr = 0.125;
    options.sectionScatter = 2.5;

    ApprOptionsDialog dialog;
    dialog.attach(&options);
    for (const QString& name : {functionButton, modeButton, sourceButton})
        QVERIFY2(dialog.findChild<QRadioButton*>(name)->isChecked(), qPrintable(name));
    QCOMPARE(child<QRadioButton>(&dialog, "rbAuto")->isEnabled(), modeEnabled);
    QCOMPARE(child<QRadioButton>(&dialog, "rbManual")->isEnabled(), modeEnabled);
    QCOMPARE(child<TFloatEdit>(&dialog, "edRefTemp")->Value(), -10.25);
    QCOMPARE(child<TFloatEdit>(&dialog, "edMaxAutoErr")->Value(), 0.125);
    QCOMPARE(child<TFloatEdit>(&dialog, "edSectionScatter")->Value(), 2.5);
}

void DialogsTest::optionsFunctionButtonsEnableMode() {
    ApprOptionsDialog dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* autoButton = child<QRadioButton>(&dialog, "rbAuto");
    QVERIFY(autoButton->isEnabled());
    // A radio button takes clicks on its indicator and text only.
    const auto clickRadio = [&](const char* name) {
        QRadioButton* button = child<QRadioButton>(&dialog, name);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
    };
    clickRadio("rbLinear");
    QVERIFY(!autoButton->isEnabled());
    clickRadio("rbProportional");
    QVERIFY(!autoButton->isEnabled());
    clickRadio("rbPiecewiseLinear");
    QVERIFY(autoButton->isEnabled());
}

void DialogsTest::optionsOkWritesCancelKeeps() {
    ApprOptions options;
    options.resetToDefaults();
    options.pulseWeight = 0.01;
    ApprOptionsDialog dialog;

    // Cancel after changing everything leaves the options.
    whenModal([&] {
        child<QRadioButton>(&dialog, "rbProportional")->setChecked(true);
        child<TFloatEdit>(&dialog, "edRefTemp")->SetValue(30.0);
        child<QPushButton>(&dialog, "bnCancel")->click();
    });
    QVERIFY(!dialog.edit(options));
    QCOMPARE(options.function, 0);
    QCOMPARE(options.refTemp, 20.0);

    whenModal([&] {
        child<QRadioButton>(&dialog, "rbLinear")->setChecked(true);
        child<QRadioButton>(&dialog, "rbSections")->setChecked(true);
        auto* scatter = child<TFloatEdit>(&dialog, "edSectionScatter");
        scatter->SetValue(250.0);  // clamped to 100 by the edit
        child<TFloatEdit>(&dialog, "edMaxAutoErr")->SetValue(0.5);
        child<TFloatEdit>(&dialog, "edRefTemp")->SetValue(-300.0);  // clamped to -273.15
        child<QPushButton>(&dialog, "bnOK")->click();
    });
    QVERIFY(dialog.edit(options));
    QCOMPARE(options.function, 1);
    QCOMPARE(options.manual, 1);  // the mode buttons kept "Ручной"
    QCOMPARE(options.byEntries, 0);
    QCOMPARE(options.sectionScatter, 100.0);
    QCOMPARE(options.maxAutoErr, 0.5);
    QCOMPARE(options.refTemp, -273.15);
    QCOMPARE(options.pulseWeight, 0.01);

    // Automatic mode: manual becomes 0.
    whenModal([&] {
        child<QRadioButton>(&dialog, "rbPiecewiseLinear")->setChecked(true);
        child<QRadioButton>(&dialog, "rbAuto")->setChecked(true);
        child<QPushButton>(&dialog, "bnOK")->click();
    });
    QVERIFY(dialog.edit(options));
    QCOMPARE(options.function, 0);
    QCOMPARE(options.manual, 0);
}

void DialogsTest::optionsDefaultsSurviveCancel() {
    ApprOptions options;
    options.function = 2;
    options.manual = 0;
    options.byEntries = 0;
    options.refTemp = 15.0;
    options.maxAutoErr = 3.0;
    options.sectionScatter = 7.0;
    ApprOptionsDialog dialog;
    whenModal([&] {
        child<QPushButton>(&dialog, "bnDefault")->click();
        // The dialog shows the defaults at once.
        QVERIFY(child<QRadioButton>(&dialog, "rbPiecewiseLinear")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "rbManual")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "rbManual")->isEnabled());
        QVERIFY(child<QRadioButton>(&dialog, "rbEntries")->isChecked());
        child<QPushButton>(&dialog, "bnCancel")->click();
    });
    QVERIFY(!dialog.edit(options));
    QCOMPARE(options.function, 0);
    QCOMPARE(options.manual, 1);
    QCOMPARE(options.byEntries, 1);
    QCOMPARE(options.refTemp, 20.0);
    QCOMPARE(options.maxAutoErr, 1.0);
    QCOMPARE(options.sectionScatter, 5.0);
}

// --- New package --------------------------------------------------------------

void DialogsTest::newPackageChoice_data() {
    QTest::addColumn<QString>("typeButton");
    QTest::addColumn<QString>("methodButton");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("method");
    QTest::newRow("calibration, volume") << "rbCalibrMode" << "rbVolMethod" << 0 << 0;
    QTest::newRow("verification, mass") << "rbCheckMode" << "rbMassMethod" << 1 << 1;
    QTest::newRow("calibration, reference") << "rbCalibrMode" << "rbGMethod" << 0 << 2;
    QTest::newRow("verification, reference") << "rbCheckMode" << "rbGMethod" << 1 << 2;
}

void DialogsTest::newPackageChoice() {
    QFETCH(QString, typeButton);
    QFETCH(QString, methodButton);
    QFETCH(int, type);
    QFETCH(int, method);
    NewPackageDialog dialog;
    whenModal([&] {
        dialog.findChild<QRadioButton*>(typeButton)->setChecked(true);
        dialog.findChild<QRadioButton*>(methodButton)->setChecked(true);
        child<QPushButton>(&dialog, "bnOK")->click();
    });
    const auto choice = dialog.choose();
    QVERIFY(choice);
    QCOMPARE(static_cast<int>(choice->type), type);
    QCOMPARE(static_cast<int>(choice->method), method);
}

void DialogsTest::newPackageKeepsChoice() {
    NewPackageDialog dialog;
    QCOMPARE(static_cast<int>(dialog.choice().type), 0);
    QCOMPARE(static_cast<int>(dialog.choice().method), 0);
    whenModal([&] {
        child<QRadioButton>(&dialog, "rbCheckMode")->setChecked(true);
        child<QRadioButton>(&dialog, "rbMassMethod")->setChecked(true);
        child<QPushButton>(&dialog, "bnOK")->click();
    });
    QVERIFY(dialog.choose());
    // Opened again: the previous choice is shown; Отмена gives nothing.
    whenModal([&] {
        QVERIFY(child<QRadioButton>(&dialog, "rbCheckMode")->isChecked());
        QVERIFY(child<QRadioButton>(&dialog, "rbMassMethod")->isChecked());
        child<QPushButton>(&dialog, "bnCancel")->click();
    });
    QCOMPARE(dialog.choose().has_value(), false);
}

// --- Lines ----------------------------------------------------------------------

void DialogsTest::linesTableTexts() {
    Locale comma = Locale::current();
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);

    files::Lines lines(2);
    lines[0].a = 1.5;
    lines[0].b = -0.25;
    lines[0].upper = 100.0;
    lines[1].a = 0.0001234;
    lines[1].b = 2.0;
    lines[1].upper = 500.0;

    QWidget owner;
    LinesDialog dialog(&owner);
    QVERIFY(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QVERIFY(!dialog.isModal());
    TGoodTable* table = dialog.table();
    QCOMPARE(table->Items(), QStringList({"A", "B", "F (Гц)"}));
    QCOMPARE(table->RowCount(), 0);

    dialog.SetLines(&lines);
    QCOMPARE(table->RowCount(), 2);
    QCOMPARE(table->Cells(0, 0), QStringLiteral("1,5000000"));
    QCOMPARE(table->Cells(0, 1), QStringLiteral("-0,2500000"));
    QCOMPARE(table->Cells(0, 2), QStringLiteral("100,000000"));
    QCOMPARE(table->Cells(1, 0), QStringLiteral("0,0001234"));
    QCOMPARE(table->Cells(1, 2), QString());  // the last line has no upper limit

    // The dialog reads the lines again on Refresh and on every show.
    lines.resize(1);
    dialog.Refresh();
    QCOMPARE(table->RowCount(), 1);
    QCOMPARE(table->Cells(0, 2), QString());
    lines[0].a = 3.0;
    dialog.Show();
    QCOMPARE(table->Cells(0, 0), QStringLiteral("3,0000000"));
    lines.clear();
    dialog.Show();  // already visible
    QCOMPARE(table->RowCount(), 0);

    dialog.SetBoundCaption(QStringLiteral("Код"));
    QCOMPARE(table->Captions(2), QStringLiteral("Код"));
}

// --- Section selection ------------------------------------------------------------

void DialogsTest::sectionClickTogglesSection() {
    SPILT_STRUCT series;
    const int sections[] = {1, 1, 2, 3, 3, 3};
    for (int i = 0; i < 6; ++i) series.points.push_back(chartPoint(1.0 + i, 0.1 * i - 0.2, sections[i]));
    approximation::SectionSelection selection(series);

    SectionSelectDialog dialog;
    dialog.SetSeries(&selection);
    QCOMPARE(dialog.seriesFront()->count(), 6);
    QCOMPARE(dialog.seriesBack()->count(), 0);  // attaching cleared the marks
    QCOMPARE(dialog.pointLabels(), QStringList({"1", "1", "2", "3", "3", "3"}));
    QCOMPARE(dialog.seriesFront()->at(4), QPointF(5.0, 0.2));

    dialog.clickPoint(4);
    QCOMPARE(dialog.seriesBack()->count(), 3);
    for (int i = 0; i < 6; ++i) QCOMPARE(bool(series.points[i].point), sections[i] == 3);
    QCOMPARE(dialog.seriesBack()->at(0), dialog.seriesFront()->at(3));

    dialog.clickPoint(0);
    QCOMPARE(dialog.seriesBack()->count(), 5);

    // Any point of a marked section clears the whole section.
    dialog.clickPoint(5);
    QCOMPARE(dialog.seriesBack()->count(), 2);
    for (int i = 0; i < 6; ++i) QCOMPARE(bool(series.points[i].point), sections[i] == 1);

    const QList<QAbstractAxis*> horizontal = dialog.chart()->axes(Qt::Horizontal, dialog.seriesFront());
    QCOMPARE(horizontal.size(), 2);
    QStringList titles;
    for (QAbstractAxis* axis : dialog.chart()->axes()) titles << axis->titleText();
    titles.sort();
    QCOMPARE(titles, QStringList({"Номер сечения", "Отклонения, %", "Расход, м^3/ч"}));
    QVERIFY(!dialog.chart()->legend()->isVisible());
}

void DialogsTest::sectionMouseClickOnPoint() {
    SPILT_STRUCT series;
    const int sections[] = {1, 2, 2, 4};
    const double flows[] = {0.5, 2.0, 8.0, 40.0};
    for (int i = 0; i < 4; ++i) series.points.push_back(chartPoint(flows[i], i % 2 ? 1.0 : -1.0, sections[i]));
    approximation::SectionSelection selection(series);

    SectionSelectDialog dialog;
    dialog.SetSeries(&selection);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QChartView* view = dialog.findChild<QChartView*>();
    QVERIFY(view);
    const QPointF scene = dialog.chart()->mapToPosition(dialog.seriesFront()->at(2), dialog.seriesFront());
    const QPoint at = view->mapFromScene(dialog.chart()->mapToScene(scene));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE(dialog.seriesBack()->count(), 2);
    QVERIFY(series.points[1].point && series.points[2].point);
    QVERIFY(!series.points[0].point && !series.points[3].point);
}

void DialogsTest::sectionCancel() {
    SPILT_STRUCT series;
    series.points.push_back(chartPoint(1.0, 0.0, 1));
    approximation::SectionSelection selection(series);
    SectionSelectDialog dialog;
    whenModal([&] { buttonWithText(&dialog, QStringLiteral("Отмена"))->click(); });
    QVERIFY(!dialog.choose(selection));
    whenModal([&] {
        dialog.clickPoint(0);
        buttonWithText(&dialog, QStringLiteral("Продолжить"))->click();
    });
    QVERIFY(dialog.choose(selection));
    QCOMPARE(series.points[0].point, 1);
    // The dialog lets the series go when it closes.
    dialog.clickPoint(0);
    QCOMPARE(series.points[0].point, 1);
    QCOMPARE(dialog.seriesFront()->count(), 0);
}

// --- Text export and import options ----------------------------------------------

void DialogsTest::csvFirstUse() {
    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    CsvOptionsDialog dialog;
    dialog.prepare(*package, true, 0);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Экспрот в текстовый файл"));
    QCOMPARE(dialog.fileList()->count(), 0);
    QCOMPARE(dialog.separatorBox()->currentIndex(), 0);
    QCOMPARE(dialog.separator(), ' ');
    QCOMPARE(dialog.decimalSeparatorBox()->currentText(), QStringLiteral("(.) Точка"));
    QCOMPARE(dialog.decimalChar(), '.');
    QVERIFY(!dialog.decimalSeparatorBox()->isHidden());
    QCOMPARE(dialog.availableList()->item(dialog.availableList()->count() - 1)->text(),
             QStringLiteral("Заполнить нулями"));

    {
        Locale comma = Locale::current();
        comma.decimalSeparator = ',';
        ScopedLocale scoped(comma);
        dialog.prepare(*package, false, 0);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Импорт из текстового файла"));
        QCOMPARE(dialog.decimalSeparatorBox()->itemText(2), QStringLiteral("(,) Windows"));
        QVERIFY(dialog.decimalSeparatorBox()->isHidden());
        QCOMPARE(dialog.availableList()->item(dialog.availableList()->count() - 1)->text(),
                 QStringLiteral("Пропустить"));
        dialog.decimalSeparatorBox()->setCurrentIndex(2);
        QCOMPARE(dialog.decimalChar(), ',');
    }
    dialog.separatorBox()->setCurrentIndex(-1);
    QCOMPARE(dialog.separator(), '\t');
}

void DialogsTest::csvOfferedColumns() {
    // A verification package: with 3 hidden columns the last three are left out.
    PackagePtr package = makePackage(0, PackageType::Verification, Method::Volume);
    const int count = package->columnCount();
    CsvOptionsDialog dialog;
    for (const bool exportText : {true, false}) {
        for (const int hidden : {0, 3}) {
            dialog.prepare(*package, exportText, hidden);
            std::vector<int> expected;
            bool readOnlySeen = false;
            for (int k = 0; k < count - hidden; ++k) {
                const ColumnInfo info = package->column(k);
                if (info.checkBox) continue;
                if (info.readOnly) readOnlySeen = true;
                if (!exportText && info.readOnly) continue;
                expected.push_back(k);
            }
            QVERIFY(readOnlySeen);
            expected.push_back(files::kSkipColumn);
            QCOMPARE(dialog.availableColumns(), expected);
        }
    }
    // The calibration package's check-box column (the first) is never offered.
    PackagePtr calibration = makePackage(0, PackageType::Calibration, Method::Volume);
    QVERIFY(calibration->column(0).checkBox);
    dialog.prepare(*calibration, true, 0);
    QCOMPARE(dialog.availableColumns().front(), 1);
}

void DialogsTest::csvListButtons() {
    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    CsvOptionsDialog dialog;
    dialog.prepare(*package, true, 0);
    const std::vector<int> all = dialog.availableColumns();

    QVERIFY(dialog.selectAvailable(3));
    child<QPushButton>(&dialog, "bnAvail2File")->click();
    QVERIFY(dialog.selectAvailable(files::kSkipColumn));
    dialog.avail2File();
    dialog.avail2File();  // the skip column may be taken any number of times
    QVERIFY(dialog.selectAvailable(1));
    dialog.avail2File();
    QCOMPARE(dialog.lineColumns(), std::vector<int>({3, files::kSkipColumn, files::kSkipColumn, 1}));
    QVERIFY(dialog.selectAvailable(files::kSkipColumn));  // still offered, still last
    QCOMPARE(dialog.availableColumns().back(), files::kSkipColumn);

    QVERIFY(dialog.selectFile(1));
    child<QPushButton>(&dialog, "bnUp")->click();
    QCOMPARE(dialog.lineColumns(), std::vector<int>({3, files::kSkipColumn, 1, files::kSkipColumn}));
    QCOMPARE(dialog.fileList()->currentRow(), 2);
    dialog.moveUp();
    dialog.moveUp();
    dialog.moveUp();  // already first
    QCOMPARE(dialog.lineColumns(), std::vector<int>({1, 3, files::kSkipColumn, files::kSkipColumn}));
    dialog.fileList()->setCurrentRow(3);
    child<QPushButton>(&dialog, "bnDown")->click();  // already last
    QCOMPARE(dialog.fileList()->currentRow(), 3);
    dialog.fileList()->setCurrentRow(1);
    dialog.moveDown();
    QCOMPARE(dialog.lineColumns(), std::vector<int>({1, files::kSkipColumn, 3, files::kSkipColumn}));

    // Giving columns back puts them in their place; a skip column just goes.
    dialog.fileList()->setCurrentRow(2);
    child<QPushButton>(&dialog, "bnFile2Avail")->click();
    dialog.fileList()->setCurrentRow(0);
    dialog.file2Avail();
    dialog.fileList()->setCurrentRow(0);
    dialog.file2Avail();
    QCOMPARE(dialog.lineColumns(), std::vector<int>({files::kSkipColumn}));
    QCOMPARE(dialog.availableColumns(), all);

    // Nothing selected: the buttons do nothing.
    dialog.fileList()->setCurrentRow(-1);
    dialog.availableList()->setCurrentRow(-1);
    dialog.file2Avail();
    dialog.avail2File();
    dialog.moveUp();
    QCOMPARE(dialog.lineColumns(), std::vector<int>({files::kSkipColumn}));
}

void DialogsTest::csvChoicesStoredAndRestored() {
    PackagePtr exportPackage = makePackage(0, PackageType::Verification, Method::Volume);
    PackagePtr kelt = makePackage(1, PackageType::Calibration, Method::Mass);
    QCOMPARE(CsvOptionsDialog::valueName(*exportPackage, true), std::string("csv0101"));
    QCOMPARE(CsvOptionsDialog::valueName(*kelt, false), std::string("csv1010"));

    {
        CsvOptionsDialog dialog;
        dialog.prepare(*exportPackage, true, 0);
        for (const int number : {4, files::kSkipColumn, 2}) {
            QVERIFY(dialog.selectAvailable(number));
            dialog.avail2File();
        }
        dialog.separatorBox()->setCurrentIndex(2);
        dialog.decimalSeparatorBox()->setCurrentIndex(1);
        dialog.finish(*exportPackage, QString());
    }
    RegKey key;
    key.Open();
    QCOMPARE(key.ReadString("csv0101"), std::string("\x05\xff\x03"));
    QCOMPARE(key.ReadInt("Separator", -1), 2);
    QCOMPARE(key.ReadInt("DecimalSeparator", -1), 1);
    key.Close();

    // A new dialog (a restart) shows the same choices; the import of the
    // same kind keeps its own, empty list.
    CsvOptionsDialog dialog;
    dialog.prepare(*exportPackage, true, 0);
    QCOMPARE(dialog.lineColumns(), std::vector<int>({4, files::kSkipColumn, 2}));
    QCOMPARE(dialog.separator(), ';');
    QCOMPARE(dialog.decimalChar(), ',');
    const std::vector<int> available = dialog.availableColumns();
    QVERIFY(std::find(available.begin(), available.end(), 4) == available.end());
    dialog.prepare(*exportPackage, false, 0);
    QCOMPARE(dialog.lineColumns(), std::vector<int>());
    QCOMPARE(dialog.separator(), ';');
}

void DialogsTest::csvStoredValuesClampedAndIgnored() {
    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    {
        RegKey key;
        key.Open();
        key.WriteInt("Separator", 9);
        key.WriteInt("DecimalSeparator", -4);
        // Column 1, a column this package does not have, a check-box column
        // (0, not offered) and a read-only column that import leaves out.
        std::string columns = {char(2), char(100), char(1), char(0x7f), char(0xff)};
        key.WriteString("csv0001", columns);
        key.WriteString("csv0000", columns);
    }
    CsvOptionsDialog dialog;
    dialog.prepare(*package, true, 0);
    QCOMPARE(dialog.separatorBox()->currentIndex(), 3);
    QCOMPARE(dialog.separator(), '\t');
    QCOMPARE(dialog.decimalSeparatorBox()->currentIndex(), 0);
    QCOMPARE(dialog.lineColumns(), std::vector<int>({1, files::kSkipColumn}));

    int readOnly = -1;
    for (int k = 0; k < package->columnCount(); ++k) {
        if (package->column(k).readOnly && !package->column(k).checkBox) readOnly = k;
    }
    QVERIFY(readOnly > 1);
    {
        RegKey key;
        key.Open();
        key.WriteString("csv0000", std::string({char(readOnly + 1), char(2)}));
    }
    dialog.prepare(*package, false, 0);
    QCOMPARE(dialog.lineColumns(), std::vector<int>({1}));
}

void DialogsTest::csvLongColumnListNotStored() {
    PackagePtr package = makePackage(2, PackageType::Calibration, Method::Reference);
    {
        RegKey key;
        key.Open();
        key.WriteString("csv2021", "\x04");
    }
    CsvOptionsDialog dialog;
    dialog.prepare(*package, true, 0);
    QCOMPARE(dialog.lineColumns(), std::vector<int>({3}));
    QVERIFY(dialog.selectAvailable(files::kSkipColumn));
    for (int i = 0; i < 31; ++i) dialog.avail2File();  // 32 line columns
    dialog.separatorBox()->setCurrentIndex(1);
    dialog.finish(*package, QString());
    RegKey key;
    key.Open();
    QCOMPARE(key.ReadString("csv2021"), std::string("\x04"));
    QCOMPARE(key.ReadInt("Separator", -1), 1);

    // 31 columns are stored.
    dialog.fileList()->setCurrentRow(31);
    dialog.file2Avail();
    dialog.finish(*package, QString());
    QCOMPARE(key.ReadString("csv2021"), std::string("\x04") + std::string(30, '\xff'));
}

void DialogsTest::csvCancelStoresNothing() {
    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    CsvOptionsDialog dialog;
    bool asked = false;
    dialog.setFileChooser([&](QWidget*, bool) {
        asked = true;
        return QString();
    });
    whenModal([&] {
        dialog.selectAvailable(1);
        dialog.avail2File();
        dialog.separatorBox()->setCurrentIndex(3);
        child<QPushButton>(&dialog, "bnCancel")->click();
    });
    dialog.Execute(*package, true, 0);
    QVERIFY(!asked);
    RegKey key;
    key.Open();
    QCOMPARE(key.ReadInt("Separator", -1), -1);
    QCOMPARE(key.ReadString("csv0001", "none"), std::string("none"));
}

void DialogsTest::csvExportWritesChosenSeparators() {
    Locale comma = Locale::current();
    comma.decimalSeparator = ',';
    ScopedLocale scoped(comma);

    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    // Two typed columns of the first entry.
    const std::vector<int> offered = [&] {
        CsvOptionsDialog d;
        d.prepare(*package, false, 0);
        return d.availableColumns();
    }();
    const int first = offered.at(0), second = offered.at(1);
    package->addEntry();
    package->setCellText(0, first, "12,5");
    package->setCellText(0, second, "3");
    package->recalcEntry(0);

    const QString path = m_dir.filePath(QStringLiteral("export.txt"));
    CsvOptionsDialog dialog;
    bool askedForSave = false;
    dialog.setFileChooser([&](QWidget*, bool save) {
        askedForSave = save;
        return path;
    });
    whenModal([&] {
        for (const int number : {first, files::kSkipColumn, second}) {
            dialog.selectAvailable(number);
            dialog.avail2File();
        }
        dialog.separatorBox()->setCurrentIndex(2);
        dialog.decimalSeparatorBox()->setCurrentIndex(0);
        child<QPushButton>(&dialog, "bnOK")->click();
    });
    dialog.Execute(*package, true, 0);
    QVERIFY(askedForSave);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QString expected = QString::fromStdString(package->cellText(0, first)) + ";0;" +
                       QString::fromStdString(package->cellText(0, second)) + "\r\n";
    QVERIFY(expected.startsWith(QStringLiteral("12,5")));
    expected.replace(QLatin1Char(','), QLatin1Char('.'));
    QCOMPARE(QString::fromUtf8(file.readAll()), expected);

    RegKey key;
    key.Open();
    QCOMPARE(key.ReadString("csv0001"), std::string({char(first + 1), '\xff', char(second + 1)}));
    QCOMPARE(key.ReadInt("Separator", -1), 2);
}

void DialogsTest::csvImportAddsEntriesAndStores() {
    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    CsvOptionsDialog dialog;
    dialog.prepare(*package, false, 0);
    const std::vector<int> offered = dialog.availableColumns();
    QVERIFY(dialog.selectAvailable(offered.at(0)));
    dialog.avail2File();
    QVERIFY(dialog.selectAvailable(offered.at(1)));
    dialog.avail2File();
    dialog.separatorBox()->setCurrentIndex(1);

    const QString path = m_dir.filePath(QStringLiteral("import.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("20.5,4\r\nabc,5\r\n7,8,9\r\n1\r\n");
    file.close();
    dialog.finish(*package, path);
    QCOMPARE(package->entryCount(), 2);

    RegKey key;
    key.Open();
    QCOMPARE(key.ReadString("csv0000"), std::string({char(offered.at(0) + 1), char(offered.at(1) + 1)}));
    QCOMPARE(key.ReadInt("Separator", -1), 1);

    // No file chosen: nothing imported, the settings stored all the same.
    dialog.separatorBox()->setCurrentIndex(0);
    dialog.finish(*package, QString());
    QCOMPARE(package->entryCount(), 2);
    QCOMPARE(key.ReadInt("Separator", -1), 0);
}

// --- Accessibility ------------------------------------------------------------------

// A screen reader or a GUI test finds an edit or a drop-down list by the
// label beside it, and reads what it holds as its value.
void DialogsTest::controlsAreNamedByTheirLabels() {
    const auto labelOf = [](QWidget* control) -> QString {
        for (QLabel* label : control->window()->findChildren<QLabel*>())
            if (label->buddy() == control) return label->text();
        return QString();
    };

    ApprOptionsDialog options;
    const struct {
        const char* name;
        const char* label;
    } edits[] = {{"edSectionScatter", "Разброс в сечении, %"},
                 {"edMaxAutoErr", "Погрешность в авт. режиме, %"},
                 {"edRefTemp", "Температура приведения, °C"}};
    for (const auto& e : edits) {
        auto* edit = child<TFloatEdit>(&options, e.name);
        QCOMPARE(labelOf(edit), QString::fromUtf8(e.label) + QLatin1Char(':'));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(edit);
        QCOMPARE(iface->text(QAccessible::Name), QString::fromUtf8(e.label));
        QCOMPARE(iface->text(QAccessible::Value), edit->text());
    }

    PackagePtr package = makePackage(0, PackageType::Calibration, Method::Volume);
    CsvOptionsDialog csv;
    csv.prepare(*package, true, 0);
    csv.separatorBox()->setCurrentIndex(2);
    const struct {
        QWidget* control;
        const char* label;
        QAccessible::Role role;
        QString value;
    } controls[] = {
        {csv.separatorBox(), "Разделитель между столбцами", QAccessible::ComboBox, QStringLiteral("(;) Точка с зап.")},
        {csv.decimalSeparatorBox(), "Разделитель целой и дробной частей", QAccessible::ComboBox,
         QStringLiteral("(.) Точка")},
        {csv.fileList(), "Столбцы в файле", QAccessible::List, QString()},
        {csv.availableList(), "Доступные столбцы", QAccessible::List, QString()},
    };
    for (const auto& c : controls) {
        const QString name = QString::fromUtf8(c.label);
        QCOMPARE(labelOf(c.control), name + QLatin1Char(':'));
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(c.control);
        QCOMPARE(iface->role(), c.role);
        QCOMPARE(iface->text(QAccessible::Name), name);
        if (c.role == QAccessible::ComboBox) {
            QCOMPARE(iface->text(QAccessible::Value), c.value);
            QCOMPARE(iface->childCount(), 1);  // the drop-down list
        }
    }
    // The value follows the choice; the name stays.
    csv.separatorBox()->setCurrentIndex(3);
    QAccessibleInterface* separator = QAccessible::queryAccessibleInterface(csv.separatorBox());
    QCOMPARE(separator->text(QAccessible::Value), QStringLiteral("(TAB) Табуляция"));
    QCOMPARE(separator->text(QAccessible::Name), QStringLiteral("Разделитель между столбцами"));
}

QTEST_MAIN(DialogsTest)
#include "DialogsTest.moc"
