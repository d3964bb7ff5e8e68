// Whole-file replacement on Windows. The new file stays open from its
// creation until it has the target's name: a leftover is removed only when
// it can be opened alone, which no running save allows.
#include "common/AtomicFile.h"

#include <algorithm>
#include <atomic>
#include <random>

#include <windows.h>
// The system's own ReplaceFile is not the one defined here.
#undef ReplaceFile

#include "common/AtomicFileName.h"
#include "common/Utf16.h"
#include "common/WinError.h"

namespace {

[[noreturn]] void fail(DWORD code) { throw win_error(code != 0 ? code : ERROR_GEN_FAILURE); }

std::size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

std::string folderOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    return path.substr(0, slash == 0 ? 1 : slash);
}

// Removes the new files of `base` that killed saves left in `folder`. Each
// goes only when it opens with no sharing at all (a running save holds its
// own open) and is deleted as that handle closes. Nothing here is a failure
// of the save that asked.
void removeLeftovers(const std::string& folder, std::string_view base) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(Widen(folder + "\\.*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        const std::string name = Narrow(found.cFileName);
        if (!IsAtomicTempName(name, base)) continue;
        const HANDLE leftover = ::CreateFileW(Widen(folder + "\\" + name).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                                              FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (leftover != INVALID_HANDLE_VALUE) ::CloseHandle(leftover);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path, mode_t) : m_target(path) {
    const DWORD attributes = ::GetFileAttributesW(Widen(m_target).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) fail(ERROR_ACCESS_DENIED);

    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string folder = folderOf(m_target);
    const std::size_t slash = lastSeparator(m_target);
    const std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
    removeLeftovers(folder, base);
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
        m_temp = folder + "\\." + base + "." + std::to_string(::GetCurrentProcessId()) + "-" +
                 std::to_string(counter++) + "-" + std::to_string(random() & 0xFFFFF) + ".tmp";
        // Shared for reading, writing and deleting so that the rename can
        // open it too; a leftover removal asks for no sharing and fails.
        const HANDLE file =
            ::CreateFileW(Widen(m_temp).c_str(), GENERIC_WRITE | DELETE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            m_file = file;
            return;
        }
        code = ::GetLastError();
    }
    m_temp.clear();
    fail(code);
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept {
    if (!m_temp.empty()) ::DeleteFileW(Widen(m_temp).c_str());
    m_temp.clear();
    releaseLock();
}

void AtomicFile::releaseLock() noexcept {
    if (m_file) ::CloseHandle(static_cast<HANDLE>(m_file));
    m_file = nullptr;
}

void AtomicFile::failAndDiscard(int code) {
    discard();
    fail(static_cast<DWORD>(code));
}

void AtomicFile::write(std::string_view bytes) {
    if (!m_file) fail(ERROR_INVALID_HANDLE);  // after a failure or a commit
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(static_cast<HANDLE>(m_file), p, chunk, &written, nullptr))
            failAndDiscard(static_cast<int>(::GetLastError()));
        p += written;
        left -= written;
    }
}

void AtomicFile::commit() {
    if (!m_file) fail(ERROR_INVALID_HANDLE);
    if (!::FlushFileBuffers(static_cast<HANDLE>(m_file))) failAndDiscard(static_cast<int>(::GetLastError()));
    // Renamed while still open (the open allows it), so that no leftover
    // removal can take the file between its last write and its new name.
    if (!::MoveFileExW(Widen(m_temp).c_str(), Widen(m_target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        failAndDiscard(static_cast<int>(::GetLastError()));
    m_temp.clear();
    releaseLock();
}

void ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode) {
    AtomicFile file(path, newFileMode);
    file.write(bytes);
    file.commit();
}

std::string ReadWholeFile(const std::string& path) {
    const HANDLE file = ::CreateFileW(Widen(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) fail(::GetLastError());
    std::string bytes;
    char chunk[65536];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) {
            const DWORD code = ::GetLastError();
            ::CloseHandle(file);
            fail(code);
        }
        if (got == 0) break;
        bytes.append(chunk, got);
    }
    ::CloseHandle(file);
    return bytes;
}
