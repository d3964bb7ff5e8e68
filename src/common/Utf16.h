#pragma once

// Windows only: the program's UTF-8 texts and the system's UTF-16 ones.
#ifdef _WIN32

#include <string>
#include <string_view>

// 8-bit text to UTF-16 (for the W functions of the system) and back; the
// 8-bit side is UTF-8 unless another code page is named (1251: the stored
// settings). A character the code page lacks becomes its default one.
std::wstring Widen(std::string_view text, unsigned codePage = 65001);
std::string Narrow(std::wstring_view utf16, unsigned codePage = 65001);

#endif
