#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "MainDialogs.h"
#include "PackageTableSource.h"
#include "ArchiveWindow.h"  // archiveForm() converts its QPointer too
#include "SpprDlg.h"  // spprDialog() converts its QPointer, which needs the whole class
#include "approximation/Chart.h"
#include "common/Console.h"
#include "document/Document.h"
#include "document/Limits.h"

class ArchiveLink;
class ConsoleView;
class DeviceBase;
class HelpService;
class LinesDialog;
class PackageBase;
class QAction;
class QActionGroup;
class QMenu;
class QStackedWidget;
class QTabBar;
class QToolBar;
class QVBoxLayout;
class TGoodTable;
class TStatusBar;
class GraphWindow;
class TSpprDlg;

// TMainForm: the program's main window. It holds the one open document,
// shows the device page on tab 0 and a table of entries per package on the
// other tabs, carries every command in its menus, toolbar and shortcuts,
// and keeps the message console into which the whole program reports.
//
// Every command catches its own failures and writes their text to the
// console; a Cancel in a prompt or file dialog ends a command silently.
class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // `dialogs` answers the window's modal questions; null makes the
    // program's own dialogs.
    explicit TMainForm(std::unique_ptr<MainDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    // Start-up: opens the first argument that does not begin with "-" as a
    // document (the program name is not among them). A file that cannot be
    // read is reported in the console and an error box, and the window
    // stays with no document open.
    void OpenStartupDocument(const QStringList& arguments);

    // ConsoleMessage: one time-stamped line in the console.
    void ConsoleMessage(const QString& text);

    Document& document() { return m_doc; }
    Console& console() { return m_console; }
    MainDialogs& dialogs() { return *m_dialogs; }

    // Selected tab: 0 the device page, i + 1 package i; -1 without a document.
    int CurrentTab() const;
    void SelectTab(int index);
    // The package of the selected tab, or null on tab 0 and without a document.
    PackageBase* CurrentPackage() const;
    PackagePtr CurrentPackagePtr() const;
    QStringList TabCaptions() const { return m_tabCaptions; }

    // Where the report is written and opened from; fixed at start.
    QString ReportPath() const { return m_reportPath; }
    void SetReportPath(const QString& path) { m_reportPath = path; }
    // The program that shows the report, with any arguments before the
    // report's path: xdg-open unless changed. When it is missing or ends
    // with a failure, the console says where the report was written.
    QStringList ReportViewer() const { return m_reportViewer; }
    void SetReportViewer(const QStringList& command) { m_reportViewer = command; }

    TGoodTable* table() const { return m_table; }
    // The status bar: the verdict of a verification tab in panel 0 ("Годен",
    // "Не годен: N точек вне пределов", "пределы не заданы", "нет точек"),
    // the limits it is judged by in panel 1; both empty on other tabs.
    TStatusBar* verdictBar() const { return m_statusBar; }
    // The limits of the document's model, as the window judges by them.
    const Limits& limits() const { return m_limits; }
    ConsoleView* consoleView() const { return m_consoleView; }
    QTabBar* tabBar() const { return m_tabs; }
    QMenu* pagesMenu() const { return m_pagesMenu; }
    QToolBar* toolBar() const { return m_toolBar; }
    LinesDialog* linesDialog() const { return m_lines; }
    // The graphs window, made on its first use (its charts take longer to
    // build than the whole main window), and the chart data it was last given.
    GraphWindow* graphWindow();
    const SPILTS_DATA_EXCHANGE& chartData() const { return m_chartData; }
    HelpService* help() const { return m_help; }
    // The device page of the open document, if its family has one.
    QWidget* devicePage() const { return m_devicePage; }
    // The Nivor dialog while it is open.
    TSpprDlg* spprDialog() const { return m_sppr; }

    // The commands. Actions of the action list and the menu items that are
    // not actions, by the names the window gives them.
    QAction* ActionNew = nullptr;
    QAction* ActionOpen = nullptr;
    QAction* ActionSave = nullptr;
    QAction* ActionNewPackage = nullptr;
    QAction* ActionDeletePackage = nullptr;
    QAction* ActionNewEntry = nullptr;
    QAction* ActionNewEntryReadCode = nullptr;  // "Ввод из РВ"
    QAction* ActionDeleteEntry = nullptr;
    QAction* ActionReport = nullptr;
    QAction* ActionReportPdf = nullptr;
    QAction* ActionApprOptions = nullptr;
    QAction* ActionSetPoints = nullptr;
    QAction* ActionAppr = nullptr;
    QAction* ActionLines = nullptr;
    QAction* ActionGraphics = nullptr;
    QAction* ActionLimits = nullptr;  // "Пределы погрешности"
    QAction* ActionExchangeLog = nullptr;  // "Журнал обмена"
    QAction* ActionNewEntryNIV = nullptr;
    QAction* NSaveAs = nullptr;
    QAction* NClose = nullptr;
    QAction* NExit = nullptr;
    QAction* NExport = nullptr;
    QAction* NImport = nullptr;
    QAction* NHelp = nullptr;
    QAction* NAbout = nullptr;
    QAction* NArchive = nullptr;  // "Архив…"

    // The About box's text: name, version of the build, build date and time.
    static QString AboutText();

public slots:
    void ActionNewExecute();
    void ActionOpenExecute();
    // Save and Save as: false when cancelled (the save dialog) or failed.
    bool ActionSaveExecute();
    bool NSaveAsClick();
    // Close: false when cancelled at the save prompt or when saving failed.
    bool NCloseClick();
    void NExitClick();
    void ActionNewPackageExecute();
    void ActionDeletePackageExecute();
    void ActionNewEntryExecute();
    // A new entry of the selected package with the RV page's mean code and
    // pulse counter, recalculated at once.
    void ActionNewEntryReadCodeExecute();
    void ActionDeleteEntryExecute();
    void ActionReportExecute();
    void ActionReportPdfExecute();
    void NExportClick();
    void NImportClick();
    void ActionApprOptionsExecute();
    void ActionApprExecute();
    void ActionSetPointsExecute();
    void ActionLinesExecute();
    void ActionGraphicsExecute();
    // "Пределы погрешности": the limits of the document's model in their
    // dialog; accepted ones are stored for the model and judge at once.
    void ActionLimitsExecute();
    // "Журнал обмена" of the "Страницы" menu: the exchange log window on the
    // port of the device page.
    void ActionExchangeLogExecute();
    // "Ввод с НИВ-2.3": makes the Nivor dialog on first use, gives it the
    // package of the selected tab and shows it beside the window.
    void ActionNewEntryNIVExecute();
    void NHelpClick();
    void NAboutClick();
    // "Архив…": the archive window, made on first use, shown beside the window.
    void NArchiveClick();

public:
    // Records each save in the calibration archive.
    ArchiveLink* archiveLink() const { return m_archive; }
    TArchiveForm* archiveForm() const { return m_archiveForm; }
    // A document from the archive as a new, unsaved document (after the
    // save prompt); false when cancelled or unreadable.
    bool OpenArchivedDocument(const std::string& bytes);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateLayout();

    // Runs a command; its failure goes to the console. True when it ran to
    // its end without an error.
    bool Guarded(const std::function<void()>& command);
    // The body of Save, Save as and Close without the error handling.
    bool Save();
    bool SaveAs();
    bool CloseDocument();
    // The save prompt; false when the command must stop.
    bool SavePrompt();
    void ReadDocumentFile(const QString& path);
    void TextExchange(bool exportText);
    // Opens a written report (the HTML page or the PDF) in the viewer.
    void ShowReport(const QString& path);

    void SetTitle(const QString& fileName);
    void SetFamilyCaptions();
    void SetGraphTitles();
    void RebuildTabs();
    // Tab 0 and its "Страницы" item say the device model's name as it is now.
    void RefreshDeviceCaption();
    void TabChanged();
    void RefreshTable();
    void TableChanged(int row, int col);
    void UpdateActions();
    // The verdict column's limits and the status bar follow the package.
    void ShowVerdict();
    // The limits the graphs window draws: the model's, when the document
    // has a verification package.
    Limits GraphLimits() const;
    void RefreshConsole();
    // The device page follows the document's device model.
    void SyncDevicePage();
    void DestroyDevicePage();

    Console m_console;
    Document m_doc;
    std::unique_ptr<MainDialogs> m_dialogs;
    QString m_reportPath;
    QStringList m_reportViewer{QStringLiteral("xdg-open")};
    QStringList m_tabCaptions;

    QTabBar* m_tabs = nullptr;
    QStackedWidget* m_stack = nullptr;
    QWidget* m_empty = nullptr;
    QWidget* m_pageHolder = nullptr;
    QVBoxLayout* m_pageLayout = nullptr;
    QWidget* m_devicePage = nullptr;
    DeviceBase* m_pageDevice = nullptr;
    TGoodTable* m_table = nullptr;
    PackageTableSource m_source;
    Limits m_limits;
    TStatusBar* m_statusBar = nullptr;
    ConsoleView* m_consoleView = nullptr;
    QToolBar* m_toolBar = nullptr;
    QMenu* m_pagesMenu = nullptr;
    QActionGroup* m_pagesGroup = nullptr;
    QAction* m_pagesSeparator = nullptr;
    LinesDialog* m_lines = nullptr;
    GraphWindow* m_graph = nullptr;
    SPILTS_DATA_EXCHANGE m_chartData;
    HelpService* m_help = nullptr;
    QPointer<TSpprDlg> m_sppr;
    ArchiveLink* m_archive = nullptr;
    QPointer<TArchiveForm> m_archiveForm;
};
