#pragma once

#include <QString>

class QFormLayout;
class QLabel;
class QWidget;

// What screen readers and GUI automation see of the program's controls.
//
// TGoodTable draws its cells itself, so Qt knows nothing of them: the
// program gives it a table interface (rows, columns, header captions, cell
// texts, the current cell). Qt names a combo box on Linux by its current
// item; a combo box that has an accessible name of its own is announced by
// that name instead, with the item as its value.

// Installs both interfaces; safe to call any number of times. Every
// TGoodTable and every labelled control calls it, so a window need not.
void InstallAccessibility();

// The accessible name a caption gives: without "&" and a closing ":".
QString AccessibleCaption(const QString& caption);

// Names a control as a person sees it. A control that shows a caption (a
// button, a check box, a radio button) is announced by that caption (a page
// that changes the caption calls this again); `spoken`, when it says more, becomes the
// control's description and tooltip. Two controls of one page that show the
// same caption are told apart by a `spoken` that begins with the caption and
// a dash ("Считать — Адрес"): that is then the name. A control without a
// caption of letters or digits (an edit, a list, a "..." button) is named
// `spoken`.
void NameControl(QWidget* control, const QString& spoken);

// Names a control for the program (the object name scripts and tests use)
// and for a person (NameControl); the control.
template <class W>
W* named(W* widget, const char* objectName, const QString& spoken) {
    widget->setObjectName(QLatin1String(objectName));
    NameControl(widget, spoken);
    return widget;
}

// Whether a caption says something in words (not only "..." or "<").
bool CaptionHasWords(const QString& caption);

// Links a caption label to the control it names: the label becomes the
// control's buddy and the control's accessible name is the caption. A name
// the control had that does not begin with the caption becomes its
// description, unless it has one.
void LabelControl(QLabel* label, QWidget* control);

// A form row of a caption and its control, linked as above; the new label.
QLabel* AddLabelledRow(QFormLayout* form, const QString& caption, QWidget* control);
