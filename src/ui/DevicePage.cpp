#include "DevicePage.h"

#include <QApplication>
#include <QMessageBox>

namespace {

DevicePage::ErrorBox g_errorBox;

}  // namespace

void DevicePage::SetErrorBox(ErrorBox box) { g_errorBox = std::move(box); }

void DevicePage::ShowError(const char* text) {
    const QString message = QString::fromUtf8(text);
    if (g_errorBox)
        g_errorBox(this, message);
    else
        QMessageBox::critical(this, QApplication::applicationDisplayName(), message);
}

DevicePage::DevicePage(Console& console, const char* portValue, QWidget* parent)
    : QWidget(parent), m_console(console), m_storedPort(portValue, console) {}

void DevicePage::Initialise() {
    if (m_initialised) return;
    m_initialised = true;
    Start();
}

void DevicePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    Initialise();
}
