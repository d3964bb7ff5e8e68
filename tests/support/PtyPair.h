#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

// A fresh pseudo-terminal: the test plays the device on the master side, the
// port under test opens the slave path.
class PtyPair {
public:
    PtyPair() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_slavePath = ::ptsname(m_master);
    }
    ~PtyPair() { CloseMaster(); }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int Master() const { return m_master; }

    void Send(const std::vector<std::uint8_t>& bytes) {
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) throw std::runtime_error("master write failed");
            done += static_cast<std::size_t>(n);
        }
    }

    // Waits up to five seconds for `count` bytes from the port.
    std::vector<std::uint8_t> Receive(std::size_t count) {
        std::vector<std::uint8_t> bytes;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (bytes.size() < count && std::chrono::steady_clock::now() < end) {
            pollfd item{m_master, POLLIN, 0};
            if (::poll(&item, 1, 100) <= 0) continue;
            std::uint8_t chunk[256];
            const ssize_t n = ::read(m_master, chunk, std::min(sizeof chunk, count - bytes.size()));
            if (n > 0) bytes.insert(bytes.end(), chunk, chunk + n);
        }
        return bytes;
    }

    void CloseMaster() {
        if (m_master >= 0) ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

// Runs `call` on another thread and waits at most ten seconds for it. Used
// where a fault would make a read wait without end: the test fails instead of
// hanging, and `release` (closing the master) frees the stuck thread.
template <class Call, class Release>
auto FinishesOrRelease(Call call, Release release) {
    auto result = std::async(std::launch::async, std::move(call));
    const bool finished = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    if (!finished) release();
    return std::make_pair(finished, std::move(result));
}
