#include "common/Console.h"

#include "common/Locale.h"

void Console::message(const std::string& text) {
    while (m_lines.size() >= kMaxLines) m_lines.pop_front();
    std::string trimmed = text;
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ') trimmed.pop_back();
    m_lines.push_back({std::chrono::system_clock::now(), trimmed});
    if (m_listener) m_listener(trimmed);
}

void Console::clear() { m_lines.clear(); }

std::string Console::text() const {
    const Locale& loc = Locale::current();
    std::string out;
    for (const Line& line : m_lines) {
        if (!out.empty()) out += '\n';
        out += loc.formatShortDate(line.when) + ' ' + loc.formatTime(line.when, true) + " - " + line.text;
    }
    while (!out.empty() && static_cast<unsigned char>(out.back()) <= ' ') out.pop_back();
    return out;
}
