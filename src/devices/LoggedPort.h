#pragma once

// A worker's port as its frames go into the port's frame log: each write is
// one sent frame, each read one received frame with the protocol's verdict
// on it. Reads and writes behave exactly as the port's own; without a log
// (or with the log switched off) nothing else happens and the verdict is
// not even computed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "common/MathError.h"
#include "comprt/ComPort.h"
#include "link/FrameLog.h"

class LoggedPort {
public:
    LoggedPort(comprt::ComPort& port, FrameLog* log, const char* request = "")
        : m_port(port), m_log(log), m_request(request) {}

    comprt::ComPort& port() { return m_port; }
    // The name the following frames carry.
    void setRequest(const char* name) { m_request = name; }

    void Write(std::span<const std::uint8_t> bytes) {
        m_port.Write(bytes.data(), bytes.size());
        if (logging()) m_log->Sent(m_request, bytes);
    }

    // ComPort::Read: exactly `count` bytes, fewer within the timeouts fail
    // with kNoAnswer once what did arrive is recorded. `judge` gives the
    // verdict on the bytes that arrived (a std::span<const std::uint8_t>).
    template <class Judge>
    void Read(std::uint8_t* out, std::size_t count, Judge&& judge) {
        if (Record(out, Receive(out, count), judge) != count) throw UserError(comprt::kNoAnswer);
    }

    // ComPort::ReadSome: up to `maximum` bytes, none fails with kNoAnswer.
    template <class Judge>
    std::size_t ReadSome(std::uint8_t* out, std::size_t maximum, Judge&& judge) {
        const std::size_t received = Record(out, Receive(out, maximum), judge);
        if (received == 0) throw UserError(comprt::kNoAnswer);
        return received;
    }

private:
    bool logging() const { return m_log && m_log->Enabled(); }

    // What arrived within the timeouts: 0 where the port fails with kNoAnswer.
    std::size_t Receive(std::uint8_t* out, std::size_t maximum);

    template <class Judge>
    std::size_t Record(const std::uint8_t* out, std::size_t received, Judge& judge) {
        if (logging()) {
            const std::span<const std::uint8_t> got(out, received);
            m_log->Received(m_request, got, judge(got));
        }
        return received;
    }

    comprt::ComPort& m_port;
    FrameLog* m_log;
    const char* m_request;
};

// The frame log of the port at 1-based position `index` of the program's
// port list, its clock restarted: a worker takes it after a successful
// open. Nothing for 0 or a position beyond the list.
std::shared_ptr<FrameLog> OpenedLog(int index);
