#include "StatusBar.h"

#include <QLabel>

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent) { setSizeGripEnabled(false); }

void TStatusBar::SetPanelCount(int n) {
    if (n < 0) n = 0;
    while (PanelCount() > n) {
        QLabel* panel = m_panels.back();
        m_panels.pop_back();
        removeWidget(panel);
        delete panel;
    }
    while (PanelCount() < n) {
        auto* panel = new QLabel(this);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        // Earlier panels keep their width; the last one stretches.
        if (!m_panels.empty()) {
            QLabel* previous = m_panels.back();
            removeWidget(previous);
            addWidget(previous, 0);
            previous->show();
        }
        addWidget(panel, 1);
        panel->show();
        m_panels.push_back(panel);
    }
}

QString TStatusBar::PanelText(int index) const { return m_panels[index]->text(); }

void TStatusBar::SetPanelText(int index, const QString& text) { m_panels[index]->setText(text); }

void TStatusBar::SetPanelWidth(int index, int pixels) { m_panels[index]->setMinimumWidth(pixels); }
