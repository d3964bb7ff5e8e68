#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <istream>
#include <ostream>
#include <type_traits>

// Little-endian packed numbers on binary streams, as the document file keeps
// them. A read past the end leaves the stream failed and yields 0; callers
// check the stream once after a group of reads.
namespace files {

static_assert(std::endian::native == std::endian::little, "the file formats are little-endian");

template <typename T>
T readValue(std::istream& in) {
    static_assert(std::is_trivially_copyable_v<T>);
    unsigned char bytes[sizeof(T)] = {};
    in.read(reinterpret_cast<char*>(bytes), sizeof(T));
    T value{};
    if (in) std::memcpy(&value, bytes, sizeof(T));
    return value;
}

template <typename T>
void writeValue(std::ostream& out, const T& value) {
    static_assert(std::is_trivially_copyable_v<T>);
    out.write(reinterpret_cast<const char*>(&value), sizeof(T));
}

inline bool readBytes(std::istream& in, void* buffer, std::size_t size) {
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<bool>(in);
}

inline void writeBytes(std::ostream& out, const void* buffer, std::size_t size) {
    out.write(static_cast<const char*>(buffer), static_cast<std::streamsize>(size));
}

// Lists of a file are read element by element; no more than this many
// elements are reserved before they have been read, so a damaged count
// cannot cause a large allocation.
constexpr std::uint32_t kMaxReserve = 256;

}  // namespace files
