#include "serial/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <tuple>

namespace serial {

namespace fs = std::filesystem;

const char* const kPortListSource = "/sys/class/tty";

std::optional<std::vector<std::string>> listSerialPorts(const std::string& ttyClassDir) {
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(ttyClassDir.c_str()), ::closedir);
    if (!dir)
        return std::nullopt;
    std::vector<std::string> ports;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        // Virtual terminals and pseudo-terminals have no driver behind them.
        struct stat driverLink {};
        if (::lstat((ttyClassDir + "/" + name + "/device/driver").c_str(), &driverLink) == 0)
            ports.push_back(name);
    }
    return ports;
}

namespace {

// The USB device a port belongs to, as sysfs shows it: the nearest folder above the port's
// device that holds idVendor.
struct UsbIdentity {
    fs::path device;
    std::string vendor, product, serialNumber;
};

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::optional<UsbIdentity> usbIdentity(const fs::path& portDevice) {
    std::error_code error;
    fs::path folder = fs::canonical(portDevice, error);
    if (error)
        return std::nullopt;
    for (; folder.has_relative_path(); folder = folder.parent_path()) {
        if (fs::exists(folder / "idVendor", error))
            return UsbIdentity{folder, firstLine(folder / "idVendor"),
                               firstLine(folder / "idProduct"), firstLine(folder / "serial")};
    }
    return std::nullopt;
}

// The links of one folder, by the bare name of the device they lead to.
std::map<std::string, std::vector<std::string>> linksByDevice(const fs::path& linkDir,
                                                              const fs::path& devices) {
    std::map<std::string, std::vector<std::string>> links;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(linkDir, error)) {
        // A link whose adapter is gone no longer resolves.
        const fs::path target = fs::canonical(entry.path(), error);
        if (!error && target.parent_path() == devices)
            links[target.filename().string()].push_back(entry.path().string());
    }
    for (auto& [device, paths] : links)
        std::sort(paths.begin(), paths.end());
    return links;
}

} // namespace

std::vector<std::string> listStablePortNames(const std::vector<std::string>& ports,
                                             const std::string& ttyClassDir,
                                             const std::string& devDir) {
    std::error_code error;
    const fs::path devices = fs::canonical(devDir, error);
    if (error)
        return {};
    const auto byId = linksByDevice(devices / "serial" / "by-id", devices);
    const auto byPath = linksByDevice(devices / "serial" / "by-path", devices);

    // Adapters that carry the same ids and serial number cannot be told apart by their by-id
    // names; the ports of one multi-port adapter share their USB device and are told apart.
    std::map<std::string, std::optional<UsbIdentity>> identities;
    std::map<std::tuple<std::string, std::string, std::string>, std::set<fs::path>> holders;
    for (const std::string& port : ports) {
        auto identity = usbIdentity(fs::path(ttyClassDir) / port / "device");
        if (identity)
            holders[{identity->vendor, identity->product, identity->serialNumber}].insert(
                identity->device);
        identities[port] = std::move(identity);
    }

    std::vector<std::string> names;
    for (const std::string& port : ports) {
        const auto& identity = identities[port];
        const bool toldApartById =
            identity && !identity->serialNumber.empty() &&
            holders[{identity->vendor, identity->product, identity->serialNumber}].size() == 1;
        const auto& first = toldApartById ? byId : byPath;
        const auto& second = toldApartById ? byPath : byId;
        if (const auto found = first.find(port); found != first.end())
            names.insert(names.end(), found->second.begin(), found->second.end());
        else if (const auto other = second.find(port); other != second.end())
            names.insert(names.end(), other->second.begin(), other->second.end());
    }
    return names;
}

} // namespace serial
