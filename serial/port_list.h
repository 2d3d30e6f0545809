#pragma once

#include <optional>
#include <string>
#include <vector>

namespace serial {

// Where the machine lists its serial devices: the tty class directory ("/sys/class/tty") on
// Linux, the registry key SERIALCOMM under HKEY_LOCAL_MACHINE on Windows.
extern const char* const kPortListSource;

// The serial devices of the machine: on Linux the entries of the tty class directory that
// have a device/driver link, by bare name (ttyS0, ttyUSB0), in directory order; on Windows
// the ports the key names (COM1). std::nullopt when the directory or key cannot be opened.
std::optional<std::vector<std::string>>
listSerialPorts(const std::string& ttyClassDir = kPortListSource);

// The names udev keeps for the USB adapters among `ports` (bare names as listSerialPorts gives
// them), which stay the same whatever order the adapters are found in: their links in
// devDir/serial/by-id, or in devDir/serial/by-path for an adapter that has no serial number or
// shares its ids and serial number with another adapter present (its by-id name would be
// taken by whichever came first). Full paths of links that lead to a device of devDir, in
// the order of `ports`, each port's links in name order. None on Windows, whose ports have
// no other names.
std::vector<std::string> listStablePortNames(const std::vector<std::string>& ports,
                                             const std::string& ttyClassDir = kPortListSource,
                                             const std::string& devDir = "/dev");

} // namespace serial
