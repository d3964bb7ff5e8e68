#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

class QTextBrowser;

// The dynamic property by which a window names its help topic ("Overview",
// "approximation_params", ...). A widget without one takes its nearest
// ancestor's.
inline constexpr const char* kHelpKeywordProperty = "helpKeyword";

// The folder of the help pages, one "<keyword>.htm" per topic: the
// RVSERVICE_HELP_DIR environment variable, else "help" beside the program,
// else the installed share folder, else the source tree's help folder the
// program was built from. Empty when none of them exists.
QString HelpDirectory();
// The page of a keyword ("introduction" when empty); empty when the help
// folder has no such page.
QString HelpPagePath(const QString& keyword);
// The keyword of a widget or of its nearest ancestor that names one.
QString HelpKeywordOf(const QWidget* widget);

// The program's help browser: one window that shows the topic pages and
// follows their links.
class HelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Shows the page of a keyword and raises the window; false, with nothing
    // shown, when there is no such page (help unavailable).
    bool ShowTopic(const QString& keyword);
    QString currentPage() const;
    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser = nullptr;
};

// Answers the help key F1 in every window of the program with the topic of
// the focused widget's keyword. The browser window belongs to the active
// modal dialog while one is open, so that it can be used beside it.
class HelpService : public QObject {
    Q_OBJECT
public:
    explicit HelpService(QWidget* mainWindow);

    // Shows a topic; false when the help is unavailable.
    bool ShowTopic(const QString& keyword);
    HelpWindow* window() const { return m_window; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_mainWindow;
    QPointer<HelpWindow> m_window;
};
