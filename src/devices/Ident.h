#pragma once

#include <cstdint>
#include <string>

// The identity of the transducer: its factory number and the nominal diameter
// code of its family. Stored in the document file as 5 packed bytes.
struct Ident {
    std::uint32_t serial = 0;
    std::uint8_t du = 0;

    bool operator==(const Ident&) const = default;
};

// The text of a factory number: nine digits above 150999999, else eight
// digits, with one more leading "0" when those eight do not begin with "0"
// and `du` is below 8.
std::string SerialText(std::uint32_t serial, std::uint8_t du);

// The nominal diameter text of a `du` code ("15" … "200"); empty outside 0 … 11.
std::string DiameterText(int du);
