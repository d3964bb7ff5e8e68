// The settings store over the registry of the current user.
#include "link/RegKey.h"

#include <vector>

#include <windows.h>

#include "common/MathError.h"
#include "common/Utf16.h"
#include "common/WinError.h"

namespace {

constexpr const char* kConcurrentAccess = "Ошибка одновременного доступа к реестру";
// The code page of the stored 8-bit strings. Key paths and value names are
// the program's own UTF-8 texts.
constexpr UINT kStringCodePage = 1251;

HKEY AsKey(void* key) { return static_cast<HKEY>(key); }

}  // namespace

void RegKey::CheckOpen() const {
    if (!IsOpen()) throw UserError(kRegistryNotOpened);
}

void RegKey::Open(std::string_view path) {
    Close();
    HKEY key = nullptr;
    const LONG result = ::RegCreateKeyExW(HKEY_CURRENT_USER, Widen(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                          KEY_CREATE_SUB_KEY | KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &key, nullptr);
    if (result != ERROR_SUCCESS) throw win_error(static_cast<std::uint32_t>(result));
    m_key = key;
}

void RegKey::Close() {
    if (m_key) ::RegCloseKey(AsKey(m_key));
    m_key = nullptr;
}

std::int32_t RegKey::ReadInt(std::string_view name, std::int32_t defaultValue) const {
    CheckOpen();
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    const LONG result = ::RegQueryValueExW(AsKey(m_key), Widen(name).c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(&value), &size);
    if (result == ERROR_SUCCESS) {
        if (type == REG_DWORD && size == sizeof value) return static_cast<std::int32_t>(value);
        return defaultValue;
    }
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_MORE_DATA) return defaultValue;
    throw win_error(static_cast<std::uint32_t>(result));
}

void RegKey::WriteInt(std::string_view name, std::int32_t value) {
    CheckOpen();
    const DWORD number = static_cast<DWORD>(value);
    const LONG result = ::RegSetValueExW(AsKey(m_key), Widen(name).c_str(), 0, REG_DWORD,
                                         reinterpret_cast<const BYTE*>(&number), sizeof number);
    if (result != ERROR_SUCCESS) throw win_error(static_cast<std::uint32_t>(result));
}

std::string RegKey::ReadString(std::string_view name, const char* defaultValue) const {
    CheckOpen();
    const std::wstring valueName = Widen(name);
    DWORD type = 0;
    DWORD size = 0;
    LONG result = ::RegQueryValueExW(AsKey(m_key), valueName.c_str(), nullptr, &type, nullptr, &size);
    if (result == ERROR_SUCCESS && type == REG_SZ) {
        // Room for a terminating zero the stored bytes may lack.
        std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
        DWORD room = size;
        result = ::RegQueryValueExW(AsKey(m_key), valueName.c_str(), nullptr, &type,
                                    reinterpret_cast<BYTE*>(text.data()), &room);
        if (result == ERROR_SUCCESS && type == REG_SZ) {
            std::wstring_view stored(text.data(), room / sizeof(wchar_t));
            stored = stored.substr(0, stored.find(L'\0'));
            return Narrow(stored, kStringCodePage);
        }
    }
    if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return defaultValue ? defaultValue : "";
    if (result == ERROR_MORE_DATA) throw UserError(kConcurrentAccess);
    throw win_error(static_cast<std::uint32_t>(result));
}

void RegKey::WriteString(std::string_view name, std::string_view text) {
    CheckOpen();
    // The string ends at its first zero, as a stored zero-terminated text does.
    text = text.substr(0, text.find('\0'));
    const std::wstring wide = Widen(text, kStringCodePage);
    const LONG result =
        ::RegSetValueExW(AsKey(m_key), Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                         static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    if (result != ERROR_SUCCESS) throw win_error(static_cast<std::uint32_t>(result));
}
