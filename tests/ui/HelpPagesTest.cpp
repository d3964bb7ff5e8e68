// The help pages as the program shows them: every help keyword that a window
// names has its page, F1 in that window shows it, the contents page links
// every page and every page links back, and no link or picture of any page
// points at something that does not exist.

#include "ApprOptionsDialog.h"
#include "CsvOptionsDialog.h"
#include "HelpWindow.h"
#include "LimitsDialog.h"
#include "LinesDialog.h"
#include "MainWindow.h"
#include "NewDocumentDialog.h"
#include "NewPackageDialog.h"
#include "SectionSelectDialog.h"
#include "ServiceGraph.h"
#include "SpprDlg.h"

#include "link/RegKey.h"
#include "support/ScriptedDialogs.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>

#include <optional>

namespace {

const QString kContents = QStringLiteral("introduction");

// The offscreen platform cannot raise a window; the help window raises
// itself at every topic, so that warning is dropped.
QtMessageHandler g_defaultHandler = nullptr;
void dropRaiseWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.contains(QLatin1String("does not support raise()"))) return;
    g_defaultHandler(type, context, message);
}


// A page's links (href of anchors, src of pictures) and the anchor names it
// offers, as the help browser's document reads them.
struct PageLinks {
    QStringList hrefs;
    QStringList images;
    QSet<QString> anchors;
};

PageLinks readPage(const QString& path) {
    QFile file(path);
    PageLinks links;
    if (!file.open(QIODevice::ReadOnly)) return links;
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) links.images << format.toImageFormat().name();
            if (format.isAnchor()) {
                if (!format.anchorHref().isEmpty()) links.hrefs << format.anchorHref();
                for (const QString& name : format.anchorNames()) links.anchors.insert(name);
            }
        }
    }
    links.hrefs.removeDuplicates();
    return links;
}

QStringList helpPages(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral("*.htm")}, QDir::Files, QDir::Name);
}

}  // namespace

class HelpPagesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void everyKeywordOfTheWindowsOpensItsPage();
    void contentsLinksEveryPageAndEveryPageLinksBack();
    void noLinkOrPictureIsBroken();

private:
    // Every widget of the tree that names a keyword: its page is shown by
    // ShowTopic and by F1 in a control of the window that has no keyword of
    // its own. The keywords met go into m_keywords.
    void checkWindowTree(TMainForm& form, QWidget* root);

    QTemporaryDir m_dir;
    QString m_helpDir;
    QSet<QString> m_keywords;
};

void HelpPagesTest::initTestCase() {
    g_defaultHandler = qInstallMessageHandler(dropRaiseWarnings);
    QVERIFY(m_dir.isValid());
    RegKey::SetFileLocation(m_dir.filePath(QStringLiteral("settings.json")).toStdString());
    m_helpDir = HelpDirectory();
    QVERIFY2(!m_helpDir.isEmpty(), "no help folder found");
}

void HelpPagesTest::cleanupTestCase() {
    RegKey::SetFileLocation({});
    qInstallMessageHandler(g_defaultHandler);
}

void HelpPagesTest::checkWindowTree(TMainForm& form, QWidget* root) {
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        const QVariant own = widget->property(kHelpKeywordProperty);
        if (!own.isValid()) continue;
        const QString keyword = own.toString();
        const QString where = widget->metaObject()->className() + QStringLiteral(" ") + widget->objectName();
        m_keywords.insert(keyword);

        const QString page = HelpPagePath(keyword);
        QVERIFY2(!page.isEmpty(), qPrintable(QStringLiteral("no page for \"%1\" (%2)").arg(keyword, where)));
        QVERIFY2(QFileInfo(page).fileName() == keyword + QStringLiteral(".htm"), qPrintable(page));

        QVERIFY(form.help()->ShowTopic(keyword));
        HelpWindow* help = form.help()->window();
        QVERIFY(help && help->isVisible());
        QCOMPARE(help->currentPage(), page);
        QVERIFY2(!help->browser()->toPlainText().trimmed().isEmpty(), qPrintable(page));

        // F1 in a control that takes the window's keyword: its first child
        // without a keyword of its own, else the window itself.
        QWidget* target = widget;
        for (QWidget* child : widget->findChildren<QWidget*>()) {
            if (HelpKeywordOf(child) == keyword && !child->property(kHelpKeywordProperty).isValid()) {
                target = child;
                break;
            }
        }
        form.help()->ShowTopic(kContents);
        QTest::keyClick(target, Qt::Key_F1);
        QVERIFY2(help->currentPage() == page,
                 qPrintable(QStringLiteral("F1 in %1 showed %2").arg(where, help->currentPage())));
    }
}

void HelpPagesTest::everyKeywordOfTheWindowsOpensItsPage() {
    Console console;  // the Nivor dialog's; it outlives the window
    auto* dialogs = new testsupport::ScriptedDialogs;
    TMainForm form{std::unique_ptr<MainDialogs>(dialogs)};
    // The windows the main window makes when they are first used, each
    // made here over the main window as their owner.
    new ApprOptionsDialog(&form);
    new NewDocumentDialog(&form);
    new NewPackageDialog(&form);
    new CsvOptionsDialog(&form);
    new SectionSelectDialog(&form);
    new LimitsDialog(&form);
    new TSpprDlg(console, &form);
    form.graphWindow();

    // The main window with the device page of each family on tab 0.
    for (const int code : {0, 13, 26}) {
        dialogs->code = code;
        form.ActionNewExecute();
        QVERIFY2(form.devicePage(), qPrintable(QStringLiteral("no device page for type %1").arg(code)));
        checkWindowTree(form, &form);
        if (QTest::currentTestFailed()) return;
    }

    // "Справка" shows the contents page.
    form.NHelp->trigger();
    QCOMPARE(form.help()->window()->currentPage(), HelpPagePath(kContents));

    // The windows met above name at least the topics of the help (a window
    // that lost its keyword, or a page nobody opens).
    const QStringList expected = {QStringLiteral("Overview"),         QStringLiteral("approximation_params"),
                                  QStringLiteral("packet_work"),      QStringLiteral("select_section"),
                                  QStringLiteral("graphics"),         QStringLiteral("export_data"),
                                  QStringLiteral("dorn_main"),        QStringLiteral("kelt_main"),
                                  QStringLiteral("ralvo_main"),       QStringLiteral("ralvo_main_param"),
                                  QStringLiteral("ralvo_setup"),      QStringLiteral("ralvo_observation"),
                                  QStringLiteral("niv23_input"),      QStringLiteral("error_limits")};
    for (const QString& keyword : expected)
        QVERIFY2(m_keywords.contains(keyword), qPrintable(QStringLiteral("no window names \"%1\"").arg(keyword)));
}

void HelpPagesTest::contentsLinksEveryPageAndEveryPageLinksBack() {
    const QString contentsFile = kContents + QStringLiteral(".htm");
    const QStringList pages = helpPages(m_helpDir);
    QVERIFY(pages.contains(contentsFile));

    QSet<QString> linkedFromContents;
    for (const QString& href : readPage(m_helpDir + QLatin1Char('/') + contentsFile).hrefs)
        linkedFromContents.insert(QUrl(href).path());
    for (const QString& page : pages) {
        if (page == contentsFile) continue;
        QVERIFY2(linkedFromContents.contains(page), qPrintable(QStringLiteral("contents do not link %1").arg(page)));
        bool back = false;
        for (const QString& href : readPage(m_helpDir + QLatin1Char('/') + page).hrefs)
            back = back || QUrl(href).path() == contentsFile;
        QVERIFY2(back, qPrintable(QStringLiteral("%1 does not link the contents").arg(page)));
    }
}

void HelpPagesTest::noLinkOrPictureIsBroken() {
    const QDir dir(m_helpDir);
    QMap<QString, PageLinks> pages;
    for (const QString& page : helpPages(m_helpDir)) pages.insert(page, readPage(dir.filePath(page)));
    QVERIFY(!pages.isEmpty());

    int checked = 0;
    for (auto it = pages.cbegin(); it != pages.cend(); ++it) {
        const QString& page = it.key();
        for (const QString& href : it->hrefs) {
            const QUrl url(href);
            const QString what = page + QStringLiteral(": ") + href;
            // The help is read without a network: every link stays in the folder.
            QVERIFY2(url.isRelative() && url.host().isEmpty(), qPrintable(what + QStringLiteral(" leaves the help")));
            const QString target = url.path().isEmpty() ? page : QDir::cleanPath(url.path());
            QVERIFY2(pages.contains(target), qPrintable(what + QStringLiteral(": no such page")));
            if (url.hasFragment())
                QVERIFY2(pages[target].anchors.contains(url.fragment()),
                         qPrintable(what + QStringLiteral(": no such anchor")));
            ++checked;
        }
        for (const QString& src : it->images) {
            const QString what = page + QStringLiteral(": ") + src;
            QVERIFY2(QUrl(src).isRelative(), qPrintable(what + QStringLiteral(" leaves the help")));
            const QString file = dir.filePath(src);
            QVERIFY2(QFileInfo(file).isFile() && QFileInfo(file).canonicalFilePath().startsWith(dir.canonicalPath()),
                     qPrintable(what + QStringLiteral(": no such picture in the help folder")));
            QVERIFY2(!QImage(file).isNull(), qPrintable(what + QStringLiteral(": not a picture")));
            ++checked;
        }
    }
    // The walk saw the pages' links at all (a parse that finds none proves nothing).
    QVERIFY(checked > pages.size());
}

QTEST_MAIN(HelpPagesTest)
#include "HelpPagesTest.moc"
