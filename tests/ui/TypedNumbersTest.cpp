// Numbers typed into the main window: the entry table's cell editor and a
// device page's numeric fields take the whole typed text or nothing, and the
// window's command shortcuts reach the window while an edit has the focus.

#include "MainWindow.h"
#include "components/FloatEdit.h"
#include "components/GoodTable.h"
#include "components/NumEdit.h"

#include "common/Console.h"
#include "common/Locale.h"
#include "devices/dorn/Dorn.h"
#include "document/Document.h"
#include "document/Entries.h"
#include "files/DocumentFile.h"
#include "link/RegKey.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A Dorn transducer with a pulse output (model 7).
constexpr int kDornCode = 8;

QStringList g_messages;
void collectMessage(QWidget*, const QString& text) { g_messages << text; }

int columnOf(const PackageBase& package, int field) {
    for (int col = 0; col < package.columnCount(); ++col)
        if (package.columnField(col) == field) return col;
    return -1;
}

double doubleField(const PackageBase& package, int row, int field) {
    double value = 0;
    package.getField(row, field, &value);
    return value;
}

double int32Field(const PackageBase& package, int row, int field) {
    std::int32_t value = 0;
    package.getField(row, field, &value);
    return value;
}

}  // namespace

class TypedNumbersTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void entryTableTakesTheWholeText_data();
    void entryTableTakesTheWholeText();
    void commandShortcutFromTheCellEditor();
    void dornFieldKeepsItsValue_data();
    void dornFieldKeepsItsValue();

private:
    // The main window with a Dorn document of one calibration package of
    // one entry: Vэт 10 l, Tэт 36 s, N1 101.
    TMainForm& openDocument();
    PackageBase& package() { return *m_form->document().packages().front(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TMainForm> m_form;
};

void TypedNumbersTest::init() {
    g_messages.clear();
    numedit::setMessageHandler(collectMessage);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    RegKey::SetFileLocation(m_dir->filePath(QStringLiteral("settings.json")).toStdString());
}

void TypedNumbersTest::cleanup() {
    m_form.reset();
    RegKey::SetFileLocation({});
    numedit::setMessageHandler(nullptr);
    m_dir.reset();
}

TMainForm& TypedNumbersTest::openDocument() {
    const QString file = m_dir->filePath(QStringLiteral("dorn.srv"));
    {
        Console console;
        Document doc(console);
        doc.create(kDornCode);
        PackageBase& p = *doc.addPackage(PackageType::Calibration, Method::Volume);
        p.addEntry();
        p.setCellText(0, columnOf(p, kVolRef), "10");
        p.setCellText(0, columnOf(p, kTimeRef), "36");
        p.setCellText(0, columnOf(p, kPulses1), "101");
        p.recalcEntry(0);
        files::WriteDocument(file.toStdString(), doc);
    }
    m_form = std::make_unique<TMainForm>();
    m_form->show();
    QApplication::setActiveWindow(m_form.get());
    [&] { QVERIFY(QTest::qWaitForWindowActive(m_form.get())); }();
    m_form->OpenStartupDocument({file});
    return *m_form;
}

void TypedNumbersTest::entryTableTakesTheWholeText_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("closeKey");  // 0: the focus leaves the editor
    QTest::addColumn<double>("stored");
    const int enter = Qt::Key_Return;
    QTest::newRow("comma") << '.' << int(kTimeRef) << "12,5" << enter << 12.5;
    QTest::newRow("point in a comma locale") << ',' << int(kTimeRef) << "12.5" << enter << 12.5;
    QTest::newRow("exponent") << '.' << int(kTimeRef) << "1e2" << enter << 100.0;
    // Each of these begins with a number the entry must not keep: the entry
    // gets back its value from before the editing (36 s).
    QTest::newRow("a blank inside") << '.' << int(kTimeRef) << "1 000" << enter << 36.0;
    QTest::newRow("hexadecimal") << '.' << int(kTimeRef) << "0x10" << enter << 36.0;
    QTest::newRow("two separators") << ',' << int(kTimeRef) << "1,5.3" << enter << 36.0;
    QTest::newRow("too large for a double") << '.' << int(kTimeRef) << "1e400" << enter << 36.0;
    QTest::newRow("a letter after the number") << '.' << int(kTimeRef) << "5x" << enter << 36.0;
    QTest::newRow("infinity") << '.' << int(kTimeRef) << "inf" << enter << 36.0;
    QTest::newRow("not a number") << '.' << int(kTimeRef) << "nan" << enter << 36.0;
    QTest::newRow("closed by Escape") << '.' << int(kTimeRef) << "1 000" << int(Qt::Key_Escape) << 36.0;
    QTest::newRow("closed by Down") << '.' << int(kTimeRef) << "1 000" << int(Qt::Key_Down) << 36.0;
    QTest::newRow("closed by the focus leaving") << '.' << int(kTimeRef) << "1 000" << 0 << 36.0;
    QTest::newRow("whole number") << '.' << int(kPulses1) << "250" << enter << 250.0;
    QTest::newRow("whole number with a blank") << '.' << int(kPulses1) << "1 000" << enter << 101.0;
    QTest::newRow("whole number with a fraction") << ',' << int(kPulses1) << "2,5" << enter << 101.0;
}

void TypedNumbersTest::entryTableTakesTheWholeText() {
    QFETCH(char, separator);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(int, closeKey);
    QFETCH(double, stored);
    Locale locale = Locale::current();
    locale.decimalSeparator = separator;
    const ScopedLocale scoped(locale);

    TMainForm& form = openDocument();
    form.SelectTab(1);
    PackageBase& p = package();
    TGoodTable* table = form.table();
    QCOMPARE(table->RowCount(), 1);
    const int col = columnOf(p, field);
    const bool decimal = field == kTimeRef;
    auto value = [&] { return decimal ? doubleField(p, 0, field) : int32Field(p, 0, field); };

    table->SetRow(0);
    table->SetCol(col);
    table->setFocus();
    QTest::keyClick(table, typed.at(0).toLatin1());
    QVERIFY(table->EditorVisible());
    QTest::keyClicks(table->Editor(), typed.mid(1));
    QCOMPARE(table->Editor()->text(), typed);
    if (closeKey)
        QTest::keyClick(table->Editor(), Qt::Key(closeKey));
    else
        table->setFocus(Qt::MouseFocusReason);
    QVERIFY(!table->EditorVisible());

    QCOMPARE(value(), stored);
    // The cell shows the value kept, not what was typed.
    const QString shown = decimal ? QString::fromStdString(Locale::current().formatFixed(stored, p.column(col).decimals))
                                  : QString::number(int(stored));
    QCOMPARE(table->Cells(0, col), shown);
    // The derived values follow the value the entry kept: Qэт = 3.6 * 10 l / Tэт.
    const double flow = 3.6 * 10 / doubleField(p, 0, kTimeRef);
    QVERIFY(std::abs(doubleField(p, 0, kFlowRef) - flow) < 1e-9);
    QCOMPARE(table->Cells(0, columnOf(p, kFlowRef)), QString::fromStdString(Locale::current().formatFixed(flow, 6)));
}

void TypedNumbersTest::commandShortcutFromTheCellEditor() {
    TMainForm& form = openDocument();
    form.SelectTab(1);
    QVERIFY(form.ActionAppr->isEnabled());
    QSignalSpy approximations(form.ActionAppr, &QAction::triggered);
    TGoodTable* table = form.table();
    table->SetRow(0);
    table->SetCol(columnOf(package(), kTimeRef));
    table->setFocus();
    QTest::keyClick(table, '4');
    QVERIFY(table->EditorVisible());
    // Ctrl+A is "Аппроксимация", not the editor's select-all.
    QTest::keyClick(table->Editor(), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(approximations.count(), 1);
    QVERIFY(!table->EditorVisible());
    QCOMPARE(doubleField(package(), 0, kTimeRef), 4.0);
}

void TypedNumbersTest::dornFieldKeepsItsValue_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::newRow("comma") << "0,25" << 0.25;
    QTest::newRow("a letter after the number") << "0,2x" << 0.12;
    QTest::newRow("two separators") << "0,2.5" << 0.12;
    QTest::newRow("infinity") << "inf" << 0.12;
}

void TypedNumbersTest::dornFieldKeepsItsValue() {
    QFETCH(QString, typed);
    QFETCH(double, value);
    const ScopedLocale scoped([] {
        Locale locale = Locale::current();
        locale.decimalSeparator = '.';
        return locale;
    }());
    TMainForm& form = openDocument();
    auto* dorn = dynamic_cast<Dorn*>(form.document().device());
    QVERIFY(dorn);
    QCOMPARE(dorn->page().a().value(), 0.12);
    auto* edA = form.findChild<TFloatEdit*>(QStringLiteral("edA"));
    QVERIFY(edA);
    QTRY_VERIFY(edA->isVisible());
    edA->setFocus();
    edA->selectAll();
    QTest::keyClicks(edA, typed);
    QTest::keyClick(edA, Qt::Key_Tab);

    QCOMPARE(dorn->page().a().value(), value);
    QCOMPARE(edA->Value(), value);
    QCOMPARE(edA->text(), QString::fromStdString(Locale::current().formatFixed(value, 7)));
    if (value == 0.12) {
        QCOMPARE(g_messages, QStringList{QStringLiteral("Неправильное значение: \"%1\"").arg(typed)});
        QVERIFY(edA->hasFocus());
    } else {
        QCOMPARE(g_messages, QStringList{});
    }
}

QTEST_MAIN(TypedNumbersTest)
#include "TypedNumbersTest.moc"
