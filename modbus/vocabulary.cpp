#include "modbus/vocabulary.h"

namespace modbus {

QString compassName(unsigned code) {
    if (code >= kCompassNames.size())
        return {};
    const std::string_view name = kCompassNames[code];
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

int compassCode(std::string_view name) {
    for (std::size_t code = 0; code < kCompassNames.size(); ++code) {
        if (kCompassNames[code] == name)
            return int(code);
    }
    return -1;
}

QString overLimitText() {
    return QString::fromLatin1(kOverLimitText.data(), qsizetype(kOverLimitText.size()));
}

} // namespace modbus
