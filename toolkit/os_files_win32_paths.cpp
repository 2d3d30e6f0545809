#include "toolkit/os_files_win32.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cwchar>
#include <iterator>
#include <vector>

namespace os {

using namespace win32;

namespace {

// A symbolic link or a junction; other reparse points (files kept in the cloud, deduplicated
// ones) are plain files to the program.
bool isLink(HANDLE handle) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    return GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
           (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK ||
            tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT);
}

int statPath(const char* path, Stat* info, bool followLinks) {
    std::wstring wide;
    if (!widen(path, wide))
        return -1;
    // Attributes only: no sharing conflict with whoever has the file open.
    const DWORD flags =
        FILE_FLAG_BACKUP_SEMANTICS | (followLinks ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    const HANDLE handle = CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                      OPEN_EXISTING, flags, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return failed();
    const int result = statHandle(handle, info);
    if (result == 0 && !followLinks && isLink(handle))
        info->st_mode &= ~S_IFMT; // neither a file nor a folder
    CloseHandle(handle);
    return result;
}

// Renames with POSIX semantics (Windows 10 on NTFS): a target that another handle keeps open is
// replaced too, and that handle goes on with the old file, as on Linux. NO_ERROR or why not.
DWORD renameReplacingOpenTarget(const std::wstring& from, const std::wstring& to) {
    constexpr DWORD kIgnoreReadOnly = 0x40; // FILE_RENAME_FLAG_IGNORE_READONLY_ATTRIBUTE
    // FileRenameInfoEx, which mingw-w64's headers leave out for a Windows 10 target.
    constexpr auto kRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    // The name the file system is given has to be absolute.
    const DWORD needed = GetFullPathNameW(to.c_str(), 0, nullptr, nullptr);
    if (needed == 0)
        return GetLastError();
    std::vector<std::byte> buffer(sizeof(FILE_RENAME_INFO) + needed * sizeof(wchar_t));
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    const DWORD length = GetFullPathNameW(to.c_str(), needed, rename->FileName, nullptr);
    if (length == 0 || length >= needed)
        return GetLastError();
    rename->Flags =
        FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS | kIgnoreReadOnly;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = length * sizeof(wchar_t);
    // The name itself when it is a link, as POSIX rename does.
    const HANDLE source =
        CreateFileW(from.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (source == INVALID_HANDLE_VALUE)
        return GetLastError();
    const bool renamed =
        SetFileInformationByHandle(source, kRenameInfoEx, rename, DWORD(buffer.size()));
    const DWORD error = renamed ? NO_ERROR : GetLastError();
    CloseHandle(source);
    return error;
}

} // namespace

int stat(const char* path, Stat* info) {
    return statPath(path, info, true);
}

int lstat(const char* path, Stat* info) {
    return statPath(path, info, false);
}

int mkdir(const char* path, mode_t) {
    std::wstring wide;
    if (!widen(path, wide))
        return -1;
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : failed();
}

int unlink(const char* path) {
    std::wstring wide;
    if (!widen(path, wide))
        return -1;
    return DeleteFileW(wide.c_str()) ? 0 : failed();
}

int rename(const char* from, const char* to) {
    std::wstring wideFrom;
    std::wstring wideTo;
    if (!widen(from, wideFrom) || !widen(to, wideTo))
        return -1;
    const DWORD error = renameReplacingOpenTarget(wideFrom, wideTo);
    if (error == NO_ERROR)
        return 0;
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_FUNCTION)
        return failed(error);
    // A system or a file system without that rename: the classic one, which fails while
    // another handle has the target open; ReplaceFileW then moves that one out of the way.
    if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    const DWORD moveError = GetLastError();
    const DWORD target = GetFileAttributesW(wideTo.c_str());
    if (moveError != ERROR_ACCESS_DENIED || target == INVALID_FILE_ATTRIBUTES ||
        (target & FILE_ATTRIBUTE_DIRECTORY))
        return failed(moveError);
    return ReplaceFileW(wideTo.c_str(), wideFrom.c_str(), nullptr,
                        REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                        nullptr)
               ? 0
               : failed();
}

std::optional<std::string> realpath(const char* path) {
    std::wstring wide;
    if (!widen(path, wide))
        return std::nullopt;
    const DWORD needed = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        failed();
        return std::nullopt;
    }
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(wide.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) {
        failed();
        return std::nullopt;
    }
    full.resize(length);
    if (GetFileAttributesW(full.c_str()) == INVALID_FILE_ATTRIBUTES) {
        failed();
        return std::nullopt;
    }
    std::string result = narrow(full.c_str());
    std::replace(result.begin(), result.end(), '\\', '/');
    // As on Linux, no '/' at the end, except for a drive's own folder ("C:/").
    while (result.size() > 3 && result.ends_with('/'))
        result.pop_back();
    return result;
}

int syncFolder(const char*) {
    return 0;
}

std::vector<FolderEntry> listFolder(const char* path) {
    std::vector<FolderEntry> entries;
    std::wstring pattern;
    if (!widen(path, pattern) || pattern.empty())
        return entries;
    if (!pattern.ends_with(L'/') && !pattern.ends_with(L'\\'))
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return entries;
    do {
        if (std::wcscmp(found.cFileName, L".") != 0 && std::wcscmp(found.cFileName, L"..") != 0)
            entries.push_back({narrow(found.cFileName),
                               (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return entries;
}

std::string loginName() {
    wchar_t name[257]; // the longest user name and its NUL
    DWORD size = DWORD(std::size(name));
    return GetUserNameW(name, &size) ? narrow(name) : std::string();
}

} // namespace os
