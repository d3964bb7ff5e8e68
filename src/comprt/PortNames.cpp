#include "comprt/ComPort.h"

#include <algorithm>
#include <cctype>
#include <set>

// The names the port list takes and the list built from them, the same on
// every platform; where the candidates come from is each platform's own
// (ComList.cpp, ComList_win.cpp).

namespace comprt {

bool IsComStyle(std::string_view name) {
    if (name.size() < 3) return false;
    const char* com = "com";
    for (int i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(name[i])) != com[i]) return false;
    return true;
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

}  // namespace comprt
