#include "toolkit/os_files_win32.h"

#include <io.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

namespace os::win32 {

namespace {

long long nsSince1970(FILETIME time) {
    constexpr long long k1601To1970Ticks = 116'444'736'000'000'000LL; // of 100 ns
    const long long ticks =
        (static_cast<long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    return (ticks - k1601To1970Ticks) * 100;
}

} // namespace

int errnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CANNOT_MAKE:
    case ERROR_PRIVILEGE_NOT_HELD:
    case ERROR_UNABLE_TO_REMOVE_REPLACED:
    case ERROR_UNABLE_TO_MOVE_REPLACEMENT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_DIR_NOT_EMPTY:
        return ENOTEMPTY;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
        return EPIPE;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
        return EOPNOTSUPP;
    default:
        return EIO;
    }
}

int failed(DWORD error) {
    errno = errnoOf(error);
    return -1;
}

bool widen(const char* path, std::wstring& wide) {
    const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, nullptr, 0);
    if (length <= 0) {
        errno = ENOENT;
        return false;
    }
    wide.resize(std::size_t(length));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide.data(), length);
    wide.pop_back(); // the terminating NUL
    return true;
}

std::string narrow(const wchar_t* wide) {
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string text(std::size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.pop_back();
    return text;
}

int statHandle(HANDLE handle, Stat* info) {
    *info = {};
    switch (GetFileType(handle)) {
    case FILE_TYPE_DISK:
        break;
    case FILE_TYPE_CHAR:
        info->st_mode = S_IFCHR;
        return 0;
    case FILE_TYPE_PIPE:
        info->st_mode = S_IFIFO;
        return 0;
    default:
        return GetLastError() == NO_ERROR ? 0 : failed();
    }
    BY_HANDLE_FILE_INFORMATION file;
    if (!GetFileInformationByHandle(handle, &file))
        return failed();
    if (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        info->st_mode = S_IFDIR | 0700;
    } else {
        // A folder's read-only attribute only marks it as customised; a file's is its mode.
        info->st_mode = S_IFREG | (file.dwFileAttributes & FILE_ATTRIBUTE_READONLY ? 0400 : 0600);
    }
    info->st_size = (static_cast<std::int64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow;
    info->st_dev = file.dwVolumeSerialNumber;
    info->st_ino = (static_cast<std::uint64_t>(file.nFileIndexHigh) << 32) | file.nFileIndexLow;
    info->modifiedNs = nsSince1970(file.ftLastWriteTime);
    return 0;
}

} // namespace os::win32

namespace os {

using namespace win32;

namespace {

HANDLE handleOf(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE)
        errno = EBADF;
    return handle;
}

// A descriptor of the C library for the handle, in binary mode: no byte is ever translated.
int descriptorOf(HANDLE handle, int flags) {
    const int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle), flags & (O_APPEND | kCloseOnExec));
    if (fd < 0) {
        CloseHandle(handle);
        errno = EMFILE;
        return -1;
    }
    _setmode(fd, _O_BINARY);
    return fd;
}

} // namespace

int open(const char* path, int flags, mode_t mode) {
    std::wstring wide;
    if (!widen(path, wide))
        return -1;
    DWORD access = GENERIC_READ;
    if ((flags & O_ACCMODE) == O_WRONLY)
        access = GENERIC_WRITE;
    else if ((flags & O_ACCMODE) == O_RDWR)
        access = GENERIC_READ | GENERIC_WRITE;
    // Without the right to write data anywhere, the system puts every write at the end, as
    // O_APPEND does, whatever the position pread() left.
    if ((flags & O_APPEND) && (access & GENERIC_WRITE))
        access = (access & ~GENERIC_WRITE) | (FILE_GENERIC_WRITE & ~FILE_WRITE_DATA);
    DWORD disposition = OPEN_EXISTING;
    if ((flags & O_CREAT) && (flags & O_EXCL))
        disposition = CREATE_NEW;
    else if ((flags & O_CREAT) && (flags & O_TRUNC))
        disposition = CREATE_ALWAYS;
    else if (flags & O_CREAT)
        disposition = OPEN_ALWAYS;
    else if (flags & O_TRUNC)
        disposition = TRUNCATE_EXISTING;
    const DWORD attributes =
        (flags & O_CREAT) && !(mode & 0200) ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, (flags & kCloseOnExec) ? FALSE : TRUE};
    const HANDLE handle =
        CreateFileW(wide.c_str(), access, kShareAll, &inherited, disposition, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Linux says a folder is a folder; Windows only that access is denied.
        const DWORD found = GetFileAttributesW(wide.c_str());
        if (error == ERROR_ACCESS_DENIED && found != INVALID_FILE_ATTRIBUTES &&
            (found & FILE_ATTRIBUTE_DIRECTORY)) {
            errno = EISDIR;
            return -1;
        }
        return failed(error);
    }
    return descriptorOf(handle, flags);
}

int close(int fd) {
    return ::_close(fd);
}

ssize_t read(int fd, void* buffer, std::size_t count) {
    return ::_read(fd, buffer, unsigned(std::min<std::size_t>(count, INT_MAX)));
}

ssize_t write(int fd, const void* bytes, std::size_t count) {
    return ::_write(fd, bytes, unsigned(std::min<std::size_t>(count, INT_MAX)));
}

// Where a positioned read or write starts.
static OVERLAPPED atOffset(std::int64_t offset) {
    OVERLAPPED at{};
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    return at;
}

ssize_t pread(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    OVERLAPPED at = atOffset(offset);
    DWORD done = 0;
    if (!ReadFile(handle, buffer, DWORD(std::min<std::size_t>(count, INT_MAX)), &done, &at)) {
        const DWORD error = GetLastError();
        return error == ERROR_HANDLE_EOF ? 0 : failed(error);
    }
    return done;
}

ssize_t pwrite(int fd, const void* bytes, std::size_t count, std::int64_t offset) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    OVERLAPPED at = atOffset(offset);
    DWORD done = 0;
    if (!WriteFile(handle, bytes, DWORD(std::min<std::size_t>(count, INT_MAX)), &done, &at))
        return failed();
    return done;
}

int fstat(int fd, Stat* info) {
    const HANDLE handle = handleOf(fd);
    return handle == INVALID_HANDLE_VALUE ? -1 : statHandle(handle, info);
}

int ftruncate(int fd, std::int64_t size) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    if (SetFileInformationByHandle(handle, FileEndOfFileInfo, &end, sizeof end))
        return 0;
    if (GetLastError() != ERROR_ACCESS_DENIED)
        return failed();
    // An appending handle may not cut the file: a second handle with that right does it.
    const HANDLE writer = ReOpenFile(handle, GENERIC_WRITE, kShareAll, 0);
    if (writer == INVALID_HANDLE_VALUE)
        return failed();
    const bool cut = SetFileInformationByHandle(writer, FileEndOfFileInfo, &end, sizeof end);
    const DWORD error = GetLastError();
    CloseHandle(writer);
    return cut ? 0 : failed(error);
}

int fsync(int fd) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    return FlushFileBuffers(handle) ? 0 : failed();
}

int fdatasync(int fd) {
    return fsync(fd);
}

int dup(int fd) {
    const HANDLE handle = handleOf(fd);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS))
        return failed();
    return descriptorOf(copy, kCloseOnExec);
}

void setBlocking(int) {}

int fchmod(int, mode_t) {
    return 0;
}

int fchown(int, uid_t, gid_t) {
    return 0;
}

mode_t umask(mode_t) {
    return 0;
}

int posix_fallocate(int, std::int64_t, std::int64_t) {
    return EOPNOTSUPP;
}

int mkstemp(char* pathTemplate) {
    const std::size_t length = std::strlen(pathTemplate);
    if (length < 6 || std::strcmp(pathTemplate + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return -1;
    }
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 random(std::random_device{}() ^ GetCurrentProcessId() ^
                                     DWORD(GetTickCount64()));
    // O_EXCL makes a name taken meanwhile fail instead of opening someone else's file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        for (std::size_t i = length - 6; i < length; ++i)
            pathTemplate[i] = kLetters[random() % (sizeof kLetters - 1)];
        const int fd = open(pathTemplate, O_RDWR | O_CREAT | O_EXCL | kCloseOnExec, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

long long modifiedNs(const Stat& info) {
    return info.modifiedNs;
}

ssize_t writeStandardError(const void* bytes, std::size_t count) {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    DWORD done = 0;
    if (!WriteFile(handle, bytes, DWORD(std::min<std::size_t>(count, INT_MAX)), &done, nullptr))
        return failed();
    return done;
}

} // namespace os
