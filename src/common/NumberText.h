#pragma once

#include <cstdint>
#include <optional>
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
