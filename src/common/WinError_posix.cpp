// System errors on POSIX: the codes are errno values.
#include "common/WinError.h"

#include <cerrno>
#include <cstring>

namespace comprt {

std::string win_error::SystemText(std::uint32_t code) {
    char buffer[256];
    // The GNU strerror_r returns its text, which may or may not be `buffer`.
    return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

std::uint32_t win_error::CodeOfErrno(int errnoValue) {
    return static_cast<std::uint32_t>(errnoValue);
}

void ThrowLastError() {
    throw win_error(static_cast<std::uint32_t>(errno));
}

}  // namespace comprt
