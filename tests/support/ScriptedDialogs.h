#pragma once

// The main window's modal questions answered from a script, for the widget
// tests and benchmarks: no dialog opens, so a command runs to its end
// without a modal loop. Left as they start, the answers are those of a user
// who cancels New, takes the calibration package by volume, declines the
// options and the section choice, says No to saving and Yes to deleting,
// and gives no file name; an error box is only recorded. A test sets the
// answers it needs and reads what was asked.

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "MainDialogs.h"
#include "document/Limits.h"

namespace testsupport {

class ScriptedDialogs : public MainDialogs {
public:
    ScriptedDialogs() = default;
    // New answers with the device type `newCode`.
    explicit ScriptedDialogs(int newCode) : code(newCode) {}

    // The answers.
    std::optional<int> code;  // the device type New creates; none cancels
    std::optional<NewPackageChoice> package = NewPackageChoice{};
    std::function<void(ApprOptions&)> editOptions;  // set: the options are accepted after it ran
    std::function<bool(approximation::SectionSelection&)> chooseSections;
    SaveAnswer saveAnswer = SaveAnswer::No;
    bool deleteAnswer = true;
    QString openName;
    QString saveName;
    std::optional<Limits> limits;  // the limits "Пределы погрешности" is closed with; none cancels

    // What was asked.
    int newDocumentAsked = 0;
    int saveAsked = 0;
    int saveNameAsked = 0;
    QString proposedName;
    QString deleteCaption;
    QString aboutText;
    QString limitsModel;  // the model the limits dialog was shown for
    QStringList errors;

    std::optional<int> newDocument(QWidget*) override {
        ++newDocumentAsked;
        return code;
    }
    std::optional<NewPackageChoice> newPackage(QWidget*) override { return package; }
    bool apprOptions(QWidget*, ApprOptions& options) override {
        if (!editOptions) return false;
        editOptions(options);
        return true;
    }
    bool selectSections(QWidget*, approximation::SectionSelection& selection) override {
        return chooseSections && chooseSections(selection);
    }
    void textExchange(QWidget*, PackageBase&, bool, int) override {}
    bool editLimits(QWidget*, const QString& model, Limits& current) override {
        limitsModel = model;
        if (!limits) return false;
        current = *limits;
        return true;
    }
    SaveAnswer askSave(QWidget*) override {
        ++saveAsked;
        return saveAnswer;
    }
    bool confirmDeletePackage(QWidget*, const QString& caption) override {
        deleteCaption = caption;
        return deleteAnswer;
    }
    QString openDocumentName(QWidget*) override { return openName; }
    QString saveDocumentName(QWidget*, const QString& proposed) override {
        ++saveNameAsked;
        proposedName = proposed;
        return saveName;
    }
    void about(QWidget*, const QString& text) override { aboutText = text; }
    void error(QWidget*, const QString& text) override { errors << text; }
};

}  // namespace testsupport
