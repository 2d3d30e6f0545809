#include "toolkit/os_files.h"

#include <dirent.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

// Each call is the POSIX one, as it is.
namespace os {

int open(const char* path, int flags, mode_t mode) {
    return ::open(path, flags, mode);
}
int close(int fd) {
    return ::close(fd);
}
ssize_t read(int fd, void* buffer, std::size_t count) {
    return ::read(fd, buffer, count);
}
ssize_t write(int fd, const void* bytes, std::size_t count) {
    return ::write(fd, bytes, count);
}
ssize_t pread(int fd, void* buffer, std::size_t count, std::int64_t offset) {
    return ::pread(fd, buffer, count, off_t(offset));
}
ssize_t pwrite(int fd, const void* bytes, std::size_t count, std::int64_t offset) {
    return ::pwrite(fd, bytes, count, off_t(offset));
}
int stat(const char* path, Stat* info) {
    return ::stat(path, info);
}
int lstat(const char* path, Stat* info) {
    return ::lstat(path, info);
}
int fstat(int fd, Stat* info) {
    return ::fstat(fd, info);
}
int ftruncate(int fd, std::int64_t size) {
    return ::ftruncate(fd, off_t(size));
}
int fsync(int fd) {
    return ::fsync(fd);
}
int fdatasync(int fd) {
    return ::fdatasync(fd);
}
int dup(int fd) {
    return ::dup(fd);
}
void setBlocking(int fd) {
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
}
int mkdir(const char* path, mode_t mode) {
    return ::mkdir(path, mode);
}
int unlink(const char* path) {
    return ::unlink(path);
}
int rename(const char* from, const char* to) {
    return ::rename(from, to);
}
int mkstemp(char* pathTemplate) {
    return ::mkstemp(pathTemplate);
}
int fchmod(int fd, mode_t mode) {
    return ::fchmod(fd, mode);
}
int fchown(int fd, uid_t uid, gid_t gid) {
    return ::fchown(fd, uid, gid);
}
mode_t umask(mode_t mask) {
    return ::umask(mask);
}
int posix_fallocate(int fd, std::int64_t offset, std::int64_t length) {
    return ::posix_fallocate(fd, off_t(offset), off_t(length));
}

long long modifiedNs(const Stat& info) {
    return static_cast<long long>(info.st_mtim.tv_sec) * 1'000'000'000LL + info.st_mtim.tv_nsec;
}

std::optional<std::string> realpath(const char* path) {
    char* resolved = ::realpath(path, nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

int syncFolder(const char* path) {
    const int fd = ::open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    const int synced = ::fsync(fd);
    const int err = errno;
    ::close(fd);
    errno = err;
    return synced;
}

std::vector<FolderEntry> listFolder(const char* path) {
    std::vector<FolderEntry> entries;
    DIR* dir = ::opendir(path);
    if (dir == nullptr)
        return entries;
    std::string prefix(path);
    if (!prefix.ends_with('/'))
        prefix += '/';
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        // stat, not the entry's own type: a link to a folder counts as a folder.
        struct stat info {};
        const bool folder =
            ::stat((prefix + entry->d_name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back({entry->d_name, folder});
    }
    ::closedir(dir);
    return entries;
}

std::string loginName() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : std::string();
}

ssize_t writeStandardError(const void* bytes, std::size_t count) {
    return ::write(STDERR_FILENO, bytes, count);
}

} // namespace os
