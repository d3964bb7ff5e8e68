// The port list on Windows: the COMn names of the device namespace, as the
// system's own serial drivers (and wine's dosdevices links) publish them.
#include "comprt/ComPort.h"

#include <windows.h>

namespace comprt {

std::vector<std::string> ComPort::ComList::DosDeviceNames(const DosDeviceQuery& query) {
    constexpr std::uint32_t kFirstSize = 8192;
    constexpr std::uint32_t kLastSize = 65536;
    std::vector<wchar_t> buffer(kFirstSize);
    std::uint32_t written = 0;
    for (;;) {
        written = query(buffer.data(), static_cast<std::uint32_t>(buffer.size()));
        if (written != 0) break;
        if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= kLastSize) return {};
        buffer.assign(buffer.size() * 2, L'\0');
    }
    // Zero-terminated names one after another, an empty name at the end.
    std::vector<std::string> names;
    std::size_t at = 0;
    while (at < written && buffer[at] != L'\0') {
        std::string name;
        bool ascii = true;
        for (; at < written && buffer[at] != L'\0'; ++at) {
            ascii = ascii && buffer[at] < 0x80;
            name.push_back(static_cast<char>(buffer[at]));
        }
        ++at;
        if (ascii) names.push_back(std::move(name));
    }
    return names;
}

ComPort::ComList::ComList() : ComList(DosDeviceNames([](wchar_t* buffer, std::uint32_t size) {
    return static_cast<std::uint32_t>(::QueryDosDeviceW(nullptr, buffer, size));
})) {}

}  // namespace comprt
