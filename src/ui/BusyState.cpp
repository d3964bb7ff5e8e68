#include "BusyState.h"

#include <QApplication>

BusyState::~BusyState() {
    if (m_busy) QApplication::restoreOverrideCursor();
}

void BusyState::Set(bool busy, const std::function<void()>& enable) {
    if (busy == m_busy) {
        enable();
        return;
    }
    m_busy = busy;
    if (busy) {
        m_focusBefore = QApplication::focusWidget();
        QApplication::setOverrideCursor(Qt::BusyCursor);
        enable();
        m_focusAfter = QApplication::focusWidget();
        return;
    }
    QApplication::restoreOverrideCursor();
    enable();
    if (m_focusBefore && m_focusBefore->isEnabled() && QApplication::focusWidget() == m_focusAfter.data())
        m_focusBefore->setFocus(Qt::OtherFocusReason);
    m_focusBefore = nullptr;
    m_focusAfter = nullptr;
}
