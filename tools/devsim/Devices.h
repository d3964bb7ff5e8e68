#pragma once

// The simulators devsim can start, one factory per device file.

#include <memory>

#include "SimDevice.h"

namespace devsim {

std::unique_ptr<SimDevice> makeDornSim();
std::unique_ptr<SimDevice> makeRvSim();
std::unique_ptr<SimDevice> makeNivorSim();
std::unique_ptr<SimDevice> makeKeltSim();

}  // namespace devsim
