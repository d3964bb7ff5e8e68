#include "comprt/ComPort.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <map>
#include <set>
#include <stdexcept>

// The names the port list takes and the list built from them, the texts and
// codes of a port gone away, the same on every platform; where the
// candidates come from is each platform's own (ComList.cpp, ComList_win.cpp).

namespace comprt {

bool IsComStyle(std::string_view name) {
    if (name.size() < 3) return false;
    const char* com = "com";
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != com[i]) return false;
    return true;
}

std::string PortGoneText(std::string_view name) {
    return kPortGonePrefix + std::string(name);
}

bool IsVanishedCode(std::uint32_t code) {
#ifdef _WIN32
    // ERROR_ACCESS_DENIED (5), ERROR_BAD_COMMAND (22), ERROR_GEN_FAILURE
    // (31), ERROR_OPERATION_ABORTED (995), ERROR_DEVICE_NOT_CONNECTED
    // (1167), ERROR_DEVICE_REMOVED (1617): what the USB serial drivers
    // answer once their adapter has been pulled out.
    switch (code) {
    case 5: case 22: case 31: case 995: case 1167: case 1617: return true;
    default: return false;
    }
#else
    // A hung-up tty (the USB adapter unplugged, a pseudo-terminal whose
    // master closed) answers EIO; a device node without its device ENXIO or
    // ENODEV.
    return code == EIO || code == ENXIO || code == ENODEV;
#endif
}

// What a lost port keeps, the same on every platform; losing and reopening
// are each platform's own.
void ComPort::FailTransfer(std::uint32_t code) {
    if (!IsVanishedCode(code)) throw win_error(code);
    Lose();
    throw PortGone(m_name);
}

void ComPort::NoteEscape(int code) {
    switch (code) {
    case kSetDtr: m_setup.dtr = DtrControl::Enable; break;
    case kClrDtr: m_setup.dtr = DtrControl::Disable; break;
    case kSetRts: m_setup.rts = RtsControl::Enable; break;
    case kClrRts: m_setup.rts = RtsControl::Disable; break;
    default: break;
    }
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

bool ComPort::ComList::Accepts(std::string_view name) {
    if (IsComStyle(name)) {
        const std::string_view digits = name.substr(3);
        return digits.size() <= 9 && std::all_of(digits.begin(), digits.end(), IsDigit);
    }
    return !name.empty() && name.front() == '/';
}

std::vector<std::string> ComPort::ComList::SplitPorts(std::string_view list) {
    std::vector<std::string> ports;
    while (!list.empty()) {
        const std::size_t colon = list.find(':');
        const std::string_view entry = list.substr(0, colon);
        if (!entry.empty()) ports.emplace_back(entry);
        if (colon == std::string_view::npos) break;
        list.remove_prefix(colon + 1);
    }
    return ports;
}

ComPort::ComList::ComList(const std::vector<std::string>& candidates) {
    std::set<std::string> seen;
    for (const std::string& name : candidates) {
        if (m_names.size() == kMaxNames) break;
        if (!Accepts(name) || !seen.insert(name).second) continue;
        m_names.push_back(name);
    }
    if (m_names.empty()) {
        for (std::size_t i = 1; i <= kFallbackCount; ++i) m_names.push_back("COM" + std::to_string(i));
    }
    for (const std::string& name : m_names) {
        m_text += name;
        m_text += '\n';
    }
}

const std::string& ComPort::ComList::Hint(std::size_t i) const {
    static const std::string kNone;
    if (i >= m_names.size()) throw std::out_of_range("port list position");
    return i < m_hints.size() ? m_hints[i] : kNone;
}

void ComPort::ComList::SetHints(const std::vector<std::pair<std::string, std::string>>& hints) {
    const std::map<std::string, std::string> byName(hints.begin(), hints.end());
    m_hints.assign(m_names.size(), std::string());
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        const auto it = byName.find(m_names[i]);
        if (it != byName.end()) m_hints[i] = it->second;
    }
}

}  // namespace comprt
