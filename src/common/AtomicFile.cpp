#include "common/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <random>

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
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder + "/." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(random() & 0xFFFFF) + ".tmp";
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : newFileMode);
        if (m_fd >= 0 || errno != EEXIST) break;
    }
    if (m_fd < 0) {
        const int code = errno;
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
