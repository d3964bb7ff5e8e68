#include "common/Utf16.h"

#include <windows.h>

std::wstring Widen(std::string_view text, unsigned codePage) {
    if (text.empty()) return {};
    const int size = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
    return wide;
}

std::string Narrow(std::wstring_view utf16, unsigned codePage) {
    if (utf16.empty()) return {};
    const int size =
        ::WideCharToMultiByte(codePage, 0, utf16.data(), static_cast<int>(utf16.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(), size, nullptr,
                          nullptr);
    return text;
}
