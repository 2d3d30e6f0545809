#include "serial/port_list.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace serial {

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

} // namespace serial
