#include "components/DisComboBox.h"
#include "components/FloatEdit.h"
#include "components/GoodTable.h"
#include "components/IntEdit.h"
#include "components/NumEdit.h"
#include "components/StatusBar.h"

#include "common/Locale.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <cmath>
#include <functional>
#include <memory>

namespace {

QStringList g_messages;
void collectMessage(QWidget*, const QString& text) { g_messages << text; }

Locale withSeparator(char separator) {
    Locale locale = Locale::current();
    locale.decimalSeparator = separator;
    return locale;
}

}  // namespace

class EditsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void statusPanelFollowsFocus();
    void intAccept_data();
    void intAccept();
    void intTypingKeepsText();
    void intEscapeReturnsToSavedValue();
    void intLimits_data();
    void intLimits();
    void intWheelSteps();
    void intHooksWriteAndReadText();
    void disabledEditIsEmpty();
    void unreadableTextShowsMessageBox();
    void floatText_data();
    void floatText();
    void floatAccept_data();
    void floatAccept();
    void floatChangeValueHook();
    void floatDigitsWaitWhileFocused();
    void enterInADialog_data();
    void enterInADialog();
    void windowShortcutsWinOverTheEdits_data();
    void windowShortcutsWinOverTheEdits();
    void comboShowsNoSelectionWhileDisabled();

private:
    // A window holding the edit under test and another control to move the focus to.
    template <class Edit>
    Edit* place(Edit* edit);
    void focusOther() { m_other->setFocus(Qt::TabFocusReason); }

    std::unique_ptr<QWidget> m_window;
    QLineEdit* m_other = nullptr;
    TStatusBar* m_status = nullptr;
};

void EditsTest::init() {
    g_messages.clear();
    numedit::setMessageHandler(collectMessage);
    m_window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(m_window.get());
    m_other = new QLineEdit(m_window.get());
    m_status = new TStatusBar(m_window.get());
    m_status->SetPanelCount(2);
    layout->addWidget(m_other);
    layout->addWidget(m_status);
    m_window->show();
    QApplication::setActiveWindow(m_window.get());
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
}

void EditsTest::cleanup() {
    m_window.reset();
    numedit::setMessageHandler(nullptr);
}

template <class Edit>
Edit* EditsTest::place(Edit* edit) {
    m_window->layout()->addWidget(edit);
    edit->show();
    return edit;
}

void EditsTest::statusPanelFollowsFocus() {
    auto* edit = place(new TNumEdit(m_window.get()));
    edit->SetStatusBar(m_status);
    edit->SetStatusPanel(1);
    edit->SetMessage("Вес импульса");
    QCOMPARE(m_status->PanelText(1), QString());
    edit->setFocus();
    QCOMPARE(m_status->PanelText(1), QString("Вес импульса"));
    edit->SetMessage("Диаметр");
    QCOMPARE(m_status->PanelText(1), QString("Диаметр"));
    focusOther();
    QCOMPARE(m_status->PanelText(1), QString());
    QCOMPARE(m_status->PanelText(0), QString());
    // A panel the bar does not have is left alone.
    edit->SetStatusPanel(5);
    edit->setFocus();
    QCOMPARE(m_status->PanelText(1), QString());
}

void EditsTest::intAccept_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("above the maximum") << "25" << true << 10 << "10" << "";
    QTest::newRow("below the minimum") << "-3" << true << 1 << "1" << "";
    QTest::newRow("within the limits on leaving") << "7" << false << 7 << "7" << "";
    QTest::newRow("blanks around digits") << " 8 " << true << 8 << "8" << "";
    QTest::newRow("letters") << "abc" << true << 5 << "5" << "Неправильное значение: \"abc\"";
    QTest::newRow("letters on leaving") << "x1" << false << 5 << "5" << "Неправильное значение: \"x1\"";
    QTest::newRow("empty") << "" << true << 5 << "5" << "Неправильное значение: \"\"";
    // Typing took the first digits (nine nines as 10) already; the whole
    // text decides, so the edit goes back to its value from before.
    QTest::newRow("beyond 32 bits") << "9999999999" << true << 5 << "5" << "Неправильное значение: \"9999999999\"";
    QTest::newRow("digits then a letter") << "7x" << true << 5 << "5" << "Неправильное значение: \"7x\"";
    QTest::newRow("a blank inside") << "1 0" << false << 5 << "5" << "Неправильное значение: \"1 0\"";
    QTest::newRow("a fraction") << "3,5" << true << 5 << "5" << "Неправильное значение: \"3,5\"";
}

void EditsTest::intAccept() {
    QFETCH(QString, typed);
    QFETCH(bool, byEnter);
    QFETCH(int, value);
    QFETCH(QString, text);
    QFETCH(QString, message);
    auto* edit = place(new TIntEdit(m_window.get()));
    edit->SetMin(1);
    edit->SetMax(10);
    edit->SetValue(5);
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, typed);
    if (byEnter)
        QTest::keyClick(edit, Qt::Key_Return);
    else
        focusOther();
    QCOMPARE(edit->Value(), value);
    QCOMPARE(edit->text(), text);
    QCOMPARE(g_messages, message.isEmpty() ? QStringList{} : QStringList{message});
    QCOMPARE(edit->SavedValue(), value);
    // After an unreadable text the edit has the focus again.
    if (!message.isEmpty()) QVERIFY(edit->hasFocus());
}

void EditsTest::intTypingKeepsText() {
    auto* edit = place(new TIntEdit(m_window.get()));
    edit->SetMax(10);
    QSignalSpy changed(edit, &TIntEdit::valueChanged);
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, "25");
    QCOMPARE(edit->Value(), 10);
    QCOMPARE(edit->text(), QString("25"));
    QTest::keyClicks(edit, "q");
    QCOMPARE(edit->Value(), 10);
    QCOMPARE(changed.count(), 2);  // 2, then 25 clamped to 10
}

void EditsTest::intEscapeReturnsToSavedValue() {
    auto* edit = place(new TIntEdit(m_window.get()));
    edit->SetValue(3);
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, "8");
    QCOMPARE(edit->Value(), 8);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->Value(), 3);
    QCOMPARE(edit->text(), QString("3"));
}

void EditsTest::intLimits_data() {
    QTest::addColumn<bool>("setMaxFirst");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("value");
    // Starting from Min 10, Max 20, Value 15.
    QTest::newRow("max below min lowers min") << true << 5 << 5 << 5 << 5;
    QTest::newRow("min above max raises max") << false << 30 << 30 << 30 << 30;
    QTest::newRow("max within keeps min") << true << 12 << 10 << 12 << 12;
    QTest::newRow("min within keeps max") << false << 16 << 16 << 20 << 16;
}

void EditsTest::intLimits() {
    QFETCH(bool, setMaxFirst);
    QFETCH(int, limit);
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, value);
    TIntEdit edit;
    edit.SetMin(10);
    edit.SetMax(20);
    edit.SetValue(15);
    if (setMaxFirst)
        edit.SetMax(limit);
    else
        edit.SetMin(limit);
    QCOMPARE(edit.Min(), min);
    QCOMPARE(edit.Max(), max);
    QCOMPARE(edit.Value(), value);
    QCOMPARE(edit.text(), QString::number(value));

    TFloatEdit decimal;
    decimal.SetMin(10);
    decimal.SetMax(20);
    decimal.SetValue(15);
    if (setMaxFirst)
        decimal.SetMax(limit);
    else
        decimal.SetMin(limit);
    QCOMPARE(decimal.Min(), double(min));
    QCOMPARE(decimal.Max(), double(max));
    QCOMPARE(decimal.Value(), double(value));
}

void EditsTest::intWheelSteps() {
    auto* edit = place(new TIntEdit(m_window.get()));
    edit->SetMin(0);
    edit->SetMax(2);
    edit->SetValue(1);
    edit->setFocus();
    auto wheel = [&](int delta) {
        QWheelEvent event(QPointF(5, 5), edit->mapToGlobal(QPointF(5, 5)), {}, {0, delta}, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(edit, &event);
    };
    wheel(120);
    QCOMPARE(edit->Value(), 2);
    wheel(120);
    QCOMPARE(edit->Value(), 2);
    wheel(-120);
    wheel(-120);
    wheel(-120);
    QCOMPARE(edit->Value(), 0);
    QCOMPARE(edit->text(), QString("0"));
}

void EditsTest::intHooksWriteAndReadText() {
    auto* edit = place(new TIntEdit(m_window.get()));
    edit->SetOnSetText([](int v) { return QString::number(v, 16).toUpper(); });
    edit->SetOnGetText([](const QString& text) -> std::optional<int> {
        bool ok = false;
        const int v = text.toInt(&ok, 16);
        return ok ? std::optional<int>(v) : std::nullopt;
    });
    edit->SetValue(255);
    QCOMPARE(edit->text(), QString("FF"));
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, "1a");
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->Value(), 26);
    QCOMPARE(edit->text(), QString("1A"));
}

void EditsTest::disabledEditIsEmpty() {
    auto* whole = place(new TIntEdit(m_window.get()));
    auto* decimal = place(new TFloatEdit(m_window.get()));
    whole->SetValue(42);
    decimal->SetDigits(1);
    decimal->SetValue(2.5);
    const QColor window = whole->palette().color(QPalette::Base);
    for (QLineEdit* edit : std::initializer_list<QLineEdit*>{whole, decimal}) edit->setEnabled(false);
    QCOMPARE(whole->text(), QString());
    QCOMPARE(decimal->text(), QString());
    QCOMPARE(whole->palette().color(QPalette::Disabled, QPalette::Base), QPalette().color(QPalette::Button));
    whole->SetValue(43);
    QCOMPARE(whole->text(), QString());
    for (QLineEdit* edit : std::initializer_list<QLineEdit*>{whole, decimal}) edit->setEnabled(true);
    QCOMPARE(whole->text(), QString("43"));
    QCOMPARE(decimal->text(), QString("2.5").replace('.', QChar(Locale::current().decimalSeparator)));
    QCOMPARE(whole->palette().color(QPalette::Base), window);
}

void EditsTest::unreadableTextShowsMessageBox() {
    numedit::setMessageHandler(nullptr);
    auto* edit = place(new TFloatEdit(m_window.get()));
    edit->SetValue(1);
    edit->setFocus();
    edit->setText("1,2,3");
    QString shown;
    QString title = "unset";
    QWidget* owner = nullptr;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        shown = box->text();
        title = box->windowTitle();
        owner = box->parentWidget();
        box->accept();
    });
    // Moving on to another control brings the focus back to the edit.
    focusOther();
    QCOMPARE(shown, QString("Неправильное значение: \"1,2,3\""));
    QCOMPARE(title, QString());
    QCOMPARE(owner, m_window.get());
    QCOMPARE(edit->Value(), 1.0);
    QCOMPARE(edit->text(), QString("1"));
    QCOMPARE(m_window->focusWidget(), edit);
    QApplication::setActiveWindow(m_window.get());
    QTRY_VERIFY(edit->hasFocus());
}

void EditsTest::floatText_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<int>("digits");
    QTest::addColumn<bool>("significant");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("fixed, point") << '.' << 3 << false << 5.0 << "5.000";
    QTest::newRow("fixed, comma") << ',' << 3 << false << 5.0 << "5,000";
    QTest::newRow("significant drops zeros") << '.' << 3 << true << 5.0 << "5";
    QTest::newRow("significant rounds") << ',' << 4 << true << 1.23456 << "1,235";
    QTest::newRow("significant small fraction") << '.' << 5 << true << 0.00012345 << "0.00012345";
    QTest::newRow("significant large in exponent form") << '.' << 3 << true << 1.5e20 << "1.5E20";
    QTest::newRow("significant tiny in exponent form") << ',' << 3 << true << -2.5e-7 << "-2,5E-7";
    QTest::newRow("significant integer digits up to the precision") << '.' << 3 << true << 123.4 << "123";
    QTest::newRow("significant carries into the next digit") << '.' << 2 << true << 9.96 << "10";
    QTest::newRow("fixed no decimals") << '.' << 0 << false << 2.5 << "3";
}

void EditsTest::floatText() {
    QFETCH(char, separator);
    QFETCH(int, digits);
    QFETCH(bool, significant);
    QFETCH(double, value);
    QFETCH(QString, text);
    ScopedLocale locale(withSeparator(separator));
    TFloatEdit edit;
    edit.SetDigits(digits);
    edit.SetSignificant(significant);
    edit.SetValue(value);
    QCOMPARE(edit.text(), text);
}

void EditsTest::floatAccept_data() {
    QTest::addColumn<char>("separator");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("comma, point locale") << '.' << "0,5" << 0.5 << "0.50" << "";
    QTest::newRow("point, point locale") << '.' << "0.25" << 0.25 << "0.25" << "";
    QTest::newRow("comma, comma locale") << ',' << "0,5" << 0.5 << "0,50" << "";
    QTest::newRow("point, comma locale") << ',' << "0.25" << 0.25 << "0,25" << "";
    QTest::newRow("exponent") << ',' << "2.5e-1" << 0.25 << "0,25" << "";
    QTest::newRow("above the maximum") << '.' << "12" << 10.0 << "10.00" << "";
    QTest::newRow("letters") << '.' << "abc" << 2.0 << "2.00" << "Неправильное значение: \"abc\"";
    // Texts that typing took in part: each begins with a number that the
    // edit must not keep.
    QTest::newRow("a letter after a number") << ',' << "0,2x" << 2.0 << "2,00" << "Неправильное значение: \"0,2x\"";
    QTest::newRow("two separators") << '.' << "1,5.3" << 2.0 << "2.00" << "Неправильное значение: \"1,5.3\"";
    QTest::newRow("a blank inside") << '.' << "1 000" << 2.0 << "2.00" << "Неправильное значение: \"1 000\"";
    QTest::newRow("hexadecimal") << '.' << "0x10" << 2.0 << "2.00" << "Неправильное значение: \"0x10\"";
    QTest::newRow("too large for a double") << '.' << "1e400" << 2.0 << "2.00" << "Неправильное значение: \"1e400\"";
    QTest::newRow("infinity") << '.' << "inf" << 2.0 << "2.00" << "Неправильное значение: \"inf\"";
    QTest::newRow("not a number") << '.' << "nan" << 2.0 << "2.00" << "Неправильное значение: \"nan\"";
}

void EditsTest::floatAccept() {
    QFETCH(char, separator);
    QFETCH(QString, typed);
    QFETCH(double, value);
    QFETCH(QString, text);
    QFETCH(QString, message);
    ScopedLocale locale(withSeparator(separator));
    auto* edit = place(new TFloatEdit(m_window.get()));
    edit->SetDigits(2);
    edit->SetMin(0);
    edit->SetMax(10);
    edit->SetValue(2);
    edit->setFocus();
    edit->clear();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(edit->Value(), value);
    QCOMPARE(edit->text(), text);
    QCOMPARE(g_messages, message.isEmpty() ? QStringList{} : QStringList{message});

    // Escape goes back to the value accepted last.
    edit->clear();
    QTest::keyClicks(edit, "7");
    QCOMPARE(edit->Value(), 7.0);
    QTest::keyClick(edit, Qt::Key_Escape);
    QCOMPARE(edit->Value(), value);
}

void EditsTest::floatChangeValueHook() {
    ScopedLocale locale(withSeparator('.'));
    TFloatEdit edit;
    edit.SetDigits(1);
    edit.SetMax(100);
    // The hook rounds to halves and may push the value past the limits; it is clamped again.
    edit.SetOnChangeValue([](double& v) { v = std::round(v * 2) / 2 + (v > 50 ? 100 : 0); });
    edit.SetValue(2.3);
    QCOMPARE(edit.Value(), 2.5);
    QCOMPARE(edit.text(), QString("2.5"));
    edit.SetValueInvisible(60);
    QCOMPARE(edit.Value(), 100.0);
    QCOMPARE(edit.text(), QString("2.5"));
}

void EditsTest::floatDigitsWaitWhileFocused() {
    ScopedLocale locale(withSeparator('.'));
    auto* edit = place(new TFloatEdit(m_window.get()));
    edit->SetDigits(3);
    edit->SetValue(1.5);
    QCOMPARE(edit->text(), QString("1.500"));
    edit->setFocus();
    edit->SetDigits(1);
    QCOMPARE(edit->text(), QString("1.500"));
    // Leaving accepts the text and writes it with the new digits.
    focusOther();
    QCOMPARE(edit->text(), QString("1.5"));
    edit->SetDigits(4);
    QCOMPARE(edit->text(), QString("1.5000"));
    edit->SetSignificant(true);
    QCOMPARE(edit->text(), QString("1.5"));
}

void EditsTest::enterInADialog_data() {
    QTest::addColumn<bool>("decimal");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<double>("value");
    QTest::newRow("whole number read") << false << "7" << true << 7.0;
    QTest::newRow("whole number unreadable") << false << "7x" << false << 3.0;
    QTest::newRow("decimal read") << true << "2,5" << true << 2.5;
    QTest::newRow("decimal unreadable") << true << "2,5x" << false << 3.0;
}

void EditsTest::enterInADialog() {
    QFETCH(bool, decimal);
    QFETCH(QString, typed);
    QFETCH(bool, closes);
    QFETCH(double, value);
    ScopedLocale locale(withSeparator('.'));
    QDialog dialog;
    auto* layout = new QVBoxLayout(&dialog);
    TNumEdit* edit = nullptr;
    std::function<double()> valueOf;
    if (decimal) {
        auto* d = new TFloatEdit(&dialog);
        d->SetDigits(1);
        d->SetValue(3);
        valueOf = [d] { return d->Value(); };
        edit = d;
    } else {
        auto* i = new TIntEdit(&dialog);
        i->SetValue(3);
        valueOf = [i] { return double(i->Value()); };
        edit = i;
    }
    auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
    layout->addWidget(edit);
    layout->addWidget(ok);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    QTest::keyClick(edit, Qt::Key_Return);

    QCOMPARE(valueOf(), value);
    QCOMPARE(dialog.isVisible(), !closes);
    QCOMPARE(dialog.result(), closes ? int(QDialog::Accepted) : int(QDialog::Rejected));
    if (!closes) {
        // The text was reported, and the edit has the focus to correct it.
        QCOMPARE(g_messages, QStringList{numedit::badValueText(typed)});
        QVERIFY(edit->hasFocus());
    } else {
        QCOMPARE(g_messages, QStringList{});
    }
}

void EditsTest::windowShortcutsWinOverTheEdits_data() {
    QTest::addColumn<QString>("edit");
    QTest::addColumn<int>("key");
    for (const char* edit : {"whole", "decimal", "table cell"}) {
        QTest::addRow("Ctrl+A in the %s edit", edit) << QString::fromLatin1(edit) << int(Qt::Key_A);
        QTest::addRow("Ctrl+E in the %s edit", edit) << QString::fromLatin1(edit) << int(Qt::Key_E);
    }
}

void EditsTest::windowShortcutsWinOverTheEdits() {
    QFETCH(QString, edit);
    QFETCH(int, key);
    // The window's commands, as the main window's "Аппроксимация" (Ctrl+A)
    // and export (Ctrl+E).
    auto* command = new QAction(QStringLiteral("Аппроксимация"), m_window.get());
    command->setShortcut(QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(key))));
    m_window->addAction(command);
    QSignalSpy triggered(command, &QAction::triggered);

    QLineEdit* line = nullptr;
    if (edit == QLatin1String("whole")) {
        auto* e = place(new TIntEdit(m_window.get()));
        e->SetValue(1234);
        line = e;
    } else if (edit == QLatin1String("decimal")) {
        auto* e = place(new TFloatEdit(m_window.get()));
        e->SetDigits(2);
        e->SetValue(12.5);
        line = e;
    } else {
        auto* table = place(new TGoodTable(m_window.get()));
        table->setMinimumSize(200, 60);
        table->SetColCount(1);
        table->SetRowCount(1);
        table->SetRow(0);
        table->SetCol(0);
        table->SetCells(0, 0, QStringLiteral("1234"));
        table->ShowEditor();
        line = table->Editor();
    }
    line->setFocus();
    QVERIFY(line->hasFocus());
    line->setCursorPosition(1);
    const QString text = line->text();

    QTest::keyClick(line, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(line->text(), text);
    QCOMPARE(line->selectedText(), QString());
    QCOMPARE(line->cursorPosition(), 1);

    // A key no enabled command has stays the edit's: Ctrl+A selects all.
    command->setEnabled(false);
    QTest::keyClick(line, Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(line->selectedText(), text);
    // Typing is always the edit's.
    line->setCursorPosition(line->text().size());
    QTest::keyClick(line, Qt::Key_5);
    QCOMPARE(line->text(), text + QLatin1Char('5'));
}

void EditsTest::comboShowsNoSelectionWhileDisabled() {
    auto* combo = place(new TDisComboBox(m_window.get()));
    combo->addItems({"COM1", "COM2", "COM3"});
    combo->SetItemIndex(2);
    combo->SetEnabled(false);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->currentText(), QString());
    QCOMPARE(combo->GetItemIndex(), 2);
    combo->SetItemIndex(1);
    QCOMPARE(combo->currentIndex(), -1);
    QCOMPARE(combo->GetItemIndex(), 1);
    combo->SetEnabled(false);
    QCOMPARE(combo->GetItemIndex(), 1);
    combo->SetEnabled(true);
    QCOMPARE(combo->currentIndex(), 1);
    QCOMPARE(combo->currentText(), QString("COM2"));

    // Items added while disabled do not show a selection either.
    auto* empty = place(new TDisComboBox(m_window.get()));
    empty->setEnabled(false);
    empty->addItems({"a", "b"});
    QCOMPARE(empty->currentIndex(), -1);
    empty->setEnabled(true);
    QCOMPARE(empty->currentIndex(), -1);

    // A disabled parent leaves the list's own selection alone.
    m_window->setEnabled(false);
    QCOMPARE(combo->currentIndex(), 1);
    m_window->setEnabled(true);
}

QTEST_MAIN(EditsTest)
#include "EditsTest.moc"
