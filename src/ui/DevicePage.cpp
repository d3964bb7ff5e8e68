#include "DevicePage.h"

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
