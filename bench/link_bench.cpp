// The device link's own cost, each against the bare mechanism under it:
// - one request through the ring (post, Process on the worker, notification
//   back, Front and Pop) against a semaphore hand-off between two threads;
// - an 8-byte write and its echo through comprt::ComPort against plain
//   read() and write() on a raw descriptor of the same kind of
//   pseudo-terminal (with and without tcdrain), with the same echoing
//   thread on the far end.

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <semaphore>
#include <stdexcept>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "comprt/ComPort.h"
#include "link/QueueThread.h"

namespace {

// ---- the ring against a semaphore hand-off ----

class CountWorker : public QueueThread<std::uint32_t> {
public:
    ~CountWorker() override { Stop(); }

protected:
    void Process(std::int32_t, std::uint32_t& value) override { ++value; }
};

// The page's side of a notification: wakes the posting thread.
class SemaphoreNotifier : public QueueNotifier {
public:
    void Notify(unsigned, std::intptr_t, std::intptr_t) override { m_done.release(); }
    void Wait() { m_done.acquire(); }

private:
    std::binary_semaphore m_done{0};
};

void BM_QueueRoundTrip(benchmark::State& state) {
    SemaphoreNotifier notifier;
    CountWorker worker;
    worker.Start(notifier);
    std::uint32_t value = 0;
    for (auto _ : state) {
        worker.Slot() = value;
        worker.Post(1, 0);
        notifier.Wait();
        value = worker.Front().param;
        worker.Pop();
    }
    if (static_cast<std::int64_t>(value) != state.iterations()) state.SkipWithError("a request was lost");
}
BENCHMARK(BM_QueueRoundTrip)->UseRealTime();

void BM_SemaphoreHandOff(benchmark::State& state) {
    std::binary_semaphore toWorker{0};
    std::binary_semaphore toCaller{0};
    std::atomic<bool> stop{false};
    std::uint32_t value = 0;
    std::thread worker([&] {
        for (;;) {
            toWorker.acquire();
            if (stop.load(std::memory_order_relaxed)) return;
            ++value;
            toCaller.release();
        }
    });
    for (auto _ : state) {
        toWorker.release();
        toCaller.acquire();
    }
    stop = true;
    toWorker.release();
    worker.join();
    if (static_cast<std::int64_t>(value) != state.iterations()) state.SkipWithError("a hand-off was lost");
}
BENCHMARK(BM_SemaphoreHandOff)->UseRealTime();

// ---- ComPort against raw descriptor I/O ----

// A pseudo-terminal whose master side sends back every byte it receives,
// from its own thread, until destroyed.
class EchoPty {
public:
    EchoPty() {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
            throw std::runtime_error("no pseudo-terminal");
        m_slavePath = ::ptsname(m_master);
        if (::pipe2(m_stop, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
        m_thread = std::thread([this] { Echo(); });
    }
    ~EchoPty() {
        const char byte = 0;
        (void)::write(m_stop[1], &byte, 1);
        m_thread.join();
        ::close(m_stop[0]);
        ::close(m_stop[1]);
        ::close(m_master);
    }
    const std::string& SlavePath() const { return m_slavePath; }

private:
    void Echo() {
        std::array<std::uint8_t, 256> buffer;
        for (;;) {
            pollfd items[2] = {{m_master, POLLIN, 0}, {m_stop[0], POLLIN, 0}};
            if (::poll(items, 2, -1) < 0 && errno != EINTR) return;
            if (items[1].revents) return;
            if (items[0].revents & POLLIN) {
                const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
                if (n > 0 && ::write(m_master, buffer.data(), static_cast<std::size_t>(n)) != n)
                    return;
            } else if (items[0].revents) {
                // No slave open yet: the master reports a hang-up until then.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    int m_master = -1;
    int m_stop[2] = {-1, -1};
    std::string m_slavePath;
    std::thread m_thread;
};

constexpr std::array<std::uint8_t, 8> kFrame{0x05, 0x01, 0x3A, 0x98, 0xF6, 0x3C, 0x05, 0x0D};

void BM_ComPortEcho8(benchmark::State& state) {
    EchoPty pty;
    comprt::ComPort port;
    port.Open(pty.SlavePath(), 9600, 2000, 0);
    std::array<std::uint8_t, 8> reply{};
    for (auto _ : state) {
        port.Write(kFrame.data(), kFrame.size());
        port.Read(reply.data(), reply.size());
    }
    if (reply != kFrame) state.SkipWithError("wrong echo");
}
BENCHMARK(BM_ComPortEcho8)->UseRealTime();

// Argument 1: tcdrain after each write, as ComPort::Write does, to tell the
// cost of waiting for the driver from the cost of the port's own logic.
void BM_RawPtyEcho8(benchmark::State& state) {
    const bool drain = state.range(0) != 0;
    EchoPty pty;
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios line{};
    if (fd < 0 || ::tcgetattr(fd, &line) != 0) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    ::cfmakeraw(&line);
    line.c_cc[VMIN] = 1;
    line.c_cc[VTIME] = 0;
    ::tcsetattr(fd, TCSANOW, &line);
    std::array<std::uint8_t, 8> reply{};
    for (auto _ : state) {
        if (::write(fd, kFrame.data(), kFrame.size()) != static_cast<ssize_t>(kFrame.size())) {
            state.SkipWithError("short write");
            break;
        }
        if (drain) ::tcdrain(fd);
        std::size_t got = 0;
        while (got < reply.size()) {
            const ssize_t n = ::read(fd, reply.data() + got, reply.size() - got);
            if (n <= 0) {
                state.SkipWithError("read failed");
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (reply != kFrame) state.SkipWithError("wrong echo");
}
BENCHMARK(BM_RawPtyEcho8)->ArgName("drain")->Arg(0)->Arg(1)->UseRealTime();

}  // namespace
