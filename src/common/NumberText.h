#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reading numbers a person typed: into a numeric edit, a table cell, a device
// page's field, an imported text file or a command line. The whole text
// decides; a text that is a number only up to some point is no number.
//
// A decimal number is an optional sign, digits with at most one decimal
// separator, and an optional exponent ("e" or "E", an optional sign and
// digits), with blanks (spaces, tabs) allowed only around it. The separator
// may be "," or "." whatever the user's regional separator is: "1,5" and
// "1.5" both read as 1.5, while "1,5.3" and "1 000" read as nothing.
//
// Not numbers: infinities and NaN in any spelling, hexadecimal forms
// ("0x10"), and values beyond the range of a double ("1e400"). A value too
// small for a double reads as zero of its sign.
std::optional<double> parseUserNumber(std::string_view text);

// A decimal integer: an optional sign and digits, blanks allowed around it.
// Nothing for any other text and for values beyond the 64-bit range.
std::optional<long long> parseUserInteger(std::string_view text);

// The same, limited to the 32-bit range.
std::optional<std::int32_t> parseUserInt32(std::string_view text);

// Writing numbers for a person: the same forms wherever the program shows a
// number, with the user's decimal separator (Locale::current()).

// The text with every "." replaced by the user's decimal separator: a
// number the C library wrote with a point, in the user's form.
std::string withUserSeparator(std::string text);

// "%g": six significant digits, the shorter of fixed and exponent form
// ("1e+06", "1.5e-05"), trailing zeros dropped.
std::string formatG(double value);

// The general form: `precision` significant digits (taken as 1 to 15),
// trailing zeros dropped; exponent form ("1.5E20", "2E-7") when the rounded
// value is below 0.00001 in magnitude or has more integer digits than the
// precision. Values that are not finite read "NAN", "INF" and "-INF"; zero of
// either sign is "0".
std::string formatGeneral(double value, int precision);
