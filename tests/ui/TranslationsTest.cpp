// Qt's own dialogs speak Russian once the program has loaded Qt's catalogue.

#include "QtTranslations.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

class TranslationsTest : public QObject {
    Q_OBJECT
private slots:
    void messageBoxAndFileDialogInRussian();
};

void TranslationsTest::messageBoxAndFileDialogInRussian() {
    QVERIFY2(LoadQtTranslations(*qApp), "qtbase_ru.qm is missing: install qt6-translations-l10n");

    // The save prompt's buttons.
    QMessageBox box(QMessageBox::Question, QStringLiteral("Соврель"), QStringLiteral("Сохранить изменения?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
    QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));

    // Qt's own file dialog, as the open command shows it where the desktop
    // offers none of its own.
    QFileDialog dialog(nullptr, QStringLiteral("Открыть"), QString(), QStringLiteral("Преобразователь расхода (*.srv)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    auto* lookIn = dialog.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    QVERIFY(lookIn);
    QCOMPARE(lookIn->text().remove(QLatin1Char('&')), QStringLiteral("Перейти к:"));
}

QTEST_MAIN(TranslationsTest)
#include "TranslationsTest.moc"
