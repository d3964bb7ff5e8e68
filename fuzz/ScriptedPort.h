#pragma once

// The serial port of the device fuzz targets: comprt::ComPort linked from
// ScriptedPort.cpp instead of the termios one, so that the workers' own
// Process code runs unchanged while the device's side of the line is the
// fuzzer's input. Every read takes the next bytes of the script; a read the
// script cannot fill takes what is left and fails as a silent device does
// ("Прибор не отвечает"). Writes go nowhere. Any positive port index opens.

#include <cstddef>
#include <cstdint>

namespace fuzzport {

// What the device sends from now on, in order. The bytes must outlive the
// exchanges that read them.
void setScript(const std::uint8_t* data, std::size_t size);
// Bytes of the script not read yet.
std::size_t scriptLeft();

}  // namespace fuzzport
