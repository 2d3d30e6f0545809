#include "config_file.h"

#include "cp1252.h"
#include "failure.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace config {

namespace {

// Returns 0, or the errno of the failing write.
int writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += n;
    }
    return 0;
}

} // namespace

ConfigText readConfigFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        const int err = file.exists() ? EACCES : ENOENT;
        toolkit::raiseFileError(err);
    }
    ConfigText text;
    for (QString& current : text) {
        if (file.atEnd())
            break;
        // Only the start of a long line is kept; reading goes on at the next line.
        QByteArray bytes = file.readLine();
        if (bytes.endsWith('\n'))
            bytes.chop(1);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        current = toolkit::fromCp1252(bytes.left(kMaxLineChars));
    }
    return text;
}

QByteArray encodeConfig(const ConfigText& text) {
    QByteArray bytes;
    for (const QString& current : text) {
        bytes += toolkit::toCp1252(current);
        bytes += "\r\n";
    }
    return bytes;
}

namespace {

// Gives the new file the old one's mode, and its owner and group where the process may.
void keepModeAndOwner(int fd, const struct stat& old) {
    if (::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    // Not allowed to give the file away: keep at least its group, when it is one of ours.
    [[maybe_unused]] const int groupKept = ::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
}

// The file rewritten where it is, for a folder that takes no new files. Space for the new
// contents is reserved first, so a full disk fails before the old contents are touched.
void rewriteInPlace(const QByteArray& target, const QByteArray& bytes) {
    const int fd = ::open(target.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        toolkit::raiseFileError(errno);
    int err = bytes.isEmpty() ? 0 : ::posix_fallocate(fd, 0, bytes.size());
    if (err == EOPNOTSUPP || err == EINVAL)
        err = 0; // a file system without reservation: write and hope, as the original does
    if (err == 0)
        err = writeAll(fd, bytes);
    if (err == 0 && (::ftruncate(fd, bytes.size()) != 0 || ::fsync(fd) != 0))
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0)
        toolkit::raiseFileError(err);
}

} // namespace

void writeConfigFile(const QString& path, const ConfigText& text) {
    const QByteArray native = QFile::encodeName(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        toolkit::raiseFileError(errno);
    // A file without any write permission is read-only, even for the administrator.
    if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0)
        toolkit::raiseFileError(EACCES);
    const int probe = ::open(native.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (probe < 0)
        toolkit::raiseFileError(errno);
    ::close(probe);

    // A link stays a link: the file it points to is the one replaced.
    char* resolved = ::realpath(native.constData(), nullptr);
    if (resolved == nullptr)
        toolkit::raiseFileError(errno);
    const QByteArray target(resolved);
    std::free(resolved);
    const QByteArray bytes = encodeConfig(text);

    QByteArray temporary = target.left(target.lastIndexOf('/') + 1) + ".ConfigALL.XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) {
            rewriteInPlace(target, bytes);
            return;
        }
        toolkit::raiseFileError(errno);
    }
    keepModeAndOwner(fd, info);
    int err = writeAll(fd, bytes);
    if (err == 0 && (::fchmod(fd, info.st_mode & 07777) != 0 || ::fsync(fd) != 0))
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0) {
        ::unlink(temporary.constData());
        toolkit::raiseFileError(err);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int err = errno;
        ::unlink(temporary.constData());
        toolkit::raiseFileError(err);
    }
}

int computeCyclePause(const QString& readIntervalText, const QString& stationCountText) {
    const long long readInterval = toolkit::StrToInt(readIntervalText);
    const long long stations = toolkit::StrToInt(stationCountText);
    const long long pause = readInterval * 1000 - stations * 205;
    if (pause <= 1)
        return 200;
    // A pause beyond what a timer can hold would be an absurd read interval; cap it.
    return static_cast<int>(std::min<long long>(pause, std::numeric_limits<int>::max()));
}

} // namespace config
