#include "common/NumberText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "common/Locale.h"

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::optional<double> parseUserNumber(std::string_view text) {
    text = trimBlanks(text);
    // The number in the form from_chars reads: "." as the separator, no "+".
    std::string s;
    s.reserve(text.size());
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (negative) s += '-';
        ++i;
    }
    int intDigits = 0;
    int fracDigits = 0;
    // Position of the first digit that is not 0 among all mantissa digits.
    int firstSignificant = -1;
    for (; i < text.size() && isDigit(text[i]); ++i, ++intDigits) {
        if (firstSignificant < 0 && text[i] != '0') firstSignificant = intDigits;
        s += text[i];
    }
    if (i < text.size() && (text[i] == ',' || text[i] == '.')) {
        s += '.';
        for (++i; i < text.size() && isDigit(text[i]); ++i, ++fracDigits) {
            if (firstSignificant < 0 && text[i] != '0') firstSignificant = intDigits + fracDigits;
            s += text[i];
        }
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    long long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        s += 'e';
        ++i;
        bool expNegative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            expNegative = text[i] == '-';
            if (expNegative) s += '-';
            ++i;
        }
        int expDigits = 0;
        for (; i < text.size() && isDigit(text[i]); ++i, ++expDigits) {
            s += text[i];
            // Beyond any double either way; the digits still go to from_chars.
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        }
        if (expDigits == 0) return std::nullopt;
        if (expNegative) exponent = -exponent;
    }
    if (i != text.size()) return std::nullopt;

    double value = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (end != s.data() + s.size()) return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Out of range one way or the other: the power of ten of the first
        // significant digit tells which. Too small is zero, too large is no
        // number.
        const long long magnitude = static_cast<long long>(intDigits) - 1 - firstSignificant + exponent;
        if (firstSignificant >= 0 && magnitude >= 0) return std::nullopt;
        return negative ? -0.0 : 0.0;
    }
    if (ec != std::errc() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<long long> parseUserInteger(std::string_view text) {
    text = trimBlanks(text);
    const std::size_t digitsFrom = !text.empty() && (text.front() == '+' || text.front() == '-') ? 1 : 0;
    if (digitsFrom == text.size()) return std::nullopt;
    for (std::size_t i = digitsFrom; i < text.size(); ++i)
        if (!isDigit(text[i])) return std::nullopt;
    // from_chars takes a "-" but no "+".
    if (text.front() == '+') text.remove_prefix(1);
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::optional<std::int32_t> parseUserInt32(std::string_view text) {
    const std::optional<long long> value = parseUserInteger(text);
    if (!value || *value < std::numeric_limits<std::int32_t>::min() ||
        *value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return static_cast<std::int32_t>(*value);
}

std::string withUserSeparator(std::string text) {
    const char separator = Locale::current().decimalSeparator;
    std::replace(text.begin(), text.end(), '.', separator);
    return text;
}

std::string formatG(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return withUserSeparator(buffer);
}

std::string formatGeneral(double value, int precision) {
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
    if (value == 0) return "0";
    precision = std::clamp(precision, 1, 15);

    // "d.ddde+xx": the digits rounded to the precision and the power of ten
    // of the first one.
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*e", precision - 1, std::fabs(value));
    const std::string_view sci = buffer;
    const std::size_t ePos = sci.find('e');
    std::string digits;
    for (const char c : sci.substr(0, ePos))
        if (c != '.') digits += c;
    const int exponent = std::atoi(buffer + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    const char separator = Locale::current().decimalSeparator;
    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= precision) {
        out += digits[0];
        if (digits.size() > 1) {
            out += separator;
            out += digits.substr(1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent >= 0) {
        const std::size_t intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits);
            out += separator;
            out += digits.substr(intDigits);
        }
    } else {
        out += '0';
        out += separator;
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    }
    return out;
}
