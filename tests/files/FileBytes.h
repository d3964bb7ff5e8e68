#pragma once

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "common/WinError.h"
#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

// Builds file images byte by byte, little-endian, as the formats lay them out.
struct Bytes {
    std::string data;

    Bytes& u8(unsigned v) { data += static_cast<char>(v & 0xFF); return *this; }
    Bytes& u16(unsigned v) { return u8(v).u8(v >> 8); }
    Bytes& u32(std::uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    Bytes& i32(std::int32_t v) { return u32(static_cast<std::uint32_t>(v)); }
    Bytes& f64(double v) {
        char raw[8];
        std::memcpy(raw, &v, 8);
        data.append(raw, 8);
        return *this;
    }
    Bytes& text(const std::string& s) { data += s; return *this; }
    Bytes& zeros(std::size_t n) { data.append(n, '\0'); return *this; }
    Bytes& raw(const std::string& s) { data += s; return *this; }
    std::size_t size() const { return data.size(); }
};

// The system's text of a C library error as the file functions report it:
// "No such file or directory" for ENOENT here, Windows' own text there.
inline std::string systemText(int errnoValue) {
    return win_error::SystemText(win_error::CodeOfErrno(errnoValue));
}

// A folder of its own under the temporary folder, removed afterwards.
class TempDir {
public:
    TempDir() {
#ifdef _WIN32
        // No mkdtemp: a name of the process and a counter, made until one is new.
        static int counter = 0;
        const auto base = std::filesystem::temp_directory_path();
        std::filesystem::path folder;
        do {
            folder = base / ("rvfiles-" + std::to_string(::_getpid()) + "-" + std::to_string(counter++));
        } while (!std::filesystem::create_directory(folder));
        m_path = folder.string();
#else
        std::string pattern = (std::filesystem::temp_directory_path() / "rvfiles-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
#endif
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string file(const std::string& name) const { return m_path + "/" + name; }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
