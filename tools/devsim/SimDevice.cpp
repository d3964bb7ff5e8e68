#include "SimDevice.h"

#include <charconv>
#include <cstdlib>

namespace devsim {

namespace {

struct FaultName {
    Fault fault;
    std::string_view name;
};

constexpr FaultName kFaultNames[] = {
    {Fault::None, "none"},       {Fault::Silent, "silent"},   {Fault::Short, "short"},
    {Fault::BadSum, "badsum"},   {Fault::Garbage, "garbage"}, {Fault::Hangup, "hangup"},
    {Fault::Busy, "busy"},       {Fault::Error, "error"},
};

}  // namespace

std::optional<Fault> parseFault(std::string_view text) {
    for (const auto& f : kFaultNames)
        if (f.name == text) return f.fault;
    return std::nullopt;
}

std::string_view faultName(Fault fault) {
    for (const auto& f : kFaultNames)
        if (f.fault == fault) return f.name;
    return "?";
}

bool SimDevice::misbehave(const Bytes& reply, Output& out, std::chrono::milliseconds delay) {
    switch (m_fault) {
    case Fault::Silent:
        return true;
    case Fault::Short:
        out.send(Bytes(reply.begin(), reply.end() - (reply.empty() ? 0 : 1)), delay);
        return true;
    case Fault::Garbage: {
        // Bytes that match no frame: the reply inverted, one byte more.
        Bytes junk;
        for (std::uint8_t b : reply) junk.push_back(static_cast<std::uint8_t>(~b ^ 0x5A));
        junk.push_back(0xA5);
        out.send(std::move(junk), delay);
        return true;
    }
    case Fault::Hangup:
        out.hangup(Bytes(reply.begin(), reply.begin() + static_cast<std::ptrdiff_t>(reply.size() / 2)),
                   delay);
        return true;
    default:
        return false;
    }
}

std::optional<long long> parseInteger(const std::string& text) {
    long long value = 0;
    const auto* end = text.data() + text.size();
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || text.empty()) return std::nullopt;
    return value;
}

std::optional<double> parseNumber(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return std::nullopt;
    return value;
}

}  // namespace devsim
