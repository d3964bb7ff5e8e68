#include "common/WinError.h"

#include <cstdio>

namespace comprt {

win_error::win_error(std::uint32_t code) : win_error(code, SystemText(code)) {}

win_error::win_error(std::uint32_t code, const std::string& systemText)
    : UserError(Format(code, systemText)), ErrorCode(code) {}

std::string win_error::Format(std::uint32_t code, const std::string& systemText) {
    char head[64];
    std::snprintf(head, sizeof head, "System Error.  Code: %d.\r\n", static_cast<int>(code));
    return head + systemText;
}

}  // namespace comprt
