// The limits of permissible error in the window: the "Пределы погрешности"
// dialog and its refusals, the verdict column of verification tables with
// the failing errors in red, and the verdict in the status bar as entries,
// tabs and limits change.

#include "LimitsDialog.h"
#include "MainWindow.h"
#include "PackageTableSource.h"
#include "WidgetActions.h"
#include "components/FloatEdit.h"
#include "components/GoodTable.h"
#include "components/StatusBar.h"

#include "common/Locale.h"
#include "comprt/ComPort.h"
#include "devices/DeviceBase.h"
#include "document/Entries.h"
#include "document/Limits.h"
#include "document/PackageFixture.h"
#include "link/RegKey.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using namespace widgettest;

namespace {

const QColor kBlack(0, 0, 0);

void setText(PackageBase& package, int row, int field, const std::string& text) {
    package.setCellText(row, columnOf(package, field), text);
}

double fieldValue(const PackageBase& package, int row, int field) {
    double value = 0;
    package.getField(row, field, &value);
    return value;
}

// One entry: 1 l per 0.1 Hz of the fitted line below, Tэт = 36 s and T1 = 100 s.
void addEntry(PackageBase& package, const char* pulses, const char* volume) {
    package.addEntry();
    const int row = package.entryCount() - 1;
    setText(package, row, kTimeRef, "36");
    setText(package, row, kTime1, "100");
    setText(package, row, kPulses1, pulses);
    setText(package, row, kVolRef, volume);
    package.recalcEntry(row);
}

// The same six entries in both packages: the verification entries lie on
// the line fitted to the calibration ones.
void addCalibrationEntries(PackageBase& package) {
    const struct {
        const char* pulses;
        const char* volume;
    } rows[] = {{"1001", "10.2"}, {"1011", "10.2"}, {"5001", "50.1"}, {"5051", "50.3"}, {"10001", "99.0"}, {"10101", "100.2"}};
    for (const auto& r : rows) addEntry(package, r.pulses, r.volume);
}

QString verdictText(TMainForm& form) { return form.verdictBar()->PanelText(0); }
QString limitsText(TMainForm& form) { return form.verdictBar()->PanelText(1); }

// Types into an edit as a user does, without Enter: the edit takes the
// value as it is typed.
void keyIn(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
}

// The scripted questions, but the window's own limits dialog.
struct RealLimitsDialog : ScriptedDialogs {
    StandardMainDialogs real{nullptr};
    bool editLimits(QWidget* owner, const QString& model, Limits& limits) override {
        return real.editLimits(owner, model, limits);
    }
};

}  // namespace

class LimitsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void verdictColumnOnVerificationTablesOnly();
    void failingErrorsAreRedAndCounted();
    void volumeErrorOfThePulseOutputIsJudged();
    void statusFollowsEntriesTabsAndLimits();
    void limitsCommandStoresOnlyUsableLimits();
    void graphsGetTheLimitsWithAVerificationPackage();
    void dialogTakesEitherForm();
    void dialogRefusesBadLimits_data();
    void dialogRefusesBadLimits();
    void dialogThroughTheWindow();

private:
    TMainForm& makeForm(std::unique_ptr<MainDialogs> dialogs = nullptr);
    void newDocument(int code);
    PackageBase& newPackage(PackageType type);
    // A calibration package fitted to its entries, then a verification
    // package with the same entries; the verification tab is selected.
    PackageBase& fittedVerification(int code);
    void setLimits(const Limits& limits);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TMainForm> m_form;
    ScriptedDialogs* m_script = nullptr;
};

void LimitsTest::initTestCase() {
    // No device of the machine: the Dorn page opens no port.
    comprt::ComPort::ReplacePortList(comprt::ComPort::ComList(std::vector<std::string>{"/dev/rvservice-none"}));
}

void LimitsTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    RegKey::SetFileLocation(m_dir->filePath(QStringLiteral("settings.json")).toStdString());
}

void LimitsTest::cleanup() {
    m_form.reset();
    m_script = nullptr;
    numedit::setMessageHandler(nullptr);
    RegKey::SetFileLocation({});
    m_dir.reset();
}

TMainForm& LimitsTest::makeForm(std::unique_ptr<MainDialogs> dialogs) {
    if (!dialogs) {
        auto script = std::make_unique<ScriptedDialogs>();
        m_script = script.get();
        dialogs = std::move(script);
    }
    m_form = std::make_unique<TMainForm>(std::move(dialogs));
    m_form->show();
    return *m_form;
}

void LimitsTest::newDocument(int code) {
    m_script->code = code;
    m_form->ActionNew->trigger();
    QVERIFY(m_form->document().isOpen());
}

PackageBase& LimitsTest::newPackage(PackageType type) {
    m_script->package = NewPackageChoice{type, Method::Volume};
    m_form->ActionNewPackage->trigger();
    return *m_form->document().packages().back();
}

PackageBase& LimitsTest::fittedVerification(int code) {
    newDocument(code);
    PackageBase& calibration = newPackage(PackageType::Calibration);
    addCalibrationEntries(calibration);
    m_form->ActionAppr->trigger();
    PackageBase& verification = newPackage(PackageType::Verification);
    addCalibrationEntries(verification);
    m_form->SelectTab(0);
    m_form->SelectTab(2);
    return verification;
}

void LimitsTest::setLimits(const Limits& limits) {
    m_script->limits = limits;
    m_form->ActionLimits->trigger();
}

// ---- the table ------------------------------------------------------------------

void LimitsTest::verdictColumnOnVerificationTablesOnly() {
    TMainForm& form = makeForm();
    newDocument(1);  // a Dorn model without a pulse output: three columns hidden
    PackageBase& calibration = newPackage(PackageType::Calibration);
    QCOMPARE(form.table()->ColCount(), calibration.columnCount());
    QVERIFY(form.table()->Captions(form.table()->ColCount() - 1) != QStringLiteral("Вывод"));

    PackageBase& verification = newPackage(PackageType::Verification);
    form.ActionNewEntry->trigger();
    const int hidden = form.document().device()->HiddenColumns(true);
    QCOMPARE(hidden, 3);
    const int col = verification.columnCount() - hidden;
    QCOMPARE(form.table()->ColCount(), col + 1);
    QCOMPARE(form.table()->Captions(col), QStringLiteral("Вывод"));
    QVERIFY(form.table()->ColReadOnly(col));
    // Without limits nothing is judged.
    QCOMPARE(form.table()->Cells(0, col), QString());
    QCOMPARE(verdictText(form), QStringLiteral("пределы не заданы"));
    QCOMPARE(limitsText(form), QString());

    // The column takes no typing: Enter on it opens no editor.
    form.table()->SetRow(0);
    form.table()->SetCol(col);
    form.table()->setFocus();
    QTest::keyClick(form.table(), Qt::Key_Return);
    QVERIFY(!form.table()->EditorVisible());

    // Back on the calibration tab the column goes.
    form.SelectTab(1);
    QCOMPARE(form.table()->ColCount(), calibration.columnCount());
    QCOMPARE(verdictText(form), QString());
}

void LimitsTest::failingErrorsAreRedAndCounted() {
    TMainForm& form = makeForm();
    PackageBase& package = fittedVerification(1);
    addEntry(package, "5001", "60.0");  // 16.5 % below the line: fails
    package.addEntry();                 // no reference flow: no data
    form.SelectTab(0);
    form.SelectTab(2);
    setLimits(Limits::ofZones({{0.0, 3.0}}));

    TGoodTable* table = form.table();
    const int verdict = package.columnCount() - form.document().device()->HiddenColumns(true);
    const int flowErr = columnOf(package, kFlowErr);
    QCOMPARE(table->RowCount(), 8);
    const struct {
        int row;
        const char* word;
        bool red;
    } expected[] = {{0, "годен", false}, {5, "годен", false}, {6, "не годен", true}, {7, "нет данных", false}};
    for (const auto& e : expected) {
        QCOMPARE(table->Cells(e.row, verdict), QString::fromUtf8(e.word));
        QCOMPARE(table->CellsTextColor(e.row, flowErr), e.red ? PackageTableSource::kFailColor : kBlack);
        QCOMPARE(table->CellsTextColor(e.row, verdict), e.red ? PackageTableSource::kFailColor : kBlack);
    }
    // Only the errors are red, not the rest of a failing row.
    QCOMPARE(table->CellsTextColor(6, columnOf(package, kFlowRef)), kBlack);
    QCOMPARE(verdictText(form), QStringLiteral("Не годен: 2 точек вне пределов"));
    QCOMPARE(limitsText(form), QStringLiteral("зоны: от 0 м³/ч ± 3 %"));

    // Typing the right volume into the failing row judges it again at once.
    table->SetRow(6);
    table->SetCol(columnOf(package, kVolRef));
    table->setFocus();
    QTest::keyClick(table, '5');
    QTest::keyClicks(table->Editor(), QStringLiteral("0"));
    QTest::keyClick(table->Editor(), Qt::Key_Return);
    QCOMPARE(table->Cells(6, verdict), QStringLiteral("годен"));
    QCOMPARE(table->CellsTextColor(6, flowErr), kBlack);
    QCOMPARE(verdictText(form), QStringLiteral("Не годен: 1 точек вне пределов"));

    // Deleting the entry without data leaves a package that passes.
    table->SetRow(7);
    form.ActionDeleteEntry->trigger();
    QCOMPARE(verdictText(form), QStringLiteral("Годен"));
    QCOMPARE(table->ColCount(), verdict + 1);
}

void LimitsTest::volumeErrorOfThePulseOutputIsJudged() {
    TMainForm& form = makeForm();
    PackageBase& package = fittedVerification(2);  // a Dorn model with a pulse output
    QCOMPARE(form.document().device()->HiddenColumns(true), 0);
    setLimits(Limits::ofZones({{0.0, 3.0}}));
    // No pulses counted: dV is -100 % while the flow error is within the limit.
    const int dV = columnOf(package, kVolErr);
    const int flowErr = columnOf(package, kFlowErr);
    TGoodTable* table = form.table();
    QCOMPARE(fieldValue(package, 0, kVolErr), -100.0);
    QCOMPARE(table->CellsTextColor(0, dV), PackageTableSource::kFailColor);
    QCOMPARE(table->CellsTextColor(0, flowErr), kBlack);
    QCOMPARE(table->Cells(0, package.columnCount()), QStringLiteral("не годен"));
    QCOMPARE(verdictText(form), QStringLiteral("Не годен: 6 точек вне пределов"));
}

void LimitsTest::statusFollowsEntriesTabsAndLimits() {
    TMainForm& form = makeForm();
    newDocument(1);
    QCOMPARE(verdictText(form), QString());  // the device page
    newPackage(PackageType::Verification);
    QCOMPARE(verdictText(form), QStringLiteral("пределы не заданы"));
    setLimits(Limits::ofClass(2, 10));
    QCOMPARE(verdictText(form), QStringLiteral("нет точек"));
    QCOMPARE(limitsText(form), QStringLiteral("класс 2, qp = 10 м³/ч"));
    // A new entry has no reference flow yet.
    form.ActionNewEntry->trigger();
    QCOMPARE(verdictText(form), QStringLiteral("Не годен: 1 точек вне пределов"));
    form.SelectTab(0);
    QCOMPARE(verdictText(form), QString());
    QCOMPARE(limitsText(form), QString());
    form.SelectTab(1);
    QCOMPARE(verdictText(form), QStringLiteral("Не годен: 1 точек вне пределов"));
    // Limits removed: nothing judged.
    setLimits(Limits{});
    QCOMPARE(verdictText(form), QStringLiteral("пределы не заданы"));
    QCOMPARE(form.table()->Cells(0, form.table()->ColCount() - 1), QString());
}

void LimitsTest::limitsCommandStoresOnlyUsableLimits() {
    TMainForm& form = makeForm();
    QVERIFY(!form.ActionLimits->isEnabled());
    newDocument(1);
    QVERIFY(form.ActionLimits->isEnabled());
    const int type = form.document().device()->Type();

    setLimits(Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}}));
    QCOMPARE(m_script->limitsModel, QString::fromStdString(form.document().device()->Name()));
    QCOMPARE(LoadLimits(type), Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}}));
    // Limits of another model are not these.
    QVERIFY(!LoadLimits(type + 1).isSet());

    // Cancelled, or refused by the store's check: the stored limits stay.
    m_script->limits.reset();
    form.ActionLimits->trigger();
    setLimits(Limits::ofClass(2, 0.0));
    QCOMPARE(QString::fromStdString(form.console().lines().back().text),
             QStringLiteral("Постоянный расход qp должен быть больше 0"));
    QCOMPARE(LoadLimits(type), Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}}));
    QCOMPARE(form.limits(), LoadLimits(type));
}

void LimitsTest::graphsGetTheLimitsWithAVerificationPackage() {
    TMainForm& form = makeForm();
    newDocument(1);
    PackageBase& calibration = newPackage(PackageType::Calibration);
    addCalibrationEntries(calibration);
    form.ActionAppr->trigger();
    setLimits(Limits::ofClass(2, 10));
    form.ActionGraphics->trigger();
    QVERIFY(!form.chartData().limits.isSet());  // calibration alone: no envelope

    newPackage(PackageType::Verification);
    form.ActionGraphics->trigger();
    QCOMPARE(form.chartData().limits, Limits::ofClass(2, 10));
    // Limits edited while the graphs are shown reach them at once.
    setLimits(Limits::ofZones({{0.0, 4.0}}));
    QCOMPARE(form.chartData().limits, Limits::ofZones({{0.0, 4.0}}));
}

// ---- the dialog -----------------------------------------------------------------

void LimitsTest::dialogTakesEitherForm() {
    LimitsDialog dialog;
    dialog.show();
    auto* ok = child<QPushButton>(dialog, "bnOK");
    auto* zones = child<QRadioButton>(dialog, "rbZones");
    auto* klass = child<QRadioButton>(dialog, "rbClass");
    QVERIFY(ok && zones && klass);

    // Stored zones come back as rows; a row added and typed in is taken.
    dialog.load(Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}}));
    QVERIFY(zones->isChecked());
    QCOMPARE(dialog.zoneCount(), 2);
    QCOMPARE(dialog.zoneFrom(1)->Value(), 1.5);
    QVERIFY(!child<QWidget>(dialog, "edQp")->isEnabled());
    child<QPushButton>(dialog, "bnAddZone")->click();
    QCOMPARE(dialog.zoneCount(), 3);
    keyIn(dialog.zoneFrom(2), QStringLiteral("10"));
    keyIn(dialog.zoneLimit(2), QStringLiteral("1,5"));
    ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.accepted(), Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}, {10.0, 1.5}}));

    // The class form.
    dialog.show();
    klass->setChecked(true);
    QVERIFY(child<QWidget>(dialog, "edQp")->isEnabled());
    QVERIFY(!dialog.zoneFrom(0)->isEnabled());
    choose(child<QComboBox>(dialog, "cbClass"), 2);
    keyIn(child<TFloatEdit>(dialog, "edQp"), QStringLiteral("2.5"));
    ok->click();
    QCOMPARE(dialog.accepted(), Limits::ofClass(3, 2.5));

    // None.
    dialog.show();
    child<QRadioButton>(dialog, "rbNoLimits")->setChecked(true);
    ok->click();
    QCOMPARE(dialog.accepted(), Limits{});

    // The table has one row at least and kMaxZones at most.
    dialog.load(Limits::ofClass(1, 1.0));
    QCOMPARE(dialog.zoneCount(), 1);
    for (int i = 0; i < LimitsDialog::kMaxZones + 2; ++i) dialog.addZone();
    QCOMPARE(dialog.zoneCount(), LimitsDialog::kMaxZones);
    for (int i = 0; i < LimitsDialog::kMaxZones + 2; ++i) dialog.removeZone();
    QCOMPARE(dialog.zoneCount(), 1);
}

void LimitsTest::dialogRefusesBadLimits_data() {
    QTest::addColumn<bool>("classForm");
    QTest::addColumn<QStringList>("typed");  // qp, or bound and limit per zone
    QTest::addColumn<QString>("reason");
    QTest::newRow("qp 0") << true << QStringList{QStringLiteral("0")}
                          << QStringLiteral("Постоянный расход qp должен быть больше 0");
    QTest::newRow("qp below 0") << true << QStringList{QStringLiteral("-3")}
                                << QStringLiteral("Постоянный расход qp должен быть больше 0");
    QTest::newRow("bound below 0") << false << QStringList{QStringLiteral("-1"), QStringLiteral("5")}
                                   << QStringLiteral("нижняя граница должна быть не меньше 0");
    QTest::newRow("bounds equal") << false
                                  << QStringList{QStringLiteral("0"), QStringLiteral("5"), QStringLiteral("0"),
                                                 QStringLiteral("2")}
                                  << QStringLiteral("Зона 2: границы зон должны возрастать");
    QTest::newRow("bounds decreasing") << false
                                       << QStringList{QStringLiteral("2"), QStringLiteral("5"), QStringLiteral("1"),
                                                      QStringLiteral("2")}
                                       << QStringLiteral("Зона 2: границы зон должны возрастать");
    QTest::newRow("limit 0") << false << QStringList{QStringLiteral("0"), QStringLiteral("0")}
                             << QStringLiteral("предел погрешности должен быть больше 0");
    QTest::newRow("limit below 0") << false << QStringList{QStringLiteral("0"), QStringLiteral("-2")}
                                   << QStringLiteral("предел погрешности должен быть больше 0");
}

void LimitsTest::dialogRefusesBadLimits() {
    QFETCH(bool, classForm);
    QFETCH(QStringList, typed);
    QFETCH(QString, reason);
    const Limits before = Limits::ofZones({{0.0, 4.0}});
    LimitsDialog dialog;
    QStringList messages;
    dialog.setMessageHandler([&](QWidget*, const QString& text) { messages << text; });
    dialog.load(before);
    dialog.show();
    // The last text ends with Enter, which presses OK; then OK is clicked.
    std::vector<TFloatEdit*> edits;
    if (classForm) {
        child<QRadioButton>(dialog, "rbClass")->setChecked(true);
        edits.push_back(child<TFloatEdit>(dialog, "edQp"));
    } else {
        while (dialog.zoneCount() < typed.size() / 2) dialog.addZone();
        for (int i = 0; i < dialog.zoneCount(); ++i) {
            edits.push_back(dialog.zoneFrom(i));
            edits.push_back(dialog.zoneLimit(i));
        }
    }
    for (std::size_t i = 0; i + 1 < edits.size(); ++i) keyIn(edits[i], typed[int(i)]);
    type(edits.back(), typed.back());
    child<QPushButton>(dialog, "bnOK")->click();
    QCOMPARE(messages.size(), 2);
    for (const QString& message : messages) QVERIFY2(message.contains(reason), qPrintable(message));
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(dialog.accepted(), Limits{});

    // A text that is no number at all is the edit's own refusal.
    QStringList editMessages;
    static QStringList* collected = nullptr;
    collected = &editMessages;
    numedit::setMessageHandler([](QWidget*, const QString& text) { *collected << text; });
    TFloatEdit* edit = classForm ? child<TFloatEdit>(dialog, "edQp") : dialog.zoneLimit(0);
    const double value = edit->Value();
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("1,2,3"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(editMessages.size(), 1);
    QCOMPARE(edit->Value(), value);
    QVERIFY(dialog.isVisible());
    QVERIFY(dialog.result() != QDialog::Accepted);
}

// The window's own dialog, modal: the stored limits change only on OK.
void LimitsTest::dialogThroughTheWindow() {
    auto dialogs = std::make_unique<RealLimitsDialog>();
    m_script = dialogs.get();
    TMainForm& form = makeForm(std::move(dialogs));
    newDocument(1);
    const int type = form.document().device()->Type();

    QString model;
    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<LimitsDialog*>(modal);
        if (!dialog) return;
        model = child<QLabel>(*dialog, "lbModel")->text();
        child<QRadioButton>(*dialog, "rbClass")->setChecked(true);
        keyIn(child<TFloatEdit>(*dialog, "edQp"), QStringLiteral("6"));
        child<QPushButton>(*dialog, "bnOK")->click();
    });
    form.ActionLimits->trigger();
    QCOMPARE(model, QStringLiteral("Модель: ") + QString::fromStdString(form.document().device()->Name()));
    QCOMPARE(LoadLimits(type), Limits::ofClass(2, 6.0));

    whenModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<LimitsDialog*>(modal);
        if (!dialog) return;
        keyIn(child<TFloatEdit>(*dialog, "edQp"), QStringLiteral("60"));
        child<QPushButton>(*dialog, "bnCancel")->click();
    });
    form.ActionLimits->trigger();
    QCOMPARE(LoadLimits(type), Limits::ofClass(2, 6.0));
}

QTEST_MAIN(LimitsTest)
#include "LimitsTest.moc"
