#pragma once

// What the two Win32 files of the system's file calls share: how every file is opened, errno
// from a Windows error, UTF-8 and UTF-16 names, and stat() of an open handle.

#include "toolkit/os_files.h"

#include <windows.h>

#include <string>

namespace os::win32 {

// Other handles of a file may read, write, rename and delete it, as on Linux: a log kept open
// does not stop the file from being replaced or removed.
inline constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

int errnoOf(DWORD error);
// Sets errno from a Windows error and returns -1.
int failed(DWORD error = GetLastError());
// The UTF-16 name the W calls take; false, with errno set, for bytes that are not UTF-8.
bool widen(const char* path, std::wstring& wide);
std::string narrow(const wchar_t* wide);
int statHandle(HANDLE handle, Stat* info);

} // namespace os::win32
