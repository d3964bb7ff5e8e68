#pragma once

// What the widget tests do to a window as a user would, and the main
// window's modal questions answered from a script.

#include <QComboBox>
#include <QLatin1String>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QWidget>

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

// The main window's modal questions answered from a script.
using testsupport::ScriptedDialogs;

}  // namespace widgettest
