#pragma once

#include <csignal>
#include <sys/resource.h>

// Ignores SIGXFSZ and caps the size of files this process writes, for one
// scope: a write beyond the cap fails with EFBIG as a full disk would fail.
// It works for root too, where read-only folders do not.
class FileSizeCap {
public:
    explicit FileSizeCap(rlim_t bytes) {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit cap = m_old;
        cap.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &cap);
    }
    ~FileSizeCap() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeCap(const FileSizeCap&) = delete;
    FileSizeCap& operator=(const FileSizeCap&) = delete;

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};
