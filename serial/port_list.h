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

// The names udev keeps for the USB adapters among `ports` (bare names as listSerialPorts gives
// them), which stay the same whatever order the adapters are found in: their links in
// devDir/serial/by-id, or in devDir/serial/by-path for an adapter that has no serial number or
// shares its ids and serial number with another adapter present (its by-id name would be
// taken by whichever came first). Full paths of links that lead to a device of devDir, in
// the order of `ports`, each port's links in name order.
std::vector<std::string> listStablePortNames(const std::vector<std::string>& ports,
                                             const std::string& ttyClassDir = "/sys/class/tty",
                                             const std::string& devDir = "/dev");

} // namespace serial
