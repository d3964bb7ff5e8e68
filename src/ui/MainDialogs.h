#pragma once

#include <QString>

#include <memory>
#include <optional>

#include "NewPackageDialog.h"

struct ApprOptions;
struct Limits;
class PackageBase;
class QWidget;
class ApprOptionsDialog;
class CsvOptionsDialog;
class LimitsDialog;
class NewDocumentDialog;
class SectionChooser;

namespace approximation {
class SectionSelection;
}

// The answers of the save prompt "Сохранить изменения?".
enum class SaveAnswer { Yes, No, Cancel };

// Every modal question the main window asks: the dialogs of the approximation
// and the document, the file dialogs and the message boxes. The program uses
// StandardMainDialogs; tests hand the window a scripted set, so that a
// command runs to its end without a modal loop.
class MainDialogs {
public:
    virtual ~MainDialogs() = default;

    // The new-document dialog: the chosen type code when it ends with OK
    // (-1 when OK was pressed before any device row was selected), nothing
    // when cancelled.
    virtual std::optional<int> newDocument(QWidget* owner) = 0;
    // The new-package dialog: the kind and method when it ends with OK.
    virtual std::optional<NewPackageChoice> newPackage(QWidget* owner) = 0;
    // The approximation options dialog over the document's options; true
    // when they were accepted. "По умолчанию" may change them even when the
    // dialog is then cancelled.
    virtual bool apprOptions(QWidget* owner, ApprOptions& options) = 0;
    // The section selection dialog with the series of the set points
    // command; true when the user confirms ("Продолжить").
    virtual bool selectSections(QWidget* owner, approximation::SectionSelection& selection) = 0;
    // The text export or import of a package, from the column choice to the
    // file; `hidden` trailing columns are left out.
    virtual void textExchange(QWidget* owner, PackageBase& package, bool exportText, int hidden) = 0;
    // "Пределы погрешности" over the limits of the model named `model`;
    // true, with the new limits (already checked) in `limits`, when they
    // were accepted.
    virtual bool editLimits(QWidget* owner, const QString& model, Limits& limits) = 0;

    // "Сохранить изменения?" (caption "Соврель", Yes, No, Cancel).
    virtual SaveAnswer askSave(QWidget* owner) = 0;
    // "Удалить пакет <caption>?" (caption "Соврель", Yes, No); true for Yes.
    virtual bool confirmDeletePackage(QWidget* owner, const QString& caption) = 0;
    // The open and save dialogs of document files; an empty name cancels.
    virtual QString openDocumentName(QWidget* owner) = 0;
    virtual QString saveDocumentName(QWidget* owner, const QString& proposed) = 0;
    // The About box (caption "О программе", OK).
    virtual void about(QWidget* owner, const QString& text) = 0;
    // An error that no command reports in the console alone (a document
    // named at start that cannot be read): an error box with the text.
    virtual void error(QWidget* owner, const QString& text);
    // A save dialog for any other file (the archive window's documents,
    // protocols and exports); an empty name cancels.
    virtual QString saveFileName(QWidget* owner, const QString& caption, const QString& filter,
                                 const QString& proposed);
};

// The program's own dialogs (the approximation options, the new document,
// the new package, the text export, the section selection, the limits), each made on
// its first use, not before the main window's first paint, and reused, so
// each keeps the choices the user left in it. They carry their help
// keywords.
class StandardMainDialogs final : public MainDialogs {
public:
    explicit StandardMainDialogs(QWidget* owner);
    ~StandardMainDialogs() override;

    std::optional<int> newDocument(QWidget* owner) override;
    std::optional<NewPackageChoice> newPackage(QWidget* owner) override;
    bool apprOptions(QWidget* owner, ApprOptions& options) override;
    bool selectSections(QWidget* owner, approximation::SectionSelection& selection) override;
    void textExchange(QWidget* owner, PackageBase& package, bool exportText, int hidden) override;
    bool editLimits(QWidget* owner, const QString& model, Limits& limits) override;
    SaveAnswer askSave(QWidget* owner) override;
    bool confirmDeletePackage(QWidget* owner, const QString& caption) override;
    QString openDocumentName(QWidget* owner) override;
    QString saveDocumentName(QWidget* owner, const QString& proposed) override;
    void about(QWidget* owner, const QString& text) override;

private:
    ApprOptionsDialog& apprOptionsDialog();
    NewDocumentDialog& newDocumentDialog();
    NewPackageDialog& newPackageDialog();
    CsvOptionsDialog& csvOptionsDialog();
    SectionChooser& sectionSelectDialog();
    LimitsDialog& limitsDialog();

    QWidget* m_owner = nullptr;
    // Owned by the owner window through Qt's parent chain.
    ApprOptionsDialog* m_apprOptions = nullptr;
    NewDocumentDialog* m_newDocument = nullptr;
    NewPackageDialog* m_newPackage = nullptr;
    CsvOptionsDialog* m_csvOptions = nullptr;
    SectionChooser* m_sectionSelect = nullptr;
    LimitsDialog* m_limits = nullptr;
    QString m_lastDir;
};

// The file dialogs' filter of document files.
inline constexpr const char* kDocumentFilter = "Преобразователь расхода (*.srv)";
