#pragma once

#include <optional>
#include <string>
#include <vector>

namespace serial {

// The serial devices of the machine: the entries of the tty class directory that have a
// device/driver link, by bare name (ttyS0, ttyUSB0), in directory order. std::nullopt when
// the directory cannot be opened.
std::optional<std::vector<std::string>>
listSerialPorts(const std::string& ttyClassDir = "/sys/class/tty");

} // namespace serial
