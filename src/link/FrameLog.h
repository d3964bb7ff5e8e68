#pragma once

// The frame log of a serial port: every frame a device worker sends or
// receives on it, kept in a bounded ring that a monitor window or srvtool's
// --trace reads while the worker goes on. No toolkit, no port: the workers
// hand it bytes and their protocol's verdict, one call per frame.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace framelog {

enum class Direction : std::uint8_t { Tx, Rx };

// The protocol's check of a received frame.
enum class Check : std::uint8_t {
    None,   // sent frames, and a reply of which nothing arrived
    Good,   // the expected length, and the checksum, CRC or echo right where the protocol has one
    Bad,    // the expected length, but a wrong checksum, CRC, echo or answer byte
    Short,  // fewer bytes than the protocol expects
};

// How an exchange ended, carried by the received frame that ends it.
enum class Outcome : std::uint8_t {
    None,         // sent frames
    Answered,     // the reply the request asked for
    Silent,       // nothing arrived within the timeouts (an empty received frame)
    Short,        // part of a reply, then nothing
    BadCheck,     // the whole length, but the check failed
    DeviceError,  // the device answered that it cannot: an error reply, a busy echo
};

struct Verdict {
    Check check = Check::None;
    Outcome outcome = Outcome::None;
    bool operator==(const Verdict&) const = default;
};

// The verdict of a reply of `received` bytes where `expected` were asked
// for, from the protocol's findings on the bytes that did arrive: nothing
// is silent, too few is short, then a device error, then the check.
Verdict Judge(std::size_t received, std::size_t expected, bool checkGood, bool deviceError = false);

// Texts of the values, as srvtool's --trace prints them: "tx"/"rx";
// "none", "good", "bad", "short"; "", "answered", "silent", "short",
// "bad check", "device error".
const char* ToText(Direction direction);
const char* ToText(Check check);
const char* ToText(Outcome outcome);

struct Frame {
    std::uint64_t seq = 0;     // 1, 2, … in the order recorded; never reused, not even after Clear
    std::int64_t tUs = 0;      // µs since the port was opened (steady clock)
    std::int64_t replyUs = -1; // received frames: µs since the last sent frame ended; -1 otherwise
    Direction dir = Direction::Tx;
    Check check = Check::None;
    Outcome outcome = Outcome::None;
    const char* name = "";     // the request's name as the console names it (a static string)
    std::vector<std::uint8_t> bytes;

    // Lowercase hex pairs separated by single spaces ("41 00 1f"); empty
    // for an empty frame.
    std::string Hex() const;
    // A fault the monitor shows in red: a check that failed or an outcome
    // other than answered.
    bool Fault() const;
};

// Receives every frame of every port as it is recorded, on the worker's
// thread (srvtool's --trace).
class Sink {
public:
    virtual ~Sink() = default;
    virtual void Recorded(const std::string& port, const Frame& frame) = 0;
};

}  // namespace framelog

// The log of one port. Written by the port's worker thread, read by any
// other thread: every call is safe from any thread.
//
// There is one log per port name for the whole program (Of), so a monitor
// finds the frames of a page's port by the port's name, before or after the
// worker opened it, and the frames outlive a page that closed.
class FrameLog {
public:
    static constexpr std::size_t kCapacity = 10000;

    explicit FrameLog(std::string port, std::size_t capacity = kCapacity);
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    // The program-wide log of a port name, made on first use.
    static std::shared_ptr<FrameLog> Of(const std::string& port);
    // The sink every log hands its frames to (nullptr: none). It must stay
    // alive while any worker runs.
    static void SetSink(framelog::Sink* sink);

    const std::string& Port() const { return m_port; }

    // --- the worker's side: one call per frame --------------------------

    // The port was opened: frame times count from now.
    void Opened();
    void Sent(const char* name, std::span<const std::uint8_t> bytes);
    void Received(const char* name, std::span<const std::uint8_t> bytes, framelog::Verdict verdict);

    // A log switched off records nothing and costs its writer one atomic
    // load per frame. On by default.
    void SetEnabled(bool on) { m_enabled.store(on, std::memory_order_relaxed); }
    bool Enabled() const { return m_enabled.load(std::memory_order_relaxed); }

    // --- the readers' side ----------------------------------------------

    // The frames recorded after sequence number `seq` that the ring still
    // holds, oldest first, at most `maximum` of them (the oldest ones).
    // A live view passes the last number it has and takes what is new.
    std::vector<framelog::Frame> Since(std::uint64_t seq, std::size_t maximum = kCapacity) const;
    // The number of the latest frame recorded (0 before the first).
    std::uint64_t LastSeq() const;
    // Frames held now (at most the capacity).
    std::size_t Size() const;
    std::size_t Capacity() const { return m_capacity; }
    // Forgets the frames held; numbering goes on from where it was.
    void Clear();

private:
    using Clock = std::chrono::steady_clock;
    void Record(framelog::Direction dir, const char* name, std::span<const std::uint8_t> bytes,
                framelog::Verdict verdict);

    const std::string m_port;
    const std::size_t m_capacity;
    std::atomic<bool> m_enabled{true};

    mutable std::mutex m_mutex;
    std::vector<framelog::Frame> m_ring;  // grows to the capacity, then overwritten in place
    std::size_t m_next = 0;               // the slot the next frame goes into once the ring is full
    std::uint64_t m_seq = 0;
    Clock::time_point m_origin = Clock::now();
    std::int64_t m_lastSentUs = -1;
};
