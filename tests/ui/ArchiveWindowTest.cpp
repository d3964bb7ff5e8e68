// The archive in the program: Save and Save as record the document, an
// unreachable archive leaves the save done with a console line and the
// window showing the queue, and the archive window finds, sorts, opens,
// saves, makes protocols and exports.

#include <QCheckBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "ArchiveLink.h"
#include "ArchiveWindow.h"
#include "MainWindow.h"
#include "WidgetActions.h"
#include "archive/SampleDocuments.h"  // tests/archive
#include "components/GoodTable.h"
#include "files/FileBytes.h"
#include "document/Limits.h"
#include "link/RegKey.h"

using namespace widgettest;

class ArchiveWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void saveAndSaveAsRecordTheDocument();
    void anUnreachableArchiveLeavesTheSaveDone();
    void theWindowFindsSortsAndExports();
    void aRecordOpensSavesAndMakesAProtocol();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    std::string archivePath() const { return path(QStringLiteral("rvservice/archive.sqlite")).toStdString(); }
    TMainForm& makeForm();
    // Fills the default archive with `count` one-package documents, one
    // factory number each, saved a minute apart.
    void fillArchive(int count);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<TMainForm> m_form;
    ScriptedDialogs* m_script = nullptr;
};

void ArchiveWindowTest::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    RegKey::SetFileLocation(path(QStringLiteral("settings.json")).toStdString());
    qputenv("XDG_DATA_HOME", m_dir->path().toUtf8());
    qunsetenv("RVSERVICE_ARCHIVE");
}

void ArchiveWindowTest::cleanup() {
    m_form.reset();
    RegKey::SetFileLocation({});
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("RVSERVICE_ARCHIVE");
    m_dir.reset();
}

TMainForm& ArchiveWindowTest::makeForm() {
    auto script = std::make_unique<ScriptedDialogs>();
    m_script = script.get();
    m_form = std::make_unique<TMainForm>(std::move(script));
    m_form->show();
    return *m_form;
}

void ArchiveWindowTest::fillArchive(int count) {
    archive::Archive a(archivePath());
    std::vector<std::pair<archive::Submission, archive::PreparedDocument>> docs;
    for (int i = 0; i < count; ++i) {
        archive::Submission s;
        s.bytes = SampleDocumentBytes({.serial = static_cast<std::uint32_t>(10000000 + i * 37), .packages = 1,
                                       .entries = 4, .seed = i});
        s.path = "/lab/" + std::to_string(i) + ".srv";
        s.savedMs = 1'700'000'000'000 + i * 60'000LL;
        s.user = i % 2 ? "ivanov" : "petrova";
        s.host = "bench-" + std::to_string(i % 3);
        archive::PreparedDocument p = archive::Prepare(s.bytes);
        if (i % 4 == 1) p.packages[0].verdict = archive::Verdict{i % 8 == 1, LimitsJson(Limits::ofZones({{0.0, 1.0}}))};
        docs.emplace_back(std::move(s), std::move(p));
    }
    a.storeMany(docs);
}

void ArchiveWindowTest::saveAndSaveAsRecordTheDocument() {
    TMainForm& form = makeForm();
    m_script->code = 25;
    form.ActionNew->trigger();
    form.ActionNewPackage->trigger();
    form.document().packages().back()->addEntry();
    m_script->saveName = path(QStringLiteral("a.srv"));
    QVERIFY(form.NSaveAsClick());
    form.archiveLink()->flush();
    {
        archive::Archive a(archivePath());
        const std::vector<archive::Row> rows = a.find({});
        QCOMPARE(rows.size(), std::size_t{1});
        QCOMPARE(QString::fromStdString(rows[0].path), path(QStringLiteral("a.srv")));
        QCOMPARE(a.document(rows[0].id), readFile(path(QStringLiteral("a.srv")).toStdString()));
    }
    // Saved again unchanged: nothing new; with one more entry: a new record.
    QVERIFY(form.ActionSaveExecute());
    form.archiveLink()->flush();
    QCOMPARE(archive::Archive(archivePath()).find({}).size(), std::size_t{1});
    form.document().packages().back()->addEntry();
    QVERIFY(form.ActionSaveExecute());
    form.archiveLink()->flush();
    const std::vector<archive::Row> rows = archive::Archive(archivePath()).find({});
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[0].entries, 2);
}

void ArchiveWindowTest::anUnreachableArchiveLeavesTheSaveDone() {
    qputenv("RVSERVICE_ARCHIVE", "postgresql://postgres@127.0.0.1:1/none");
    TMainForm& form = makeForm();
    m_script->code = 1;
    form.ActionNew->trigger();
    form.ActionNewPackage->trigger();
    m_script->saveName = path(QStringLiteral("b.srv"));
    QVERIFY(form.NSaveAsClick());
    QVERIFY(QFile::exists(path(QStringLiteral("b.srv"))));
    form.archiveLink()->flush();
    QTRY_VERIFY(QString::fromStdString(form.console().text()).contains(QStringLiteral("Архив недоступен: запись отложена")));

    form.NArchive->trigger();
    TArchiveForm* window = form.archiveForm();
    QVERIFY(window && window->isVisible());
    QVERIFY2(window->state()->text().startsWith(QStringLiteral("Архив недоступен")), qPrintable(window->state()->text()));
    QCOMPARE(window->table()->RowCount(), 1);
    QCOMPARE(window->table()->Cells(0, ArchiveTableSource::Path), path(QStringLiteral("b.srv")));
    QCOMPARE(window->table()->Cells(0, ArchiveTableSource::Id), QStringLiteral("в очереди"));
}

void ArchiveWindowTest::theWindowFindsSortsAndExports() {
    fillArchive(300);
    QString exported;
    TArchiveForm::Hooks hooks;
    hooks.saveName = [&](QWidget*, const QString&, const QString&, const QString&) { return exported; };
    TArchiveForm window(archivePath(), path(QStringLiteral("queue.sqlite")).toStdString(), hooks);
    window.show();
    window.bnFindClick();
    TGoodTable* table = window.table();
    QCOMPARE(table->RowCount(), 300);
    QCOMPARE(table->Cells(0, ArchiveTableSource::Path), QStringLiteral("/lab/299.srv"));  // newest first
    QCOMPARE(window.modelBox()->count(), 2);  // "все" and the one model

    type(window.serialEdit(), QStringLiteral("0100001"));  // Enter runs the search
    // 10000000 + 37 i from 10000100 to 10000199: i = 3, 4, 5.
    QCOMPARE(table->RowCount(), 3);
    window.serialEdit()->clear();
    choose(window.verdictBox(), 2);  // "не годен"
    window.bnFindClick();
    QCOMPARE(table->RowCount(), 37);  // i = 5, 13, ..., 293
    choose(window.verdictBox(), 0);
    window.fromCheck()->setChecked(true);
    window.fromEdit()->setDate(QDate(2000, 1, 1));
    window.toCheck()->setChecked(true);
    window.toEdit()->setDate(QDate(2000, 12, 31));
    window.bnFindClick();
    QCOMPARE(table->RowCount(), 0);
    window.fromCheck()->setChecked(false);
    window.toCheck()->setChecked(false);
    window.bnFindClick();
    QCOMPARE(table->RowCount(), 300);

    // A click on a caption sorts by it, a second click turns the order.
    emit table->Header()->sectionClicked(ArchiveTableSource::Serial);
    QCOMPARE(table->Cells(0, ArchiveTableSource::Serial), QStringLiteral("010000000"));
    emit table->Header()->sectionClicked(ArchiveTableSource::Serial);
    QCOMPARE(table->Cells(0, ArchiveTableSource::Serial), QStringLiteral("010011063"));
    emit table->Header()->sectionClicked(ArchiveTableSource::ErrMax);
    for (int r = 1; r < table->RowCount(); ++r)
        QVERIFY(table->Cells(r - 1, ArchiveTableSource::ErrMax).toDouble() <= table->Cells(r, ArchiveTableSource::ErrMax).toDouble());

    exported = path(QStringLiteral("shown.csv"));
    window.bnExportClick();
    const QStringList lines = QString::fromStdString(readFile(exported.toStdString())).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 301);
    QVERIFY(lines[0].startsWith(QStringLiteral("№;Заводской номер;Модель;")));
    QCOMPARE(lines[1].split(';').at(ArchiveTableSource::Serial), table->Cells(0, ArchiveTableSource::Serial));
}

void ArchiveWindowTest::aRecordOpensSavesAndMakesAProtocol() {
    fillArchive(3);
    TMainForm& form = makeForm();
    form.NArchive->trigger();
    TArchiveForm* window = form.archiveForm();
    QVERIFY(window);
    QCOMPARE(window->table()->RowCount(), 3);
    window->table()->SetRow(1);
    const archive::Row record = window->source().item(1).row;
    const std::string bytes = *archive::Archive(archivePath()).document(record.id);

    TArchiveForm::Hooks hooks;
    QString name;
    std::string opened;
    hooks.saveName = [&](QWidget*, const QString&, const QString&, const QString&) { return name; };
    hooks.openDocument = [&](const std::string& b) { opened = b; };
    QStringList reported;
    hooks.report = [&](const QString& text) { reported << text; };
    TArchiveForm own(archivePath(), path(QStringLiteral("queue.sqlite")).toStdString(), hooks);
    own.bnFindClick();
    own.table()->SetRow(1);
    own.bnOpenClick();
    QVERIFY(opened == bytes);
    name = path(QStringLiteral("again.srv"));
    own.bnSaveAsClick();
    QVERIFY(readFile(name.toStdString()) == bytes);
    name = path(QStringLiteral("protocol.html"));
    own.bnReportClick();
    QVERIFY2(readFile(name.toStdString()).find("<head><title>") != std::string::npos, qPrintable(reported.join('\n')));
    name = path(QStringLiteral("protocol.pdf"));
    own.bnReportClick();
    QVERIFY(readFile(name.toStdString()).rfind("%PDF", 0) == 0);

    // "Открыть" in the program's window: a new document without a name.
    window->bnOpenClick();
    QVERIFY(form.document().isOpen());
    QCOMPARE(form.windowTitle(), QStringLiteral("Ralvo-Cервис []"));
    QCOMPARE(form.document().packages().size(), std::size_t{1});
    QCOMPARE(form.document().packages()[0]->entryCount(), 4);
    QVERIFY(form.document().fileName().empty());
}

QTEST_MAIN(ArchiveWindowTest)
#include "ArchiveWindowTest.moc"
