#include "common/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <string_view>

#include "common/AtomicFileName.h"
#include "common/WinError.h"

namespace {

[[noreturn]] void fail(int code) { throw win_error(static_cast<std::uint32_t>(code != 0 ? code : EIO)); }

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The file a write to `path` should replace: the link's target for a
// symbolic link, so that the link itself survives.
std::string resolveTarget(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved)) return resolved;
    }
    return path;
}

// Removes the new files that saves of `base` killed before their rename left
// in `folder`. A save holds a lock on its new file until the file has its
// name, and the system drops the lock of a killed program, so a new file
// whose lock can be taken belongs to no running save; a locked one is left
// to its saver. Nothing here is a failure of the save that asked.
void removeLeftovers(const std::string& folder, std::string_view base) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir)) {
        if (!IsAtomicTempName(entry->d_name, base)) continue;
        const std::string path = folder + "/" + entry->d_name;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        struct stat held {}, named {};
        // Only the file that was locked goes, not one that took its name since.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino && S_ISREG(named.st_mode))
            ::unlink(path.c_str());
        ::close(fd);
    }
    ::closedir(dir);
}

// Whether `path` still names the file open as `fd` (a leftover removal may
// have taken the name between its creation and its lock).
bool stillNamed(const std::string& path, int fd) {
    struct stat held {}, named {};
    return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& path, mode_t newFileMode) : m_target(resolveTarget(path)) {
    struct stat st {};
    const bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail(EISDIR);

    // A name no other writer uses, even another thread of this program
    // saving the same file.
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string folder = folderOf(m_target);
    const std::string base = m_target.substr(m_target.find_last_of('/') + 1);
    removeLeftovers(folder, base);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder + "/." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(random() & 0xFFFFF) + ".tmp";
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : newFileMode);
        if (m_fd < 0) {
            if (errno == EEXIST) continue;
            break;
        }
        // The lock marks the new file as this save's until it has its name
        // (see removeLeftovers). It is taken on a second descriptor of the
        // same open file, which stays open after the written one is closed
        // and until the rename is done.
        m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        if (m_lockFd < 0) {
            const int code = errno;
            discard();
            fail(code);
        }
        // A file system without locks protects nothing here, but there no
        // save can lock a leftover either, so none is ever removed.
        while (::flock(m_lockFd, LOCK_EX) != 0 && errno == EINTR) {
        }
        if (stillNamed(m_temp, m_fd)) break;
        // Another save took it for a leftover before it was locked.
        const int fd = m_fd, lockFd = m_lockFd;
        m_fd = m_lockFd = -1;
        ::close(fd);
        ::close(lockFd);
    }
    if (m_fd < 0) {
        const int code = errno != 0 ? errno : EEXIST;
        m_temp.clear();
        fail(code);
    }
    if (exists && ::fchmod(m_fd, st.st_mode & 07777) != 0) {
        // Not fatal: the content matters more than its permission bits.
    }
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept {
    // The descriptor is given up before close(): Linux releases it even when
    // close() fails, so a second close could hit a descriptor that another
    // thread has opened since.
    const int fd = m_fd;
    m_fd = -1;
    if (fd >= 0) ::close(fd);
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
    releaseLock();
}

void AtomicFile::releaseLock() noexcept {
    const int fd = m_lockFd;
    m_lockFd = -1;
    if (fd >= 0) ::close(fd);
}

void AtomicFile::failAndDiscard(int code) {
    discard();
    fail(code);
}

void AtomicFile::write(std::string_view bytes) {
    if (m_fd < 0) fail(EBADF);  // after a failure or a commit
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            failAndDiscard(errno);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::commit() {
    if (m_fd < 0) fail(EBADF);
    if (::fsync(m_fd) != 0) failAndDiscard(errno);
    // Closing can report a write error of its own (a network file system
    // writes back late); the new file is then not trusted.
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) failAndDiscard(errno);
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) failAndDiscard(errno);
    m_temp.clear();
    releaseLock();
    // The new name reaches the disk with the folder's entry. The file is in
    // place already, so a folder that cannot be flushed is no failure.
    const int dir = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void ReplaceFile(const std::string& path, std::string_view bytes, mode_t newFileMode) {
    AtomicFile file(path, newFileMode);
    file.write(bytes);
    file.commit();
}

std::string ReadWholeFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) comprt::ThrowLastError();
    std::string bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, static_cast<std::size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            const int code = errno;
            ::close(fd);
            throw win_error(static_cast<std::uint32_t>(code));
        }
    }
    ::close(fd);
    return bytes;
}
