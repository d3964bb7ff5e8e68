// The serial port over Win32: overlapped file I/O on \\.\COMn, the line in a
// device-control block, the deadlines in the driver's timeout record. The
// POSIX sibling (ComPort.cpp) emulates exactly these timeouts over poll().
#include "comprt/ComPort.h"

#include <windows.h>

#include "common/Utf16.h"

namespace comprt {

namespace {

HANDLE AsHandle(void* handle) {
    return static_cast<HANDLE>(handle);
}

}  // namespace

ComPort::~ComPort() {
    Close();
}

std::string ComPort::DevicePath(std::string_view name) {
    if (name.empty()) return {};
    return "\\\\.\\" + std::string(name);
}

void ComPort::CheckOpen() const {
    if (!IsOpen()) throw UserError(kPortNotOpen);
}

void ComPort::OpenDevice(const std::string& name) {
    Close();
    const std::string path = DevicePath(name);
    if (path.empty()) throw UserError(kPortNotOpen);
    // No sharing: a port held by another program (or another ComPort) does
    // not open. Overlapped, so that the timeouts of the driver end a read.
    const HANDLE port = ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) throw UserError(kPortNotOpen);
    const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!event) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(port);
        throw win_error(code);
    }
    m_port = port;
    m_ioEvent = event;
    m_name = name;
}

void ComPort::Fail(std::uint32_t code) {
    Close();
    throw win_error(code);
}

void ComPort::SetLine(std::uint32_t baud, std::uint8_t parity, std::uint8_t stopBits, DtrControl dtr,
                      RtsControl rts) {
    // A complete record built from zero, so nothing of the line's previous
    // user (flow control, replaced characters) survives.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = baud;
    dcb.fBinary = TRUE;
    dcb.fParity = parity != 0;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = static_cast<DWORD>(dtr);
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fRtsControl = static_cast<DWORD>(rts);
    dcb.fAbortOnError = FALSE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    if (!::SetCommState(AsHandle(m_port), &dcb)) Fail(::GetLastError());
    m_setup = {baud, parity, stopBits, dtr, rts};
}

void ComPort::Open(const std::string& name, std::uint32_t baud, std::uint32_t readTimeout, std::uint8_t parity) {
    OpenDevice(name);
    SetLine(baud, parity, ONESTOPBIT, DtrControl::Enable, RtsControl::Enable);
    Timeouts timeouts;
    timeouts.readTotalConstant = readTimeout;
    try {
        SetTimeouts(timeouts);
    } catch (const win_error& error) {
        Fail(error.ErrorCode);
    }
}

void ComPort::Open(int index, std::uint32_t baud, std::uint32_t readTimeout) {
    const ComList& list = PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) {
        Close();
        return;
    }
    Open(list.Name(static_cast<std::size_t>(index) - 1), baud, readTimeout, NOPARITY);
}

void ComPort::Open(int index, std::uint32_t baud, std::uint32_t readTotalConstant, std::uint32_t readTotalMultiplier,
                   DtrControl dtr, RtsControl rts, std::uint8_t stopBits) {
    const ComList& list = PortList();
    if (index <= 0 || static_cast<std::size_t>(index) > list.Count()) {
        Close();
        return;
    }
    OpenDevice(list.Name(static_cast<std::size_t>(index) - 1));
    SetLine(baud, NOPARITY, stopBits, dtr, rts);
    Timeouts timeouts;
    timeouts.readTotalConstant = readTotalConstant;
    timeouts.readTotalMultiplier = readTotalMultiplier;
    try {
        SetTimeouts(timeouts);
    } catch (const win_error& error) {
        Fail(error.ErrorCode);
    }
}

void ComPort::Close() {
    m_lost = false;
    if (!IsOpen()) return;
    ::CloseHandle(AsHandle(m_port));
    m_port = kInvalidHandle;
    if (m_ioEvent) ::CloseHandle(AsHandle(m_ioEvent));
    m_ioEvent = nullptr;
}

void ComPort::Lose() {
    // The timeouts come back with the port; a driver that no longer
    // answers leaves the ones of the last open.
    COMMTIMEOUTS record{};
    if (::GetCommTimeouts(AsHandle(m_port), &record)) {
        m_keptTimeouts.readInterval = record.ReadIntervalTimeout;
        m_keptTimeouts.readTotalMultiplier = record.ReadTotalTimeoutMultiplier;
        m_keptTimeouts.readTotalConstant = record.ReadTotalTimeoutConstant;
        m_keptTimeouts.writeTotalMultiplier = record.WriteTotalTimeoutMultiplier;
        m_keptTimeouts.writeTotalConstant = record.WriteTotalTimeoutConstant;
    }
    ::CloseHandle(AsHandle(m_port));
    m_port = kInvalidHandle;
    if (m_ioEvent) ::CloseHandle(AsHandle(m_ioEvent));
    m_ioEvent = nullptr;
    m_lost = true;
}

bool ComPort::Present(const std::string& name) {
    if (name.empty()) return false;
    wchar_t target[1024];
    return ::QueryDosDeviceW(Widen(name).c_str(), target, 1024) != 0;
}

bool ComPort::Reopen() {
    if (!m_lost || !Present(m_name)) return false;
    const std::string name = m_name;
    const LineSetup setup = m_setup;
    try {
        const Timeouts timeouts = m_keptTimeouts;
        OpenDevice(name);
        SetLine(setup.baud, setup.parity, setup.stopBits, setup.dtr, setup.rts);
        SetTimeouts(timeouts);
        return true;
    } catch (const std::exception&) {
        Close();
        m_name = name;
        m_setup = setup;
        m_lost = true;
        return false;
    }
}

std::size_t ComPort::Transfer(bool write, void* buffer, std::size_t count) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = AsHandle(m_ioEvent);
    const DWORD size = static_cast<DWORD>(count);
    const BOOL done = write ? ::WriteFile(AsHandle(m_port), buffer, size, nullptr, &overlapped)
                            : ::ReadFile(AsHandle(m_port), buffer, size, nullptr, &overlapped);
    // A transfer the driver cannot finish at once answers "pending"; any
    // other refusal is the transfer's failure.
    if (!done) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_IO_PENDING) FailTransfer(code);
    }
    DWORD moved = 0;
    if (::GetOverlappedResult(AsHandle(m_port), &overlapped, &moved, TRUE)) return moved;
    // Windows ends a transfer that ran out of time as done with fewer
    // bytes; wine ends it "timed out" (ERROR_TIMEOUT) with the same count.
    // Both are the timeouts ending it, not a failure of the line.
    const DWORD code = ::GetLastError();
    if (code == ERROR_TIMEOUT) return moved;
    FailTransfer(code);
}

void ComPort::Read(void* buffer, std::size_t count) {
    CheckOpen();
    Lock lock(m_section);
    if (Transfer(false, buffer, count) != count) throw UserError(kNoAnswer);
}

std::size_t ComPort::ReadSome(void* buffer, std::size_t maximum) {
    CheckOpen();
    Lock lock(m_section);
    const std::size_t received = Transfer(false, buffer, maximum);
    if (received == 0) throw UserError(kNoAnswer);
    return received;
}

void ComPort::Write(const void* buffer, std::size_t count) {
    CheckOpen();
    if (Transfer(true, const_cast<void*>(buffer), count) != count) throw win_error(kWriteFault);
}

void ComPort::Purge() {
    CheckOpen();
    if (!::PurgeComm(AsHandle(m_port), PURGE_TXCLEAR | PURGE_RXCLEAR)) FailTransfer(::GetLastError());
    DWORD errors = 0;
    if (!::ClearCommError(AsHandle(m_port), &errors, nullptr)) throw win_error(::GetLastError());
}

void ComPort::PurgeInput() {
    CheckOpen();
    if (!::PurgeComm(AsHandle(m_port), PURGE_RXCLEAR)) FailTransfer(::GetLastError());
}

void ComPort::SetReadTimeout(std::uint32_t milliseconds) {
    Timeouts timeouts = GetTimeouts();
    timeouts.readTotalConstant = milliseconds;
    SetTimeouts(timeouts);
}

Timeouts ComPort::GetTimeouts() const {
    CheckOpen();
    COMMTIMEOUTS record{};
    if (!::GetCommTimeouts(AsHandle(m_port), &record)) throw win_error(::GetLastError());
    Timeouts timeouts;
    timeouts.readInterval = record.ReadIntervalTimeout;
    timeouts.readTotalMultiplier = record.ReadTotalTimeoutMultiplier;
    timeouts.readTotalConstant = record.ReadTotalTimeoutConstant;
    timeouts.writeTotalMultiplier = record.WriteTotalTimeoutMultiplier;
    timeouts.writeTotalConstant = record.WriteTotalTimeoutConstant;
    return timeouts;
}

void ComPort::SetTimeouts(const Timeouts& timeouts) {
    CheckOpen();
    COMMTIMEOUTS record{};
    record.ReadIntervalTimeout = timeouts.readInterval;
    record.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplier;
    record.ReadTotalTimeoutConstant = timeouts.readTotalConstant;
    record.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplier;
    record.WriteTotalTimeoutConstant = timeouts.writeTotalConstant;
    if (!::SetCommTimeouts(AsHandle(m_port), &record)) throw win_error(::GetLastError());
}

bool ComPort::SetBreak() {
    CheckOpen();
    return ::SetCommBreak(AsHandle(m_port)) != FALSE;
}

bool ComPort::ClearBreak() {
    CheckOpen();
    return ::ClearCommBreak(AsHandle(m_port)) != FALSE;
}

void ComPort::EscapeFunction(int code) {
    CheckOpen();
    // The codes are the system's own (SETXOFF 1 … CLRBREAK 9).
    if (::EscapeCommFunction(AsHandle(m_port), static_cast<DWORD>(code))) {
        NoteEscape(code);
        return;
    }
    const DWORD error = ::GetLastError();
    // A line without modem-control lines (a pseudo-terminal behind wine, a
    // virtual port) answers "not supported" to DTR and RTS: nothing to act
    // on, so that is done, as on POSIX. Anything else is a real failure.
    const bool modemLine = code == kSetRts || code == kClrRts || code == kSetDtr || code == kClrDtr;
    if (modemLine && error == ERROR_NOT_SUPPORTED) {
        NoteEscape(code);
        return;
    }
    FailTransfer(error);
}

}  // namespace comprt
