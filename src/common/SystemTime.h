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
    // the day of week. Like the document file, the form carries any time
    // its digits hold: one that is no date (month 13, hour 24) or the
    // all-zero time of a package given none is read back as written, with
    // day of week 0.
    std::string toIso() const;
    static std::optional<SystemTime> fromIso(const std::string& text);
};
