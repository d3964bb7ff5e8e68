#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

// A local date and time as the document stores it: eight 16-bit fields,
// year, month, day of week, day, hour, minute, second, milliseconds.
struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;

    bool operator==(const SystemTime&) const = default;

    static SystemTime now();

    // The broken-down time, or nothing when a field is out of its range.
    std::optional<std::tm> toTm() const;

    // "YYYY-MM-DDTHH:MM:SS.mmm"; parse accepts exactly that form and fills
    // the day of week. The all-zero time (a package that was given no time)
    // is written as zeros and read back as itself.
    std::string toIso() const;
    static std::optional<SystemTime> fromIso(const std::string& text);
};
