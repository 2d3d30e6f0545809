#include "toolkit/file_replace.h"

#include "toolkit/failure.h"
#include "toolkit/os_files.h"

#include <cerrno>
#include <optional>

namespace toolkit {

namespace {

// Returns 0, or the errno of the failing write.
int writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            os::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        done += n;
    }
    return 0;
}

mode_t newFileMode() {
    const mode_t mask = os::umask(0);
    os::umask(mask);
    return 0666 & ~mask;
}

// Gives the new file the old one's owner and group where the process may, at least its group.
void keepOwner(int fd, const os::Stat& old) {
    if (os::fchown(fd, old.st_uid, old.st_gid) == 0)
        return;
    [[maybe_unused]] const int groupKept = os::fchown(fd, static_cast<os::uid_t>(-1), old.st_gid);
}

// QSaveFile's direct-write fallback opens the old file truncated: a full disk would leave it
// empty. Here its space is reserved before the old contents are touched.
void rewriteInPlace(const QByteArray& target, const QByteArray& bytes) {
    // Never waits: a FIFO without a reader fails at once.
    const int fd =
        os::open(target.constData(), O_WRONLY | os::kNonBlock | os::kNoTerminal | os::kCloseOnExec);
    if (fd < 0)
        raiseFileError(errno);
    int err = bytes.isEmpty() ? 0 : os::posix_fallocate(fd, 0, bytes.size());
    if (err == EOPNOTSUPP || err == EINVAL)
        err = 0; // a file system without reservation: write over the old contents directly
    if (err == 0)
        err = writeAll(fd, bytes);
    if (err == 0 && (os::ftruncate(fd, bytes.size()) != 0 || os::fsync(fd) != 0))
        err = errno;
    if (os::close(fd) != 0 && err == 0)
        err = errno;
    if (err != 0)
        raiseFileError(err);
}

} // namespace

void replaceFileContents(const QString& path, const QByteArray& bytes) {
    // Not QSaveFile (Qt 6.4): its new file takes this process's owner and group and only the rwx
    // bits of the old mode, it refuses an old file without write permission, and its errors are
    // a QFileDevice::FileError without the errno that "I/O error %d" is written from.
    QByteArray target = path.toUtf8();
    if (target.contains('\0'))
        raiseFileError(ENOENT);
    std::optional<os::Stat> old;
    if (os::Stat info{}; os::stat(target.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            raiseFileError(EISDIR);
        old = info;
        const std::optional<std::string> resolved = os::realpath(target.constData());
        if (!resolved)
            raiseFileError(errno);
        target = QByteArray::fromStdString(*resolved);
    } else if (errno != ENOENT) {
        raiseFileError(errno);
    }

    QByteArray temporary = target.left(target.lastIndexOf('/') + 1) + ".anemometros.XXXXXX";
    const int fd = os::mkstemp(temporary.data());
    if (fd < 0) {
        if (old && (errno == EACCES || errno == EPERM)) {
            rewriteInPlace(target, bytes);
            return;
        }
        raiseFileError(errno);
    }
    if (old)
        keepOwner(fd, *old);
    int err = writeAll(fd, bytes);
    if (err == 0 &&
        (os::fchmod(fd, old ? old->st_mode & 07777 : newFileMode()) != 0 || os::fsync(fd) != 0))
        err = errno;
    if (os::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && os::rename(temporary.constData(), target.constData()) != 0)
        err = errno;
    if (err != 0) {
        os::unlink(temporary.constData());
        raiseFileError(err);
    }
}

} // namespace toolkit
