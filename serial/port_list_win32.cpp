#include "serial/port_list.h"

#include <windows.h>

// The machine's serial ports as Windows lists them: the values of the registry key
// HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, each naming a port ("COM1").
namespace serial {

namespace {

std::wstring wide(const std::string& text) {
    std::wstring result(text.size(), L'\0');
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()),
                                             result.data(), int(result.size()));
    result.resize(std::size_t(length > 0 ? length : 0));
    return result;
}

std::string utf8(const wchar_t* text, std::size_t length) {
    std::string result(length * 3, '\0');
    const int written = ::WideCharToMultiByte(CP_UTF8, 0, text, int(length), result.data(),
                                              int(result.size()), nullptr, nullptr);
    result.resize(std::size_t(written > 0 ? written : 0));
    return result;
}

} // namespace

const char* const kPortListSource = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

std::optional<std::vector<std::string>> listSerialPorts(const std::string& keyPath) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide(keyPath).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return std::nullopt;
    std::vector<std::string> ports;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = DWORD(std::size(name));
        wchar_t data[256];
        DWORD dataBytes = sizeof data;
        DWORD type = 0;
        const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        std::size_t length = dataBytes / sizeof(wchar_t);
        while (length > 0 && data[length - 1] == L'\0')
            --length;
        if (length > 0)
            ports.push_back(utf8(data, length));
    }
    ::RegCloseKey(key);
    return ports;
}

// Windows names a port by its COM number alone; there are no other names to offer.
std::vector<std::string> listStablePortNames(const std::vector<std::string>&, const std::string&,
                                             const std::string&) {
    return {};
}

} // namespace serial
