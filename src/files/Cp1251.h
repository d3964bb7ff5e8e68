#pragma once

#include <string>
#include <string_view>

namespace files {

// Texts are UTF-8 inside the program; the files that keep Russian text in
// the 8-bit Windows-1251 code page are converted at the boundary.

// A character that the code page lacks (or a broken UTF-8 sequence) becomes "?".
std::string Utf8ToCp1251(std::string_view utf8);
// The one byte 0x98 that the code page leaves undefined becomes U+FFFD.
std::string Cp1251ToUtf8(std::string_view cp1251);

}  // namespace files
