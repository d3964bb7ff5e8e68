#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

// The message console every part of the program reports to. It keeps at most
// 20 lines of text, each message stamped with the local date and time when it
// arrived; the GUI shows `text()`, the command-line tool listens to every
// message.
//
// A message may span several lines (a Kelt temperature report does): every
// line counts towards the 20, and when the oldest message loses its first
// lines to the limit, its remaining lines stay without the stamp.
class Console {
public:
    static constexpr std::size_t kMaxLines = 20;

    // One message as it is kept: `text` holds its lines separated by "\n".
    struct Line {
        std::chrono::system_clock::time_point when;
        std::string text;
        // The first lines of this message went over the limit; the stamp
        // went with them.
        bool cut = false;
    };

    using Listener = std::function<void(const std::string& text)>;

    // Appends one message (the system's ConsoleMessage). Trailing white space
    // is trimmed so the console never ends with an empty line.
    void message(const std::string& text);
    void clear();

    // The messages kept, oldest first.
    const std::deque<Line>& lines() const { return m_lines; }
    // The lines of text the messages take, at most kMaxLines.
    std::size_t lineCount() const { return m_lineCount; }
    // The whole console as shown: "<short date> <time> - <text>" per line.
    std::string text() const;

    // Called for every message, after it is stored; one listener at a time.
    void setListener(Listener listener) { m_listener = std::move(listener); }

private:
    std::deque<Line> m_lines;
    std::size_t m_lineCount = 0;
    Listener m_listener;
};
