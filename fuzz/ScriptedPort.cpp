// comprt::ComPort for the device fuzz targets (see ScriptedPort.h). It
// defines every member ComPort.cpp defines, so the linker never takes the
// termios port from the core library as well.

#include "ScriptedPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include "common/MathError.h"
#include "comprt/ComPort.h"

namespace fuzzport {
namespace {

// The worker thread reads while the fuzz thread sets the next script.
std::mutex g_mutex;
const std::uint8_t* g_data = nullptr;
std::size_t g_left = 0;

std::size_t take(std::uint8_t* out, std::size_t count) {
    std::lock_guard lock(g_mutex);
    const std::size_t n = std::min(count, g_left);
    if (n > 0) std::memcpy(out, g_data, n);
    g_data += n;
    g_left -= n;
    return n;
}

}  // namespace

void setScript(const std::uint8_t* data, std::size_t size) {
    std::lock_guard lock(g_mutex);
    g_data = data;
    g_left = size;
}

std::size_t scriptLeft() {
    std::lock_guard lock(g_mutex);
    return g_left;
}

}  // namespace fuzzport

namespace comprt {

ComPort::~ComPort() { Close(); }

const ComPort::ComList& ComPort::PortList() {
    static const ComList list(std::vector<std::string>{"/dev/fuzz"});
    return list;
}

void ComPort::ReplacePortList(ComList) {}

std::string ComPort::DevicePath(std::string_view name) { return std::string(name); }

void ComPort::CheckOpen() const {
    if (!IsOpen()) throw UserError(kPortNotOpen);
}

void ComPort::OpenDevice(const std::string& name) {
    Close();
    if (name.empty()) throw UserError(kPortNotOpen);
    m_port = 1;
    m_timeouts = Timeouts{};
}

void ComPort::Fail(int code) {
    Close();
    throw win_error(static_cast<std::uint32_t>(code));
}

void ComPort::SetModemLine(int, bool) {}

void ComPort::SetLine(std::uint32_t, std::uint8_t, std::uint8_t, DtrControl, RtsControl) {}

void ComPort::Open(const std::string& name, std::uint32_t, std::uint32_t readTimeout, std::uint8_t) {
    OpenDevice(name);
    m_timeouts.readTotalConstant = readTimeout;
}

void ComPort::Open(int index, std::uint32_t, std::uint32_t readTimeout) {
    Close();
    if (index <= 0) return;
    m_port = 1;
    m_timeouts = Timeouts{};
    m_timeouts.readTotalConstant = readTimeout;
}

void ComPort::Open(int index, std::uint32_t baud, std::uint32_t readTotalConstant, std::uint32_t readTotalMultiplier,
                   DtrControl, RtsControl, std::uint8_t) {
    Open(index, baud, readTotalConstant);
    m_timeouts.readTotalMultiplier = readTotalMultiplier;
}

void ComPort::Close() { m_port = -1; }

std::size_t ComPort::Receive(std::uint8_t* buffer, std::size_t count) { return fuzzport::take(buffer, count); }

void ComPort::Read(void* buffer, std::size_t count) {
    CheckOpen();
    if (Receive(static_cast<std::uint8_t*>(buffer), count) != count) throw UserError(kNoAnswer);
}

std::size_t ComPort::ReadSome(void* buffer, std::size_t maximum) {
    CheckOpen();
    const std::size_t received = Receive(static_cast<std::uint8_t*>(buffer), maximum);
    if (received == 0) throw UserError(kNoAnswer);
    return received;
}

void ComPort::Write(const void*, std::size_t) { CheckOpen(); }

// The script is what the device says after the request: nothing to discard.
void ComPort::Purge() { CheckOpen(); }
void ComPort::PurgeInput() { CheckOpen(); }

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
    return true;
}

bool ComPort::ClearBreak() {
    CheckOpen();
    return true;
}

void ComPort::EscapeFunction(int code) {
    CheckOpen();
    Escape(code);
}

void ComPort::Escape(int code) {
    if (code < kSetXoff || code > kClrBreak || code == 7) throw win_error(EINVAL);
}

// The scripted line never goes away: a script that runs dry is silence.
void ComPort::Lose() { m_port = -1; }
bool ComPort::Present(const std::string&) { return true; }
bool ComPort::Reopen() { return false; }

}  // namespace comprt
