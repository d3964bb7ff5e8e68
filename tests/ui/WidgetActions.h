#pragma once

// What the widget tests do to a window as a user would, and the main
// window's modal questions answered from a script.

#include <QComboBox>
#include <QLatin1String>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

#include <optional>

#include "MainDialogs.h"

namespace widgettest {

// A control of a window by its object name.
template <class W = QWidget>
W* child(QWidget& window, const char* name) {
    return window.findChild<W*>(QLatin1String(name));
}

// Types into an edit as a user does, then Enter.
inline void type(QLineEdit* edit, const QString& text) {
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Chooses an item of a drop-down list as a user does.
inline void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// The modal questions of the main window: the device type of New, a
// calibration package by volume, No to saving, Yes to deleting, and the
// file names set by the test.
class ScriptedDialogs : public MainDialogs {
public:
    std::optional<int> code;
    QString openName;
    QString saveName;

    std::optional<int> newDocument(QWidget*) override { return code; }
    std::optional<NewPackageChoice> newPackage(QWidget*) override {
        return NewPackageChoice{PackageType::Calibration, Method::Volume};
    }
    bool apprOptions(QWidget*, ApprOptions&) override { return false; }
    bool selectSections(QWidget*, approximation::SectionSelection&) override { return false; }
    void textExchange(QWidget*, PackageBase&, bool, int) override {}
    SaveAnswer askSave(QWidget*) override { return SaveAnswer::No; }
    bool confirmDeletePackage(QWidget*, const QString&) override { return true; }
    QString openDocumentName(QWidget*) override { return openName; }
    QString saveDocumentName(QWidget*, const QString&) override { return saveName; }
    void about(QWidget*, const QString&) override {}
};

}  // namespace widgettest
