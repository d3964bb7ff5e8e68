#include "devices/LoggedPort.h"

#include <cstring>

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
    const auto& list = comprt::ComPort::PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) return nullptr;
    auto log = FrameLog::Of(list.Name(static_cast<std::size_t>(index) - 1));
    log->Opened();
    return log;
}
