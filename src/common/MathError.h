#pragma once

#include <cmath>
#include <stdexcept>
#include <string>

// An arithmetic failure of a computation: a division by zero, an invalid
// operation, an overflow, or a result that is not finite ("NAN or INF").
class MathError : public std::runtime_error {
public:
    explicit MathError(const std::string& message) : std::runtime_error(message) {}
};

// Every computed value passes through here: a result whose exponent bits are
// all ones is a failure.
inline double checked(double value) {
    if (!std::isfinite(value)) throw MathError("NAN or INF");
    return value;
}

inline long double checked(long double value) {
    if (!std::isfinite(value)) throw MathError("NAN or INF");
    return value;
}

// An error that carries one of the system's own message texts.
class UserError : public std::runtime_error {
public:
    explicit UserError(const std::string& message) : std::runtime_error(message) {}
};
