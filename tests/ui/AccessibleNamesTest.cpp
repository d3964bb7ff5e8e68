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
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <memory>

namespace {

// The controls a person works with: edits, lists, buttons, sliders, views.
// The parts of a list or a view (its line edit, scroll bars, editors) speak
// for it and are left out.
bool isControl(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w->parentWidget(); p && p != window; p = p->parentWidget())
        if (qobject_cast<const QComboBox*>(p) || qobject_cast<const QAbstractScrollArea*>(p) ||
            qobject_cast<const QAbstractSpinBox*>(p))
            return false;
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
           qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractScrollArea*>(w);
}

// The classes and object names of the controls of `window` that a screen
// reader would find nameless.
QStringList namelessControls(QWidget& window) {
    QStringList nameless;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!isControl(w, &window) || w->isHidden()) continue;
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
        const QString name = iface ? iface->text(QAccessible::Name).trimmed() : QString();
        if (name.isEmpty())
            nameless << QStringLiteral("%1 %2").arg(QLatin1String(w->metaObject()->className()), w->objectName());
    }
    return nameless;
}

QString accessibleName(QWidget* w) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(QAccessible::Name) : QString();
}

// The controls of `window` whose accessible name does not begin with what a
// person sees on or beside them: a button's caption, a tab's caption, the
// label of a labelled control. A voice-control user says what is shown.
QStringList namesNotBeginningWithCaption(QWidget& window) {
    QStringList wrong;
    auto check = [&wrong](QWidget* w, const QString& shown, const QString& name) {
        const QString caption = AccessibleCaption(shown);
        if (CaptionHasWords(caption) && !name.startsWith(caption))
            wrong << QStringLiteral("%1 \"%2\" named \"%3\"").arg(w->objectName(), caption, name);
    };
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (auto* button = qobject_cast<QAbstractButton*>(w); button && isControl(w, &window))
            check(w, button->text(), accessibleName(w));
        if (auto* label = qobject_cast<QLabel*>(w); label && label->buddy())
            check(label->buddy(), label->text(), accessibleName(label->buddy()));
        if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(tabs);
            for (int i = 0; bar && i < tabs->count(); ++i) {
                QAccessibleInterface* tab = bar->child(i);
                check(w, tabs->tabText(i), tab ? tab->text(QAccessible::Name) : QString());
            }
        }
    }
    return wrong;
}

}  // namespace

class AccessibleNamesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void everyControlIsNamed_data();
    void everyControlIsNamed();
    void valueLabelsGiveTheirValue();
    void comboBoxesGiveTheirItem();
    void aNameFollowsTheCaptionAndTheExplanationIsTheDescription();

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
    static RVx2 rv(console);
    QTest::newRow("Dorn page") << Make([] { return std::make_unique<TDornFrame>(dorn, console); });
    QTest::newRow("Kelt page, model 0") << Make([] { return std::make_unique<TKeltFrame>(kelt0, console); });
    QTest::newRow("Kelt page, model 13") << Make([] { return std::make_unique<TKeltFrame>(kelt13, console); });
    QTest::newRow("RV page") << Make([] { return std::make_unique<TRVFrame>(rv, console); });
    QTest::newRow("Nivor dialog") << Make([] { return std::make_unique<TSpprDlg>(console); });
    QTest::newRow("graphs window") << Make([] { return std::make_unique<TServiceGraph>(); });
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
    const QStringList wrong = namesNotBeginningWithCaption(*window);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral(", "))));
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

// A combo box is announced by its label and gives its current item as its
// value and as its text, which is what AT-SPI hands a screen reader; a new
// item is read at once.
void AccessibleNamesTest::comboBoxesGiveTheirItem() {
    QWidget window;
    auto* label = new QLabel(QStringLiteral("Ду:"), &window);
    auto* combo = new QComboBox(&window);
    combo->addItems({QStringLiteral("32"), QStringLiteral("50"), QStringLiteral("80")});
    combo->setCurrentIndex(1);
    LabelControl(label, combo);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(combo);
    QVERIFY(iface);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Ду"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("50"));
    QAccessibleTextInterface* text = iface->textInterface();
    QVERIFY(text);
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("50"));
    combo->setCurrentIndex(2);
    QCOMPARE(text->text(0, -1), QStringLiteral("80"));
    QCOMPARE(iface->text(QAccessible::Value), QStringLiteral("80"));

    // An editable box gives what is typed.
    combo->setEditable(true);
    combo->lineEdit()->setText(QStringLiteral("100"));
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("100"));
}

// A button is named by its caption, however much its explanation says, and
// keeps to its caption when the caption changes; two buttons of one caption
// are told apart after it.
void AccessibleNamesTest::aNameFollowsTheCaptionAndTheExplanationIsTheDescription() {
    struct Case {
        const char* caption;
        const char* spoken;
        const char* name;
        const char* description;
    };
    const Case cases[] = {
        {"Версия/КС ПО", "Версия и контрольная сумма ПО", "Версия/КС ПО", "Версия и контрольная сумма ПО"},
        {"&Считать:", "Считать — Адрес", "Считать — Адрес", ""},
        {"Старт", "Старт", "Старт", ""},
        {"...", "Параметры подключения", "Параметры подключения", ""},
    };
    for (const Case& c : cases) {
        QPushButton button(QString::fromUtf8(c.caption));
        NameControl(&button, QString::fromUtf8(c.spoken));
        QCOMPARE(accessibleName(&button), QString::fromUtf8(c.name));
        QCOMPARE(button.accessibleDescription(), QString::fromUtf8(c.description));
        if (*c.description) QCOMPARE(button.toolTip(), QString::fromUtf8(c.description));
    }
    QPushButton port(QStringLiteral("Открыть"));
    NameControl(&port, QStringLiteral("Открыть или закрыть порт"));
    port.setText(QStringLiteral("Закрыть"));
    NameControl(&port, QStringLiteral("Открыть или закрыть порт"));
    QCOMPARE(accessibleName(&port), QStringLiteral("Закрыть"));
    QCOMPARE(port.accessibleDescription(), QStringLiteral("Открыть или закрыть порт"));

    // A label's name that said something else becomes the description.
    QWidget window;
    auto* edit = new QLineEdit(&window);
    edit->setAccessibleName(QStringLiteral("Сетевой адрес прибора"));
    LabelControl(new QLabel(QStringLiteral("Адрес:"), &window), edit);
    QCOMPARE(accessibleName(edit), QStringLiteral("Адрес"));
    QCOMPARE(edit->accessibleDescription(), QStringLiteral("Сетевой адрес прибора"));
}

QTEST_MAIN(AccessibleNamesTest)
#include "AccessibleNamesTest.moc"
