// Every control of the device pages and the dialogs says what it is: a
// screen reader (or a GUI automation tool) finds each by a name a person
// understands, its caption or its label.

#include "ApprOptionsDialog.h"
#include "CsvOptionsDialog.h"
#include "DornFrame.h"
#include "KeltFrame.h"
#include "LimitsDialog.h"
#include "LinesDialog.h"
#include "NewDocumentDialog.h"
#include "NewPackageDialog.h"
#include "SectionSelectDialog.h"
#include "components/Accessibility.h"

#include "common/Console.h"
#include "devices/dorn/Dorn.h"
#include "devices/kelt/Kelt.h"
#include "link/RegKey.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// The controls a person works with: edits, lists, buttons, sliders, views.
// The parts of a list or a view (its line edit, scroll bars, editors) speak
// for it and are left out.
bool isControl(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractScrollArea*>(p)) return false;
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractScrollArea*>(w);
}

// The classes and object names of the controls of `window` that a screen
// reader would find nameless.
QStringList namelessControls(QWidget& window) {
    QStringList nameless;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!isControl(w, &window)) continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        const QString name = iface ? iface->text(QAccessible::Name).trimmed() : QString();
        if (name.isEmpty())
            nameless << QStringLiteral("%1 %2").arg(QLatin1String(w->metaObject()->className()), w->objectName());
    }
    return nameless;
}

}  // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void valueLabelsGiveTheirValue();

private:
    QTemporaryDir m_dir;
};

void AccessibleNamesTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    RegKey::SetFileLocation(m_dir.filePath(QStringLiteral("settings.json")).toStdString());
}

void AccessibleNamesTest::everyControlIsNamed_data() {
    using Make = std::function<std::unique_ptr<QWidget>()>;
    QTest::addColumn<Make>("make");
    static Console console;
    static Dorn dorn(console, 7);
    static Kelt kelt0(console, 0);
    static Kelt kelt13(console, 13);
    QTest::newRow("Dorn page") << Make([] { return std::make_unique<TDornFrame>(dorn, console); });
    QTest::newRow("Kelt page, model 0") << Make([] { return std::make_unique<TKeltFrame>(kelt0, console); });
    QTest::newRow("Kelt page, model 13") << Make([] { return std::make_unique<TKeltFrame>(kelt13, console); });
    QTest::newRow("approximation options") << Make([] { return std::make_unique<ApprOptionsDialog>(); });
    QTest::newRow("text exchange") << Make([] { return std::make_unique<CsvOptionsDialog>(); });
    QTest::newRow("limits, zones") << Make([] {
        auto dialog = std::make_unique<LimitsDialog>();
        dialog->load(Limits::ofZones({{0.0, 5.0}, {1.5, 2.0}}));
        return dialog;
    });
    QTest::newRow("lines") << Make([] { return std::make_unique<LinesDialog>(); });
    QTest::newRow("new document") << Make([] { return std::make_unique<NewDocumentDialog>(); });
    QTest::newRow("new package") << Make([] { return std::make_unique<NewPackageDialog>(); });
    QTest::newRow("section selection") << Make([] { return std::make_unique<SectionSelectDialog>(); });
}

void AccessibleNamesTest::everyControlIsNamed() {
    using Make = std::function<std::unique_ptr<QWidget>()>;
    QFETCH(Make, make);
    std::unique_ptr<QWidget> window = make();
    const QStringList nameless = namelessControls(*window);
    QVERIFY2(nameless.isEmpty(), qPrintable(nameless.join(QStringLiteral(", "))));
}

// A value panel (a count, a time) is announced by its name, and its value
// can be read as it changes.
void AccessibleNamesTest::valueLabelsGiveTheirValue() {
    InstallAccessibility();
    QWidget window;
    auto* panel = new QLabel(QStringLiteral("1234"), &window);
    panel->setAccessibleName(QStringLiteral("N1, имп"));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(panel);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("N1, имп"));
    QVERIFY(iface->textInterface());
    QCOMPARE(iface->textInterface()->text(0, iface->textInterface()->characterCount()), QStringLiteral("1234"));
    panel->setText(QStringLiteral("56,5"));
    QCOMPARE(iface->textInterface()->text(0, -1), QStringLiteral("56,5"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("56,5"));

    // A caption is named by its text and still names its control.
    auto* caption = new QLabel(QStringLiteral("&Вход 1:"), &window);
    auto* edit = new QLineEdit(&window);
    caption->setBuddy(edit);
    QAccessibleInterface* captionIface = QAccessible::queryAccessibleInterface(caption);
    QCOMPARE(captionIface->text(QAccessible::Name), QStringLiteral("Вход 1:"));
    const auto labelled = captionIface->relations(QAccessible::Labelled);
    QCOMPARE(labelled.size(), 1);
    QCOMPARE(labelled.first().first->object(), edit);
}

QTEST_MAIN(AccessibleNamesTest)
#include "AccessibleNamesTest.moc"
