#include "common/Console.h"

#include <algorithm>

#include "common/Locale.h"

namespace {

std::size_t lineCountOf(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
}

}  // namespace

void Console::message(const std::string& text) {
    std::string trimmed;
    trimmed.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // CR LF is one line break, as a text box shows it.
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        trimmed += text[i];
    }
    while (!trimmed.empty() && static_cast<unsigned char>(trimmed.back()) <= ' ') trimmed.pop_back();
    m_lines.push_back({std::chrono::system_clock::now(), trimmed, false});
    m_lineCount += lineCountOf(trimmed);

    // The oldest lines go until at most kMaxLines remain.
    while (m_lineCount > kMaxLines) {
        Line& oldest = m_lines.front();
        const std::size_t lines = lineCountOf(oldest.text);
        const std::size_t excess = m_lineCount - kMaxLines;
        if (excess >= lines) {
            m_lineCount -= lines;
            m_lines.pop_front();
            continue;
        }
        std::size_t at = 0;
        for (std::size_t k = 0; k < excess; ++k) at = oldest.text.find('\n', at) + 1;
        oldest.text.erase(0, at);
        oldest.cut = true;
        m_lineCount -= excess;
    }
    if (m_listener) m_listener(trimmed);
}

void Console::clear() {
    m_lines.clear();
    m_lineCount = 0;
}

std::string Console::text() const {
    const Locale& loc = Locale::current();
    std::string out;
    for (const Line& line : m_lines) {
        if (!out.empty()) out += '\n';
        if (!line.cut) out += loc.formatShortDate(line.when) + ' ' + loc.formatTime(line.when, true) + " - ";
        out += line.text;
    }
    while (!out.empty() && static_cast<unsigned char>(out.back()) <= ' ') out.pop_back();
    return out;
}
