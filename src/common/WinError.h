#pragma once

#include <cstdint>
#include <string>

#include "common/MathError.h"

namespace comprt {

// A failed system call. It is a message-carrying error (a worker stores its
// text like any other), and it keeps the system's error code: errno values on
// POSIX, GetLastError codes on Windows, except where the device link reports
// one of its own codes (kWriteFault for a short write).
class win_error : public UserError {
public:
    // The message is "System Error.  Code: <code>.\r\n<the system's text>".
    explicit win_error(std::uint32_t code);
    win_error(std::uint32_t code, const std::string& systemText);

    std::uint32_t ErrorCode;

    // The message text for a code, as it appears in what().
    static std::string Format(std::uint32_t code, const std::string& systemText);
    // The system's text for a code.
    static std::string SystemText(std::uint32_t code);
    // The system code of an errno value from the C library: the value itself
    // on POSIX, the Windows code it stands for on Windows.
    static std::uint32_t CodeOfErrno(int errnoValue);
};

// Raised with the system's last error (errno; GetLastError on Windows).
[[noreturn]] void ThrowLastError();

}  // namespace comprt

using comprt::win_error;
