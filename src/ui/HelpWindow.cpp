#include "HelpWindow.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {

const QString kDefaultTopic = QStringLiteral("introduction");

bool hasPages(const QString& dir) { return !dir.isEmpty() && QFileInfo(dir + QStringLiteral("/introduction.htm")).isFile(); }

}  // namespace

QString HelpDirectory() {
    QStringList candidates;
    const QString fromEnv = qEnvironmentVariable("RVSERVICE_HELP_DIR");
    if (!fromEnv.isEmpty()) candidates << fromEnv;
    const QString programDir = QCoreApplication::applicationDirPath();
    candidates << programDir + QStringLiteral("/help") << programDir + QStringLiteral("/../share/rvservice/help");
#ifdef RVSERVICE_SOURCE_HELP_DIR
    candidates << QStringLiteral(RVSERVICE_SOURCE_HELP_DIR);
#endif
    for (const QString& dir : candidates)
        if (hasPages(dir)) return QDir(dir).absolutePath();
    return {};
}

QString HelpPagePath(const QString& keyword) {
    const QString dir = HelpDirectory();
    if (dir.isEmpty()) return {};
    const QString topic = keyword.isEmpty() ? kDefaultTopic : keyword;
    // A keyword names a page of the folder, never a path elsewhere.
    if (topic.contains(QLatin1Char('/')) || topic.contains(QLatin1Char('\\')) || topic.startsWith(QLatin1Char('.')))
        return {};
    const QString path = dir + QLatin1Char('/') + topic + QStringLiteral(".htm");
    return QFileInfo(path).isFile() ? path : QString();
}

QString HelpKeywordOf(const QWidget* widget) {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant keyword = w->property(kHelpKeywordProperty);
        if (keyword.isValid()) return keyword.toString();
    }
    return {};
}

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Справка"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    m_browser = new QTextBrowser(this);
    m_browser->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    // Wide enough for the pages' window pictures (up to 830 pixels) beside
    // the scroll bar.
    resize(900, 700);
}

bool HelpWindow::ShowTopic(const QString& keyword) {
    const QString path = HelpPagePath(keyword);
    if (path.isEmpty()) return false;
    m_browser->setSource(QUrl::fromLocalFile(path));
    show();
    raise();
    activateWindow();
    return true;
}

QString HelpWindow::currentPage() const { return m_browser->source().toLocalFile(); }

HelpService::HelpService(QWidget* mainWindow) : QObject(mainWindow), m_mainWindow(mainWindow) {
    qApp->installEventFilter(this);
}

bool HelpService::ShowTopic(const QString& keyword) {
    if (HelpPagePath(keyword).isEmpty()) return false;
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = m_mainWindow;
    if (!m_window) {
        m_window = new HelpWindow(owner);
    } else if (m_window->parentWidget() != owner) {
        const QRect geometry = m_window->geometry();
        m_window->setParent(owner, Qt::Window);
        m_window->setGeometry(geometry);
    }
    return m_window->ShowTopic(keyword);
}

bool HelpService::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && watched->isWidgetType()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            auto* widget = static_cast<QWidget*>(watched);
            // The help window's own F1 shows the default topic.
            if (m_window && (widget == m_window || m_window->isAncestorOf(widget))) {
                ShowTopic(QString());
            } else {
                ShowTopic(HelpKeywordOf(widget));
            }
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
