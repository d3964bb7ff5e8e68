#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The message console every part of the program reports to. It keeps at most
// 20 lines, each stamped with the local date and time when it arrived; the
// GUI shows `text()`, the command-line tool listens to every message.
class Console {
public:
    static constexpr std::size_t kMaxLines = 20;

    struct Line {
        std::chrono::system_clock::time_point when;
        std::string text;
    };

    using Listener = std::function<void(const std::string& text)>;

    // Appends one message (the system's ConsoleMessage). Trailing white space
    // is trimmed so the console never ends with an empty line.
    void message(const std::string& text);
    void clear();

    const std::deque<Line>& lines() const { return m_lines; }
    // The whole console as shown: "<short date> <time> - <text>" per line.
    std::string text() const;

    // Called for every message, after it is stored; one listener at a time.
    void setListener(Listener listener) { m_listener = std::move(listener); }

private:
    std::deque<Line> m_lines;
    Listener m_listener;
};
