#include "common/Locale.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

Locale& storage() {
    static Locale locale = Locale::fromSystem();
    return locale;
}

std::string formatTm(const std::string& format, const std::tm& tm) {
    char buf[128];
    const std::size_t n = std::strftime(buf, sizeof buf, format.c_str(), &tm);
    return std::string(buf, n);
}

std::tm localTm(std::chrono::system_clock::time_point tp) {
    const std::time_t t = std::chrono::system_clock::to_time_t(tp);
    std::tm tm{};
    localtime_r(&t, &tm);
    return tm;
}

}  // namespace

void Locale::takeTimeFormat(const std::string& format) {
    if (format.empty()) return;
    std::string full;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const char c = format[++i];
            if (c == 'T')
                full += "%H:%M:%S";
            else if (c == 'r')
                full += "%I:%M:%S %p";
            else
                full += {'%', c};
        } else {
            full += format[i];
        }
    }
    timeFormat = full;
    // Without seconds: "%S" goes with the separator before it ("%H:%M:%S"),
    // or, where none stands there, with the sign after it ("%H時%M分%S秒").
    std::string brief = full;
    if (const std::size_t at = brief.find("%S"); at != std::string::npos) {
        if (at > 0 && (brief[at - 1] == ':' || brief[at - 1] == '.'))
            brief.erase(at - 1, 3);
        else if (at + 2 < brief.size() && brief[at + 2] != '%' && brief[at + 2] != ' ') {
            // The sign is one UTF-8 character: its lead byte and what continues it.
            std::size_t end = at + 3;
            while (end < brief.size() && (static_cast<unsigned char>(brief[end]) & 0xC0) == 0x80) ++end;
            brief.erase(at, end - at);
        } else {
            brief.erase(at, 2);
        }
    }
    shortTimeFormat = brief;
}

const Locale& Locale::current() { return storage(); }

void Locale::setCurrent(const Locale& locale) { storage() = locale; }

std::string Locale::formatShortDate(const std::tm& tm) const { return formatTm(shortDateFormat, tm); }

std::string Locale::formatShortDate(std::chrono::system_clock::time_point tp) const {
    return formatShortDate(localTm(tp));
}

std::string Locale::formatTime(const std::tm& tm, bool withSeconds) const {
    return formatTm(withSeconds ? timeFormat : shortTimeFormat, tm);
}

std::string Locale::formatTime(std::chrono::system_clock::time_point tp, bool withSeconds) const {
    return formatTime(localTm(tp), withSeconds);
}

std::string Locale::formatFixed(double value, int decimals) const {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (decimals < 0) decimals = 0;

    constexpr int kPrecision = 15;
    char sci[40];
    std::snprintf(sci, sizeof sci, "%.*e", kPrecision - 1, std::fabs(value));
    // sci is "d.dddddddddddddde[+-]xx": split into digits and exponent.
    std::string digits;
    const char* p = sci;
    for (; *p && *p != 'e'; ++p)
        if (*p != '.') digits += *p;
    int exponent = std::atoi(p + 1);
    const bool negative = std::signbit(value) && value != 0.0;

    if (exponent >= kPrecision) {
        // Too many integer digits for fixed form: exponent form as the
        // platform writes it, e.g. "1.23456789012346E+15".
        std::string mantissa = digits.substr(0, 1);
        std::string frac = digits.substr(1);
        while (!frac.empty() && frac.back() == '0') frac.pop_back();
        if (!frac.empty()) mantissa += decimalSeparator + frac;
        char exp[16];
        std::snprintf(exp, sizeof exp, "E+%02d", exponent);
        return (negative ? "-" : "") + mantissa + exp;
    }

    // Keep the digits down to 10^-decimals, rounding half away from zero.
    int keep = exponent + decimals + 1;
    if (keep < static_cast<int>(digits.size())) {
        if (keep < 0) {
            digits.clear();
        } else {
            const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
            digits.resize(static_cast<std::size_t>(keep));
            if (up) {
                int i = keep - 1;
                while (i >= 0 && digits[static_cast<std::size_t>(i)] == '9') digits[static_cast<std::size_t>(i--)] = '0';
                if (i >= 0) {
                    ++digits[static_cast<std::size_t>(i)];
                } else {
                    digits.insert(digits.begin(), '1');
                    ++exponent;
                }
            }
        }
    }
    // Place the digits: digit k has the power exponent - k.
    std::string intPart, fracPart(static_cast<std::size_t>(decimals), '0');
    for (int k = 0; k < static_cast<int>(digits.size()); ++k) {
        const int power = exponent - k;
        if (power >= 0) {
            intPart += digits[static_cast<std::size_t>(k)];
        } else if (-power <= decimals) {
            fracPart[static_cast<std::size_t>(-power - 1)] = digits[static_cast<std::size_t>(k)];
        }
    }
    // Integer positions below the kept digits are zeros.
    if (exponent >= 0 && static_cast<int>(intPart.size()) < exponent + 1)
        intPart.append(static_cast<std::size_t>(exponent + 1) - intPart.size(), '0');
    if (intPart.empty()) intPart = "0";

    bool allZero = intPart.find_first_not_of('0') == std::string::npos &&
                   fracPart.find_first_not_of('0') == std::string::npos;
    std::string out = (negative && !allZero) ? "-" : "";
    out += intPart;
    if (decimals > 0) out += decimalSeparator + fracPart;
    return out;
}
