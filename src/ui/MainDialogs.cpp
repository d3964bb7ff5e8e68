#include "MainDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "ApprOptionsDialog.h"
#include "ChartWindows.h"
#include "CsvOptionsDialog.h"
#include "HelpWindow.h"
#include "LimitsDialog.h"
#include "NewDocumentDialog.h"

namespace {

const QString kCaption = QStringLiteral("Соврель");

// A dialog that names no help topic of its own gets the one of its kind.
void setDefaultKeyword(QWidget* widget, const char* keyword) {
    if (!widget->property(kHelpKeywordProperty).isValid()) widget->setProperty(kHelpKeywordProperty, QString::fromUtf8(keyword));
}

}  // namespace

StandardMainDialogs::StandardMainDialogs(QWidget* owner) : m_owner(owner) {}

StandardMainDialogs::~StandardMainDialogs() {
    // Dialogs made without an owner window are this set's own.
    for (QWidget* dialog : std::initializer_list<QWidget*>{m_apprOptions, m_newDocument, m_newPackage, m_csvOptions,
                                                          m_sectionSelect, m_limits})
        if (dialog && !dialog->parent()) delete dialog;
}

ApprOptionsDialog& StandardMainDialogs::apprOptionsDialog() {
    if (!m_apprOptions) {
        m_apprOptions = new ApprOptionsDialog(m_owner);
        setDefaultKeyword(m_apprOptions, "approximation_params");
    }
    return *m_apprOptions;
}

NewDocumentDialog& StandardMainDialogs::newDocumentDialog() {
    if (!m_newDocument) m_newDocument = new NewDocumentDialog(m_owner);
    return *m_newDocument;
}

NewPackageDialog& StandardMainDialogs::newPackageDialog() {
    if (!m_newPackage) {
        m_newPackage = new NewPackageDialog(m_owner);
        setDefaultKeyword(m_newPackage, "packet_work");
    }
    return *m_newPackage;
}

CsvOptionsDialog& StandardMainDialogs::csvOptionsDialog() {
    if (!m_csvOptions) {
        m_csvOptions = new CsvOptionsDialog(m_owner);
        setDefaultKeyword(m_csvOptions, "export_data");
    }
    return *m_csvOptions;
}

SectionChooser& StandardMainDialogs::sectionSelectDialog() {
    if (!m_sectionSelect) {
        m_sectionSelect = Charts().sectionChooser(m_owner);
        setDefaultKeyword(m_sectionSelect, "select_section");
    }
    return *m_sectionSelect;
}

LimitsDialog& StandardMainDialogs::limitsDialog() {
    if (!m_limits) m_limits = new LimitsDialog(m_owner);
    return *m_limits;
}

std::optional<int> StandardMainDialogs::newDocument(QWidget*) { return newDocumentDialog().choose(); }

std::optional<NewPackageChoice> StandardMainDialogs::newPackage(QWidget*) { return newPackageDialog().choose(); }

bool StandardMainDialogs::apprOptions(QWidget*, ApprOptions& options) { return apprOptionsDialog().edit(options); }

bool StandardMainDialogs::selectSections(QWidget*, approximation::SectionSelection& selection) {
    return sectionSelectDialog().choose(selection);
}

void StandardMainDialogs::textExchange(QWidget*, PackageBase& package, bool exportText, int hidden) {
    csvOptionsDialog().Execute(package, exportText, hidden);
}

bool StandardMainDialogs::editLimits(QWidget*, const QString& model, Limits& limits) {
    return limitsDialog().edit(model, limits);
}

SaveAnswer StandardMainDialogs::askSave(QWidget* owner) {
    QMessageBox box(QMessageBox::Question, kCaption, QStringLiteral("Сохранить изменения?"),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return SaveAnswer::Yes;
    case QMessageBox::No:
        return SaveAnswer::No;
    default:
        return SaveAnswer::Cancel;
    }
}

bool StandardMainDialogs::confirmDeletePackage(QWidget* owner, const QString& caption) {
    QMessageBox box(QMessageBox::Warning, kCaption, QStringLiteral("Удалить пакет ") + caption + QStringLiteral("?"),
                    QMessageBox::Yes | QMessageBox::No, owner);
    return box.exec() == QMessageBox::Yes;
}

QString StandardMainDialogs::openDocumentName(QWidget* owner) {
    QFileDialog dialog(owner, QString(), m_lastDir, QString::fromUtf8(kDocumentFilter));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(QStringLiteral("srv"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().constFirst();
    m_lastDir = QFileInfo(path).absolutePath();
    return path;
}

QString StandardMainDialogs::saveDocumentName(QWidget* owner, const QString& proposed) {
    QFileDialog dialog(owner, QString(), m_lastDir, QString::fromUtf8(kDocumentFilter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("srv"));
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString path = dialog.selectedFiles().constFirst();
    m_lastDir = QFileInfo(path).absolutePath();
    return path;
}

void MainDialogs::error(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::Critical, kCaption, text, QMessageBox::Ok, owner);
    box.exec();
}

QString MainDialogs::saveFileName(QWidget* owner, const QString& caption, const QString& filter,
                                  const QString& proposed) {
    return QFileDialog::getSaveFileName(owner, caption, proposed, filter);
}

void StandardMainDialogs::about(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("О программе"), text, QMessageBox::Ok, owner);
    box.exec();
}
