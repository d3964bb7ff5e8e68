#include "devices/PortRecovery.h"

#include "comprt/ComPort.h"

void PortRecovery::Notify(bool back, const std::string& name) {
    if (back == !m_away) return;  // the page moved on to another port meanwhile
    m_away = !back;
    m_console.message(back ? comprt::kPortBack : comprt::PortGoneText(name));
}

void PortRecovery::Failure(const std::string& error) {
    if (!m_away) m_console.message(error);
}

std::string PortRecovery::PortName(int index) {
    const auto& list = comprt::ComPort::PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) return {};
    return list.Name(static_cast<std::size_t>(index) - 1);
}
