#pragma once

// The file calls of the system, under one name on Linux and on Windows. On Linux each one is
// the POSIX call itself. On Windows they keep the POSIX meaning the program relies on: paths
// are UTF-8 (QString::toUtf8, never QFile::encodeName, which gives the ANSI code page there),
// files are always binary (the program writes its own CR LF), and a file kept open can still
// be renamed over or deleted. Failures return -1 with errno set, as POSIX does, except where
// a call says otherwise.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace os {

#ifdef _WIN32

using uid_t = unsigned;
using gid_t = unsigned;

// What stat() tells about a file. Windows keeps permissions in access lists; the mode carries
// the type and, as the owner's bits, whether the file is read-only.
struct Stat {
    std::uint32_t st_mode = 0;
    std::int64_t st_size = 0;
    std::uint64_t st_dev = 0; // the volume's serial number
    std::uint64_t st_ino = 0; // the file's index on its volume
    uid_t st_uid = 0;
    gid_t st_gid = 0;
    long long modifiedNs = 0; // since 1970, UTC
};

// Open flags POSIX has and Windows does not: a file there never waits and is never a terminal.
inline constexpr int kNonBlock = 0;
inline constexpr int kNoTerminal = 0;
inline constexpr int kNoFollow = 0;
inline constexpr int kCloseOnExec = O_NOINHERIT;

#else

using ::gid_t;
using ::uid_t;
using Stat = struct ::stat;

inline constexpr int kNonBlock = O_NONBLOCK;
inline constexpr int kNoTerminal = O_NOCTTY;
inline constexpr int kNoFollow = O_NOFOLLOW;
inline constexpr int kCloseOnExec = O_CLOEXEC;

#endif

// O_RDONLY, O_WRONLY, O_RDWR, O_APPEND, O_CREAT, O_EXCL and O_TRUNC, with the flags above.
int open(const char* path, int flags, mode_t mode = 0);
int close(int fd);
ssize_t read(int fd, void* buffer, std::size_t count);
ssize_t write(int fd, const void* bytes, std::size_t count);
// These two move the descriptor's position on Windows: the program never mixes them with
// read() or write() on one descriptor, except on an appending one, whose writes go to the end.
ssize_t pread(int fd, void* buffer, std::size_t count, std::int64_t offset);
ssize_t pwrite(int fd, const void* bytes, std::size_t count, std::int64_t offset);
int stat(const char* path, Stat* info);
// A link is neither a regular file nor a folder here.
int lstat(const char* path, Stat* info);
int fstat(int fd, Stat* info);
// The last modification, in nanoseconds since 1970 (UTC).
long long modifiedNs(const Stat& info);
int ftruncate(int fd, std::int64_t size);
int fsync(int fd);
int fdatasync(int fd);
int dup(int fd);
// A descriptor that was opened with kNonBlock blocks from here on.
void setBlocking(int fd);
int mkdir(const char* path, mode_t mode);
int unlink(const char* path);
// Replaces an existing target, as POSIX rename does, even one that another descriptor holds
// open (which goes on reading the old file).
int rename(const char* from, const char* to);
// Replaces the template's final "XXXXXX" and creates that file, new, for reading and writing.
int mkstemp(char* pathTemplate);

// Owners and permission bits are kept in access lists on Windows: there these succeed doing
// nothing, and umask() gives 0.
int fchmod(int fd, mode_t mode);
int fchown(int fd, uid_t uid, gid_t gid);
mode_t umask(mode_t mask);
// Returns the errno instead of setting it, as posix_fallocate does: EOPNOTSUPP on Windows,
// where reserving space would cut a longer file first.
int posix_fallocate(int fd, std::int64_t offset, std::int64_t length);

// The absolute path with ".", ".." and (on Linux) every link resolved, of a path that exists;
// nothing, with errno set, otherwise. Folders are separated by '/' on Windows too.
std::optional<std::string> realpath(const char* path);

// Makes the renames and deletions in a folder last through a power cut. NTFS journals them and
// rename() writes through, so on Windows this does nothing.
int syncFolder(const char* path);

// A folder's entries in the system's own order, without "." and ".."; empty when the folder
// cannot be read. `folder` is true for a folder or a link to one.
struct FolderEntry {
    std::string name;
    bool folder = false;
};
std::vector<FolderEntry> listFolder(const char* path);

// The name the user logged in with, as the system's account database has it; empty when it
// has none.
std::string loginName();

// One write() to the standard error, returning how many bytes went.
ssize_t writeStandardError(const void* bytes, std::size_t count);

} // namespace os
