// Entry points of the simulated unit used by the library core: the switch and the backend.
#pragma once

#include <memory>

#include "usb/Backend.h"

namespace sim {

// True when QELSIM_Enable(1) routed the library to the simulated unit.
bool Enabled();

// A backend whose only unit is the process-wide simulated one (sim::Unit::Instance()).
std::unique_ptr<usb::Backend> CreateBackend();

}  // namespace sim
