#include "devices/LoggedPort.h"

#include <cstring>

#include "devices/PortRecovery.h"

std::size_t LoggedPort::Receive(std::uint8_t* out, std::size_t maximum) {
    try {
        return m_port.ReadSome(out, maximum);
    } catch (const UserError& e) {
        // ReadSome's way of saying nothing arrived; every other failure
        // (a closed port, a system error) stays the caller's.
        if (std::strcmp(e.what(), comprt::kNoAnswer) == 0) return 0;
        throw;
    }
}

std::shared_ptr<FrameLog> OpenedLog(int index) {
    const std::string name = PortRecovery::PortName(index);
    if (name.empty()) return nullptr;
    auto log = FrameLog::Of(name);
    log->Opened();
    return log;
}
