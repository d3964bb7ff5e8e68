#pragma once

// srvtool rv observe: the readings tab of the RV page without a window.

#include <CLI/CLI.hpp>

#include <cstdint>
#include <functional>
#include <string>

#include "HeadlessRvPage.h"

namespace srvtool {

// Adds "observe" to the "rv" command. `connection` gives rv's options once
// they are parsed; `portIndex` is the 1-based place of a port name in the
// program's port list (added at its end when missing).
void addRvObserveCommand(CLI::App& rv, std::function<RvConnection()> connection,
                         std::uint8_t (*portIndex)(const std::string&));

}  // namespace srvtool
