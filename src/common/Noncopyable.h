#pragma once

// Base of every class that owns a system resource: copying one would let two
// objects close the same descriptor.
class Noncopyable {
protected:
    Noncopyable() = default;
    ~Noncopyable() = default;

public:
    Noncopyable(const Noncopyable&) = delete;
    Noncopyable& operator=(const Noncopyable&) = delete;
};
