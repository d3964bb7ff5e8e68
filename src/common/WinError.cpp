#include "common/WinError.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace comprt {

win_error::win_error(std::uint32_t code) : win_error(code, SystemText(code)) {}

win_error::win_error(std::uint32_t code, const std::string& systemText)
    : UserError(Format(code, systemText)), ErrorCode(code) {}

std::string win_error::Format(std::uint32_t code, const std::string& systemText) {
    char head[64];
    std::snprintf(head, sizeof head, "System Error.  Code: %d.\r\n", static_cast<int>(code));
    return head + systemText;
}

std::string win_error::SystemText(std::uint32_t code) {
    char buffer[256];
    // The GNU strerror_r returns its text, which may or may not be `buffer`.
    return strerror_r(static_cast<int>(code), buffer, sizeof buffer);
}

void ThrowLastError() {
    throw win_error(static_cast<std::uint32_t>(errno));
}

}  // namespace comprt
