#pragma once

#include "serial/serial_port.h"

#include <string>

namespace serial {

// The text shown when opening the port fails at the given step (UTF-8). The error number is
// left out of the step 1 text.
std::string openFailureMessage(OpenStep step, const std::string& portName,
                               const std::string& lineParameters, unsigned error);

} // namespace serial
