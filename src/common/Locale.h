#pragma once

#include <chrono>
#include <ctime>
#include <string>

// The user's regional settings as the program uses them: the decimal
// separator and the short date and time formats. The core takes them from
// the system once; tests replace them to run with "," as well as ".".
struct Locale {
    char decimalSeparator = '.';
    std::string shortDateFormat = "%d.%m.%Y";  // strftime form
    std::string timeFormat = "%H:%M:%S";
    std::string shortTimeFormat = "%H:%M";

    static Locale fromSystem();
    // Takes the system's time format (strftime form, as nl_langinfo gives
    // it): `timeFormat` is it with "%T" and "%r" spelled out, and
    // `shortTimeFormat` the same without the seconds. An empty format
    // changes nothing.
    void takeTimeFormat(const std::string& format);
    static const Locale& current();
    static void setCurrent(const Locale& locale);

    std::string formatShortDate(const std::tm& tm) const;
    std::string formatShortDate(std::chrono::system_clock::time_point tp) const;
    std::string formatTime(const std::tm& tm, bool withSeconds) const;
    std::string formatTime(std::chrono::system_clock::time_point tp, bool withSeconds) const;

    // Fixed-point text with `decimals` digits after the separator, the value
    // first rounded to 15 significant digits; values of 15 or more integer
    // digits come in exponent form. Not-finite values give "NAN", "INF", "-INF".
    std::string formatFixed(double value, int decimals) const;
};

// Replaces the current locale for the lifetime of the object (tests).
class ScopedLocale {
public:
    explicit ScopedLocale(const Locale& locale) : m_saved(Locale::current()) { Locale::setCurrent(locale); }
    ~ScopedLocale() { Locale::setCurrent(m_saved); }
    ScopedLocale(const ScopedLocale&) = delete;
    ScopedLocale& operator=(const ScopedLocale&) = delete;

private:
    Locale m_saved;
};
