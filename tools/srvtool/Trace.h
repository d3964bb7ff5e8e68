#pragma once

// --trace on the device commands: every frame of the command's port goes to
// stderr as one JSON line while the command runs.

#include <CLI/CLI.hpp>

namespace srvtool {

// Adds --trace to each device command ("dorn", "kelt", "rv", "nivor") and
// to every subcommand under it, so the flag may stand before or after the
// subcommand's name.
void addTraceFlags(CLI::App& app);

}  // namespace srvtool
