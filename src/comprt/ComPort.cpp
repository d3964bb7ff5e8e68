#include "comprt/ComPort.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <limits>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace comprt {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

speed_t SpeedCode(std::uint32_t baud) {
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

// Milliseconds left until `when`, rounded up so that poll() never wakes a
// moment early and spins.
int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
    const auto left = std::chrono::ceil<Milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// The moment a transfer of `count` bytes begun at `start` runs out of time:
// constant + multiplier * count milliseconds later. The largest multiplier
// with a large count lies far beyond the steady clock's range; such a total
// saturates to the clock's last moment (no end in sight) instead of wrapping
// round to a moment that has already passed.
Clock::time_point TransferDeadline(Clock::time_point start, std::uint32_t multiplier,
                                   std::size_t count, std::uint32_t constant) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t total = kMax;
    if (multiplier == 0 || count <= (kMax - constant) / multiplier)
        total = static_cast<std::uint64_t>(multiplier) * count + constant;
    const auto room = std::chrono::floor<Milliseconds>(Clock::time_point::max() - start).count();
    if (room <= 0 || total >= static_cast<std::uint64_t>(room)) return Clock::time_point::max();
    return start + Milliseconds(static_cast<Milliseconds::rep>(total));
}

// Waits for `events` on `fd` for at most `timeout` ms (-1: no limit);
// returns the events seen, 0 on timeout.
short WaitFor(int fd, short events, int timeout) {
    pollfd item{fd, events, 0};
    const int result = ::poll(&item, 1, timeout);
    if (result > 0) return item.revents;
    // A signal that cuts the wait short is no failure: the caller looks
    // again and recomputes the time left.
    if (result < 0 && errno != EINTR) ThrowLastError();
    return 0;
}

}  // namespace

ComPort::~ComPort() {
    Close();
}

std::string ComPort::DevicePath(std::string_view name) {
    if (name.empty()) return {};
    if (name.front() == '/') return std::string(name);
    if (IsComStyle(name) && ComList::Accepts(name)) {
        const std::string_view digits = name.substr(3);
        unsigned number = 0;
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (digits.empty() || error != std::errc() || number == 0) return {};
        return "/dev/ttyS" + std::to_string(number - 1);
    }
    return "/dev/" + std::string(name);
}

void ComPort::CheckOpen() const {
    if (!IsOpen()) throw UserError(kPortNotOpen);
}

void ComPort::OpenDevice(const std::string& name) {
    Close();
    const std::string path = DevicePath(name);
    if (path.empty()) throw UserError(kPortNotOpen);
    // Non-blocking so that neither a missing carrier nor a busy line holds
    // the open; every wait afterwards goes through poll().
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw UserError(kPortNotOpen);
    // TIOCEXCL keeps other users' programs out, but root ignores it; the
    // lock keeps out every program that locks too (our own ports, devsim).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        throw UserError(kPortNotOpen);
    }
    ::ioctl(fd, TIOCEXCL);
    m_port = fd;
    m_name = name;
    m_hasSaved = ::tcgetattr(fd, &m_saved) == 0;
    m_timeouts = Timeouts{};
}

void ComPort::Fail(int code) {
    Close();
    throw win_error(static_cast<std::uint32_t>(code));
}

void ComPort::SetModemLine(int bits, bool on) {
    if (::ioctl(m_port, on ? TIOCMBIS : TIOCMBIC, &bits) == 0) return;
    // A pseudo-terminal has no modem lines and answers ENOTTY: nothing to
    // act on, so that is done. Anything else is a real failure.
    if (errno == ENOTTY) return;
    ThrowLastError();
}

void ComPort::SetLine(std::uint32_t baud, std::uint8_t parity, std::uint8_t stopBits,
                      DtrControl dtr, RtsControl rts) {
    termios line{};
    if (::tcgetattr(m_port, &line) != 0) Fail(errno);
    ::cfmakeraw(&line);
    line.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // CLOCAL: the modem status lines never block or hang up the port.
    line.c_cflag |= CS8 | CLOCAL | CREAD;
    line.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
    switch (parity) {
    case 0: break;
    case 1: line.c_cflag |= PARENB | PARODD; break;
    case 2: line.c_cflag |= PARENB; break;
    case 3: line.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: line.c_cflag |= PARENB | CMSPAR; break;
    default: Fail(EINVAL);
    }
    if (parity != 0) line.c_iflag |= INPCK;
    switch (stopBits) {
    case 0: break;
    case 2: line.c_cflag |= CSTOPB; break;
    default: Fail(EINVAL);  // one and a half stop bits do not exist with 8 data bits
    }
    if (static_cast<unsigned>(dtr) > 2 || static_cast<unsigned>(rts) > 3) Fail(EINVAL);
    // Reads never wait in the driver; the waiting is done by poll() so that
    // the timeouts are ours.
    line.c_cc[VMIN] = 0;
    line.c_cc[VTIME] = 0;
    const speed_t speed = SpeedCode(baud);
    if (speed == B0) Fail(EINVAL);
    if (::cfsetispeed(&line, speed) != 0 || ::cfsetospeed(&line, speed) != 0) Fail(errno);
    if (::tcsetattr(m_port, TCSANOW, &line) != 0) Fail(errno);
    m_setup = {baud, parity, stopBits, dtr, rts};
    // Handshake and toggle modes have no driver counterpart here: the line
    // is raised and stays so, which is what the devices see while idle.
    try {
        SetModemLine(TIOCM_DTR, dtr != DtrControl::Disable);
        SetModemLine(TIOCM_RTS, rts != RtsControl::Disable);
    } catch (const win_error& error) {
        Fail(static_cast<int>(error.ErrorCode));
    }
}

void ComPort::Open(const std::string& name, std::uint32_t baud, std::uint32_t readTimeout,
                   std::uint8_t parity) {
    OpenDevice(name);
    SetLine(baud, parity, 0, DtrControl::Enable, RtsControl::Enable);
    m_timeouts = Timeouts{};
    m_timeouts.readTotalConstant = readTimeout;
}

void ComPort::Open(int index, std::uint32_t baud, std::uint32_t readTimeout) {
    const ComList& list = PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) {
        Close();
        return;
    }
    Open(list.Name(static_cast<std::size_t>(index) - 1), baud, readTimeout, 0);
}

void ComPort::Open(int index, std::uint32_t baud, std::uint32_t readTotalConstant,
                   std::uint32_t readTotalMultiplier, DtrControl dtr, RtsControl rts,
                   std::uint8_t stopBits) {
    const ComList& list = PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) {
        Close();
        return;
    }
    OpenDevice(list.Name(static_cast<std::size_t>(index) - 1));
    SetLine(baud, 0, stopBits, dtr, rts);
    m_timeouts = Timeouts{};
    m_timeouts.readTotalConstant = readTotalConstant;
    m_timeouts.readTotalMultiplier = readTotalMultiplier;
}

void ComPort::Close() {
    m_lost = false;
    if (!IsOpen()) return;
    if (m_hasSaved) ::tcsetattr(m_port, TCSANOW, &m_saved);
    ::ioctl(m_port, TIOCNXCL);
    ::close(m_port);  // also drops the lock
    m_port = -1;
    m_hasSaved = false;
}

void ComPort::Lose() {
    // The line is hung up: its settings cannot be put back, and the lock
    // goes with the descriptor.
    ::close(m_port);
    m_port = -1;
    m_hasSaved = false;
    m_lost = true;
}

bool ComPort::Present(const std::string& name) {
    const std::string path = DevicePath(name);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);
}

bool ComPort::Reopen() {
    if (!m_lost || !Present(m_name)) return false;
    const std::string name = m_name;
    const LineSetup setup = m_setup;
    const Timeouts timeouts = m_timeouts;
    try {
        OpenDevice(name);
        SetLine(setup.baud, setup.parity, setup.stopBits, setup.dtr, setup.rts);
        m_timeouts = timeouts;
        return true;
    } catch (const std::exception&) {
        // There, but not ready yet (udev still setting it up, or another
        // program took it): still lost, tried again later.
        Close();
        m_name = name;
        m_setup = setup;
        m_timeouts = timeouts;
        m_lost = true;
        return false;
    }
}

std::size_t ComPort::Receive(std::uint8_t* buffer, std::size_t count) {
    const Timeouts t = m_timeouts;
    const bool immediate = t.readInterval == Timeouts::kMaxTimeout &&
                           t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
    const bool totalLimit = t.readTotalMultiplier != 0 || t.readTotalConstant != 0;
    const bool intervalLimit = t.readInterval != 0 && t.readInterval != Timeouts::kMaxTimeout;
    const Clock::time_point deadline =
        TransferDeadline(Clock::now(), t.readTotalMultiplier, count, t.readTotalConstant);
    Clock::time_point lastByte;
    std::size_t received = 0;
    bool hungUp = false;
    while (received < count) {
        const ssize_t n = ::read(m_port, buffer + received, count - received);
        if (n > 0) {
            received += static_cast<std::size_t>(n);
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) FailTransfer(static_cast<std::uint32_t>(errno));
        // Nothing waiting. A line that reported a hang-up and still gives
        // nothing has gone away: a hung-up tty reads as empty for ever.
        if (hungUp) FailTransfer(EIO);
        if (immediate) break;
        const Clock::time_point now = Clock::now();
        int wait = -1;
        if (totalLimit) {
            if (now >= deadline) break;
            wait = MillisecondsUntil(deadline, now);
        }
        if (intervalLimit && received > 0) {
            const Clock::time_point gapEnd = lastByte + Milliseconds(t.readInterval);
            if (now >= gapEnd) break;
            const int gap = MillisecondsUntil(gapEnd, now);
            wait = wait < 0 ? gap : std::min(wait, gap);
        }
        const short events = WaitFor(m_port, POLLIN, wait);
        // A hung-up tty reports POLLIN too (its reads return at once, with
        // nothing): the hang-up bits decide, after one more read.
        if (events & (POLLHUP | POLLERR)) hungUp = true;
    }
    return received;
}

void ComPort::Read(void* buffer, std::size_t count) {
    CheckOpen();
    Lock lock(m_section);
    if (Receive(static_cast<std::uint8_t*>(buffer), count) != count) throw UserError(kNoAnswer);
}

std::size_t ComPort::ReadSome(void* buffer, std::size_t maximum) {
    CheckOpen();
    Lock lock(m_section);
    const std::size_t received = Receive(static_cast<std::uint8_t*>(buffer), maximum);
    if (received == 0) throw UserError(kNoAnswer);
    return received;
}

void ComPort::Write(const void* buffer, std::size_t count) {
    CheckOpen();
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const Timeouts t = m_timeouts;
    const bool totalLimit = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0;
    const Clock::time_point deadline =
        TransferDeadline(Clock::now(), t.writeTotalMultiplier, count, t.writeTotalConstant);
    std::size_t written = 0;
    bool hungUp = false;
    while (written < count) {
        const ssize_t n = ::write(m_port, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            if (written == 0 || IsVanishedCode(static_cast<std::uint32_t>(errno)))
                FailTransfer(static_cast<std::uint32_t>(errno));
            break;  // part of it went out: a short write
        }
        if (hungUp) FailTransfer(EIO);
        int wait = -1;
        if (totalLimit) {
            const Clock::time_point now = Clock::now();
            if (now >= deadline) break;
            wait = MillisecondsUntil(deadline, now);
        }
        const short events = WaitFor(m_port, POLLOUT, wait);
        if (events & (POLLHUP | POLLERR)) hungUp = true;
    }
    if (written < count)
        throw win_error(kWriteFault, "The system cannot write to the specified device.");
    // A write is complete when the driver has passed the bytes on, as the
    // protocols expect before they turn the adapter's lines or wait for an
    // answer.
    while (::tcdrain(m_port) != 0) {
        if (errno != EINTR) FailTransfer(static_cast<std::uint32_t>(errno));
    }
}

void ComPort::Purge() {
    CheckOpen();
    if (::tcflush(m_port, TCIOFLUSH) != 0) FailTransfer(static_cast<std::uint32_t>(errno));
    // The driver keeps no latched line error state here, so there is
    // nothing more to clear.
}

void ComPort::PurgeInput() {
    CheckOpen();
    if (::tcflush(m_port, TCIFLUSH) != 0) FailTransfer(static_cast<std::uint32_t>(errno));
}

void ComPort::SetReadTimeout(std::uint32_t milliseconds) {
    CheckOpen();
    m_timeouts.readTotalConstant = milliseconds;
}

Timeouts ComPort::GetTimeouts() const {
    CheckOpen();
    return m_timeouts;
}

void ComPort::SetTimeouts(const Timeouts& timeouts) {
    CheckOpen();
    m_timeouts = timeouts;
}

bool ComPort::SetBreak() {
    CheckOpen();
    return ::ioctl(m_port, TIOCSBRK) == 0;
}

bool ComPort::ClearBreak() {
    CheckOpen();
    return ::ioctl(m_port, TIOCCBRK) == 0;
}

void ComPort::EscapeFunction(int code) {
    CheckOpen();
    try {
        Escape(code);
    } catch (const win_error& error) {
        FailTransfer(error.ErrorCode);
    }
    NoteEscape(code);
}

void ComPort::Escape(int code) {
    switch (code) {
    case kSetXoff:
        if (::tcflow(m_port, TCOOFF) != 0) ThrowLastError();
        return;
    case kSetXon:
        if (::tcflow(m_port, TCOON) != 0) ThrowLastError();
        return;
    case kSetRts: SetModemLine(TIOCM_RTS, true); return;
    case kClrRts: SetModemLine(TIOCM_RTS, false); return;
    case kSetDtr: SetModemLine(TIOCM_DTR, true); return;
    case kClrDtr: SetModemLine(TIOCM_DTR, false); return;
    case kSetBreak:
        if (!SetBreak()) ThrowLastError();
        return;
    case kClrBreak:
        if (!ClearBreak()) ThrowLastError();
        return;
    default: throw win_error(EINVAL);
    }
}

}  // namespace comprt
