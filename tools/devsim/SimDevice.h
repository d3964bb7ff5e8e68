#pragma once

// One simulated device of the bench. devsim gives every device its own
// pseudo-terminal; the device sees the bytes the program writes and answers
// through an Output, with a delay per reply and, when told to misbehave, a
// broken answer or a hang-up of the line.
//
// A new simulator is one file: a class derived from SimDevice, a factory
// function declared in Devices.h and one line in the list in main.cpp.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace devsim {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// How a device misbehaves, until told otherwise. What each fault means for a
// device's frames is the device's business; the usual meaning:
//   silent  - no answer at all
//   short   - the answer without its last byte
//   badsum  - the checksum or CRC of the answer is wrong
//   garbage - bytes that are no frame of the protocol
//   hangup  - half of the answer, then the line drops (the pty is closed and
//             a fresh one takes its place under the same link path)
//   busy    - the device's "busy" answer
//   error   - the device's error answer
enum class Fault { None, Silent, Short, BadSum, Garbage, Hangup, Busy, Error };

std::optional<Fault> parseFault(std::string_view text);
std::string_view faultName(Fault fault);

// What a device sends back for the bytes it received.
class Output {
public:
    struct Item {
        std::chrono::milliseconds delay{0};  // after the previous item (or now)
        Bytes bytes;
        bool hangup = false;  // drop the line after sending `bytes`
    };

    void send(Bytes bytes, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
        m_items.push_back({delay, std::move(bytes), false});
    }
    void hangup(Bytes before = {}, std::chrono::milliseconds delay = std::chrono::milliseconds(0)) {
        m_items.push_back({delay, std::move(before), true});
    }
    std::vector<Item>& items() { return m_items; }

private:
    std::vector<Item> m_items;
};

class SimDevice {
public:
    virtual ~SimDevice() = default;

    // The device's name: the NAME of devsim's output line, the prefix of its
    // options (--NAME-fault, --NAME KEY=VALUE) and of its control commands.
    virtual std::string name() const = 0;

    // Bytes written by the program, as they arrived. A device keeps what
    // does not make a whole request yet and answers through `out`.
    virtual void receive(Clock::time_point now, std::span<const std::uint8_t> bytes,
                         Output& out) = 0;

    // Sets one of the device's settings (firmware version, frequencies, …)
    // from text. Returns an explanation when the key or value is refused.
    virtual std::optional<std::string> set(const std::string& key, const std::string& value) = 0;
    // The keys set() takes, for --help: "key=meaning" lines.
    virtual std::vector<std::string> settings() const = 0;

    Fault fault() const { return m_fault; }
    void setFault(Fault fault) { m_fault = fault; }

    // A reply broken the generic way for faults short, garbage, hangup and
    // silent (the others are left to the device): true when the fault was
    // applied and the device must not answer `reply` itself.
    bool misbehave(const Bytes& reply, Output& out, std::chrono::milliseconds delay);

private:
    Fault m_fault = Fault::None;
};

// Frames that arrive byte by byte with pauses: a request is complete when
// it has its length; a partial one older than `stale` is thrown away, as a
// device forgets a broken frame after a pause on the line.
class FrameCollector {
public:
    explicit FrameCollector(std::chrono::milliseconds stale) : m_stale(stale) {}
    void add(Clock::time_point now, std::span<const std::uint8_t> bytes) {
        if (!m_buffer.empty() && now - m_last > m_stale) m_buffer.clear();
        m_buffer.insert(m_buffer.end(), bytes.begin(), bytes.end());
        m_last = now;
    }
    Bytes& buffer() { return m_buffer; }
    // Removes and returns the first `count` bytes.
    Bytes take(std::size_t count) {
        Bytes head(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
        m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(count));
        return head;
    }

private:
    std::chrono::milliseconds m_stale;
    Clock::time_point m_last{};
    Bytes m_buffer;
};

// Parses a decimal number for set(); nothing when the text is not one.
std::optional<long long> parseInteger(const std::string& text);
std::optional<double> parseNumber(const std::string& text);

}  // namespace devsim
