#include "link/FrameLog.h"

#include <algorithm>
#include <map>

namespace framelog {

Verdict Judge(std::size_t received, std::size_t expected, bool checkGood, bool deviceError) {
    if (received == 0) return {Check::None, Outcome::Silent};
    if (received < expected) return {Check::Short, Outcome::Short};
    if (deviceError) return {checkGood ? Check::Good : Check::Bad, Outcome::DeviceError};
    if (!checkGood) return {Check::Bad, Outcome::BadCheck};
    return {Check::Good, Outcome::Answered};
}

const char* ToText(Direction direction) { return direction == Direction::Tx ? "tx" : "rx"; }

const char* ToText(Check check) {
    switch (check) {
    case Check::None: return "none";
    case Check::Good: return "good";
    case Check::Bad: return "bad";
    case Check::Short: return "short";
    }
    return "";
}

const char* ToText(Outcome outcome) {
    switch (outcome) {
    case Outcome::None: return "";
    case Outcome::Answered: return "answered";
    case Outcome::Silent: return "silent";
    case Outcome::Short: return "short";
    case Outcome::BadCheck: return "bad check";
    case Outcome::DeviceError: return "device error";
    }
    return "";
}

std::string Frame::Hex() const {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[b >> 4];
        text += kDigits[b & 15];
    }
    return text;
}

bool Frame::Fault() const {
    return check == Check::Bad || check == Check::Short ||
           (outcome != Outcome::None && outcome != Outcome::Answered);
}

}  // namespace framelog

namespace {

std::atomic<framelog::Sink*> g_sink{nullptr};

}  // namespace

FrameLog::FrameLog(std::string port, std::size_t capacity)
    : m_port(std::move(port)), m_capacity(std::max<std::size_t>(capacity, 1)) {}

std::shared_ptr<FrameLog> FrameLog::Of(const std::string& port) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<FrameLog>> logs;
    std::lock_guard lock(mutex);
    auto& log = logs[port];
    if (!log) log = std::make_shared<FrameLog>(port);
    return log;
}

void FrameLog::SetSink(framelog::Sink* sink) { g_sink.store(sink); }

void FrameLog::Opened() {
    std::lock_guard lock(m_mutex);
    m_origin = Clock::now();
    m_lastSentUs = -1;
}

void FrameLog::Sent(const char* name, std::span<const std::uint8_t> bytes) {
    Record(framelog::Direction::Tx, name, bytes, {});
}

void FrameLog::Received(const char* name, std::span<const std::uint8_t> bytes, framelog::Verdict verdict) {
    Record(framelog::Direction::Rx, name, bytes, verdict);
}

void FrameLog::Record(framelog::Direction dir, const char* name, std::span<const std::uint8_t> bytes,
                      framelog::Verdict verdict) {
    if (!Enabled()) return;
    framelog::Sink* sink = g_sink.load();
    framelog::Frame copy;
    {
        std::lock_guard lock(m_mutex);
        const std::int64_t now =
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_origin).count();
        framelog::Frame* frame;
        if (m_ring.size() < m_capacity) {
            frame = &m_ring.emplace_back();
        } else {
            // Overwritten in place: the byte vector keeps its capacity, so
            // a full ring records without allocating.
            frame = &m_ring[m_next];
            m_next = (m_next + 1) % m_capacity;
        }
        frame->seq = ++m_seq;
        frame->tUs = now;
        frame->dir = dir;
        frame->check = verdict.check;
        frame->outcome = verdict.outcome;
        frame->name = name ? name : "";
        frame->bytes.assign(bytes.begin(), bytes.end());
        if (dir == framelog::Direction::Tx) {
            frame->replyUs = -1;
            m_lastSentUs = now;
        } else {
            frame->replyUs = m_lastSentUs < 0 ? -1 : now - m_lastSentUs;
        }
        if (sink) copy = *frame;
    }
    if (sink) sink->Recorded(m_port, copy);
}

std::vector<framelog::Frame> FrameLog::Since(std::uint64_t seq, std::size_t maximum) const {
    std::lock_guard lock(m_mutex);
    std::vector<framelog::Frame> out;
    if (m_ring.empty() || seq >= m_seq) return out;
    // The ring holds the numbers m_seq - size + 1 … m_seq, the oldest at
    // m_next once it is full (at 0 before).
    const std::uint64_t oldest = m_seq - m_ring.size() + 1;
    const std::uint64_t first = std::max(seq + 1, oldest);
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(m_seq - first + 1, maximum));
    const std::size_t start = m_ring.size() < m_capacity ? 0 : m_next;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(m_ring[(start + static_cast<std::size_t>(first - oldest) + i) % m_ring.size()]);
    return out;
}

std::uint64_t FrameLog::LastSeq() const {
    std::lock_guard lock(m_mutex);
    return m_seq;
}

std::size_t FrameLog::Size() const {
    std::lock_guard lock(m_mutex);
    return m_ring.size();
}

void FrameLog::Clear() {
    std::lock_guard lock(m_mutex);
    m_ring.clear();
    m_next = 0;
}
