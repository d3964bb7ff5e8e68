#include "common/SystemTime.h"

#include <chrono>
#include <cstdio>
#include <string_view>

SystemTime SystemTime::now() {
    using namespace std::chrono;
    const auto tp = system_clock::now();
    const std::time_t t = system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&t, &tm);
    SystemTime st;
    st.year = static_cast<std::uint16_t>(tm.tm_year + 1900);
    st.month = static_cast<std::uint16_t>(tm.tm_mon + 1);
    st.dayOfWeek = static_cast<std::uint16_t>(tm.tm_wday);
    st.day = static_cast<std::uint16_t>(tm.tm_mday);
    st.hour = static_cast<std::uint16_t>(tm.tm_hour);
    st.minute = static_cast<std::uint16_t>(tm.tm_min);
    st.second = static_cast<std::uint16_t>(tm.tm_sec);
    st.milliseconds = static_cast<std::uint16_t>(
        duration_cast<std::chrono::milliseconds>(tp.time_since_epoch()).count() % 1000);
    return st;
}

std::optional<std::tm> SystemTime::toTm() const {
    using namespace std::chrono;
    const year_month_day ymd{std::chrono::year(year), std::chrono::month(month), std::chrono::day(day)};
    if (!ymd.ok() || year < 1 || hour > 23 || minute > 59 || second > 59 || milliseconds > 999)
        return std::nullopt;
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_wday = static_cast<int>(weekday(sys_days(ymd)).c_encoding());
    tm.tm_isdst = -1;
    return tm;
}

std::string SystemTime::toIso() const {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02uT%02u:%02u:%02u.%03u", unsigned(year), unsigned(month),
                  unsigned(day), unsigned(hour), unsigned(minute), unsigned(second), unsigned(milliseconds));
    return buf;
}

std::optional<SystemTime> SystemTime::fromIso(const std::string& text) {
    if (text == SystemTime{}.toIso()) return SystemTime{};
    // Digits only where the form has them: sscanf's %u would take a sign
    // ("-024") and wrap it round to a huge year.
    static constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd.ddd";
    if (text.size() != kForm.size()) return std::nullopt;
    for (std::size_t i = 0; i < kForm.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == 'd' ? !digit : text[i] != kForm[i]) return std::nullopt;
    }
    unsigned y, mo, d, h, mi, s, ms;
    int consumed = 0;
    if (text.size() != 23 ||
        std::sscanf(text.c_str(), "%4u-%2u-%2uT%2u:%2u:%2u.%3u%n", &y, &mo, &d, &h, &mi, &s, &ms, &consumed) != 7 ||
        consumed != 23)
        return std::nullopt;
    SystemTime st;
    st.year = static_cast<std::uint16_t>(y);
    st.month = static_cast<std::uint16_t>(mo);
    st.day = static_cast<std::uint16_t>(d);
    st.hour = static_cast<std::uint16_t>(h);
    st.minute = static_cast<std::uint16_t>(mi);
    st.second = static_cast<std::uint16_t>(s);
    st.milliseconds = static_cast<std::uint16_t>(ms);
    // A time that is no date (month 13, say) is kept as written, as the
    // document file keeps it; it has no day of week.
    if (const auto tm = st.toTm()) st.dayOfWeek = static_cast<std::uint16_t>(tm->tm_wday);
    return st;
}
