// System errors on Windows: the codes are the system's own (GetLastError),
// and their texts come from the system in the user's language. Every
// failed Win32 call of the program becomes a win_error here.
#include "common/WinError.h"

#include <cerrno>

#include <windows.h>

#include "common/Utf16.h"

namespace comprt {

std::string win_error::SystemText(std::uint32_t code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length == 0 || !text) return "Unknown error " + std::to_string(code);
    // The system's texts end in a line break, which the format puts itself.
    DWORD end = length;
    while (end > 0 && (text[end - 1] == L'\r' || text[end - 1] == L'\n' || text[end - 1] == L' ')) --end;
    std::string utf8 = Narrow(std::wstring_view(text, end));
    ::LocalFree(text);
    return utf8;
}

std::uint32_t win_error::CodeOfErrno(int errnoValue) {
    // The C library's errno values that its file functions give, as the
    // system codes they stand for.
    switch (errnoValue) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EISDIR:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case EMFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC: return ERROR_DISK_FULL;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_GEN_FAILURE;
    }
}

void ThrowLastError() {
    throw win_error(::GetLastError());
}

}  // namespace comprt
