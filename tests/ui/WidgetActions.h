#pragma once

// What the widget tests do to a window as a user would, and the main
// window's modal questions answered from a script.

#include <QApplication>
#include <QComboBox>
#include <QLatin1String>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

#include "support/ScriptedDialogs.h"

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

// Runs `action` once the next modal dialog is up (the command that opens it
// is called right after).
inline void whenModal(std::function<void(QWidget*)> action) {
    auto attempt = std::make_shared<std::function<void()>>();
    auto left = std::make_shared<int>(500);
    *attempt = [action, attempt, left] {
        if (QWidget* modal = QApplication::activeModalWidget())
            action(modal);
        else if (--*left > 0)
            QTimer::singleShot(10, qApp, *attempt);
    };
    QTimer::singleShot(0, qApp, *attempt);
}

// The main window's modal questions answered from a script.
using testsupport::ScriptedDialogs;

}  // namespace widgettest
