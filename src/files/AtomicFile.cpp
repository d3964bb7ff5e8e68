#include "files/AtomicFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <random>

#include "common/WinError.h"

namespace files {

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

AtomicFile::AtomicFile(const std::string& path) : m_target(resolveTarget(path)) {
    struct stat st {};
    const bool exists = ::stat(m_target.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) fail(EISDIR);

    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const std::string folder = folderOf(m_target);
    const std::string base = m_target.substr(m_target.find_last_of('/') + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        m_temp = folder + "/." + base + "." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
                 std::to_string(random() & 0xFFFFF) + ".tmp";
        // The mode passes through the umask as for any new file; a file that
        // is replaced keeps its own permissions below.
        m_fd = ::open(m_temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd >= 0 || errno != EEXIST) break;
    }
    if (m_fd < 0) {
        const int code = errno;
        m_temp.clear();
        fail(code);
    }
    if (exists && ::fchmod(m_fd, st.st_mode & 07777) != 0) {
        // Not fatal: the document matters more than its permission bits.
    }
}

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::discard() noexcept {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temp.empty()) ::unlink(m_temp.c_str());
    m_temp.clear();
}

void AtomicFile::write(std::string_view bytes) {
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            discard();
            fail(code);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

void AtomicFile::commit() {
    if (::fsync(m_fd) != 0) {
        const int code = errno;
        discard();
        fail(code);
    }
    const int closed = ::close(m_fd);
    m_fd = -1;
    if (closed != 0) {
        const int code = errno;
        discard();
        fail(code);
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        const int code = errno;
        discard();
        fail(code);
    }
    m_temp.clear();
    // The new name itself reaches the disk with the folder's entry.
    const int dir = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

void ReplaceFile(const std::string& path, std::string_view bytes) {
    AtomicFile file(path);
    file.write(bytes);
    file.commit();
}

}  // namespace files
