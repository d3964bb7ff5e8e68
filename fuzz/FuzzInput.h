#pragma once

// Takes a fuzz input apart: small choices from its front, the rest as bytes.
// Running out is not an error: a missing choice reads as 0 and missing bytes
// as none, so every input means something.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}

    std::uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    // A choice among `count` (count > 0).
    int choice(int count) { return byte() % count; }
    // The next `count` bytes, fewer at the end.
    std::span<const std::uint8_t> bytes(std::size_t count) {
        const std::size_t n = std::min(count, m_size - m_pos);
        const std::span<const std::uint8_t> out(m_data + m_pos, n);
        m_pos += n;
        return out;
    }
    std::span<const std::uint8_t> rest() { return bytes(m_size - m_pos); }
    std::string restText() {
        const auto r = rest();
        return std::string(reinterpret_cast<const char*>(r.data()), r.size());
    }
    bool empty() const { return m_pos >= m_size; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
};
