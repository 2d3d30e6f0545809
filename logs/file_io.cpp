#include "logs/file_io.h"

#include "toolkit/failure.h"
#include "toolkit/os_files.h"

#include <cerrno>

#include <utility>

namespace logs::io {

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kNewFolderMode = 0777;
// A day's log of a station polled every second is a few megabytes; far more is not a log.
constexpr qint64 kMostReadBytes = qint64(256) << 20;

// A NUL would end the name early and make the kernel see a different file.
QByteArray nativeName(const QString& path) {
    const QByteArray name = path.toUtf8();
    if (name.contains('\0'))
        toolkit::raiseFileError(ENOENT);
    return name;
}

[[noreturn]] void closeAndRaise(int fd, int err) {
    os::close(fd);
    toolkit::raiseFileError(err);
}

void closeChecked(int fd) {
    if (os::close(fd) != 0 && errno != EINTR)
        toolkit::raiseFileError(errno);
}

// The path with every link, "." and ".." resolved by the file system, or nothing.
std::optional<QByteArray> resolvedPath(const QByteArray& name) {
    const std::optional<std::string> resolved = os::realpath(name.constData());
    if (!resolved)
        return std::nullopt;
    return QByteArray::fromStdString(*resolved);
}

bool isFolder(const QByteArray& name) {
    os::Stat info{};
    return os::stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace

std::optional<QByteArray> readFileIfPresent(const QString& path) {
    // Never waits for a FIFO's writer or a device: only a regular file is read.
    const int fd = os::open(nativeName(path).constData(),
                            O_RDONLY | os::kNonBlock | os::kNoTerminal | os::kCloseOnExec);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        toolkit::raiseFileError(errno);
    }
    os::Stat info{};
    if (os::fstat(fd, &info) != 0)
        closeAndRaise(fd, errno);
    if (S_ISDIR(info.st_mode))
        closeAndRaise(fd, EISDIR);
    if (!S_ISREG(info.st_mode))
        closeAndRaise(fd, EACCES);
    if (info.st_size > kMostReadBytes)
        closeAndRaise(fd, EFBIG);
    QByteArray contents;
    char buffer[4096];
    for (;;) {
        const ssize_t count = os::read(fd, buffer, sizeof buffer);
        if (count == 0)
            break;
        if (count < 0) {
            if (errno == EINTR)
                continue;
            closeAndRaise(fd, errno);
        }
        contents.append(buffer, count);
    }
    closeChecked(fd);
    return contents;
}

void makePath(const QString& folder) {
    const QByteArray name = nativeName(folder);
    for (qsizetype from = 1;;) {
        const qsizetype slash = name.indexOf('/', from);
        const QByteArray prefix = slash < 0 ? name : name.left(slash);
        if (!isFolder(prefix) && os::mkdir(prefix.constData(), kNewFolderMode) != 0 &&
            errno != EEXIST)
            toolkit::raiseFileError(errno);
        if (slash < 0)
            break;
        from = slash + 1;
    }
    if (!isFolder(name))
        toolkit::raiseFileError(ENOTDIR);
}

QByteArray canonicalFolder(const QString& folder) {
    const std::optional<QByteArray> resolved = resolvedPath(nativeName(folder));
    if (!resolved)
        toolkit::raiseFileError(errno);
    return *resolved;
}

bool removeFileInFolder(const QString& path, const QByteArray& ownFolder) {
    const QByteArray name = path.toUtf8();
    if (name.contains('\0'))
        return false;
    const qsizetype slash = name.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : name.left(slash);
    const QByteArray base = name.mid(slash + 1);
    if (base.isEmpty() || base == "." || base == "..")
        return false;
    // Resolve the folder in the file system, not lexically: "sub/../x" must not pass through a
    // linked "sub" to somewhere else.
    if (resolvedPath(folder) != ownFolder)
        return false;
    const QByteArray target = ownFolder + '/' + base;
    os::Stat info{};
    if (os::lstat(target.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return os::unlink(target.constData()) == 0;
}

AppendFile::AppendFile(const QString& path) {
    const QByteArray name = nativeName(path);
    // O_EXCL tells a file made here from one that was already there, without a race.
    fd_ = os::open(name.constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | os::kCloseOnExec,
                   kNewFileMode);
    created_ = fd_ >= 0;
    // A FIFO or a device in the file's place is refused at once, never waited for.
    if (fd_ < 0 && errno == EEXIST)
        fd_ = os::open(name.constData(),
                       O_WRONLY | O_APPEND | os::kNonBlock | os::kNoTerminal | os::kCloseOnExec);
    if (fd_ < 0)
        toolkit::raiseFileError(errno == ENXIO ? EACCES : errno);
    os::Stat info{};
    const bool known = os::fstat(fd_, &info) == 0;
    if (!known || !S_ISREG(info.st_mode)) {
        const int err = known ? EACCES : errno;
        os::close(std::exchange(fd_, -1));
        toolkit::raiseFileError(err);
    }
    os::setBlocking(fd_);
}

AppendFile::~AppendFile() {
    if (fd_ >= 0)
        os::close(fd_);
}

bool AppendFile::empty() const {
    os::Stat info{};
    if (os::fstat(fd_, &info) != 0)
        toolkit::raiseFileError(errno);
    return info.st_size == 0;
}

void AppendFile::append(const QByteArray& bytes) {
    os::Stat info{};
    if (os::fstat(fd_, &info) != 0)
        toolkit::raiseFileError(errno);
    ssize_t count = -1;
    do {
        count = os::write(fd_, bytes.constData(), bytes.size());
    } while (count < 0 && errno == EINTR);
    if (count == bytes.size())
        return;
    const int err = count < 0 ? errno : ENOSPC;
    if (count > 0) {
        // If the cut fails too, the write failure is still the one to report.
        [[maybe_unused]] const int cut = os::ftruncate(fd_, info.st_size);
    }
    toolkit::raiseFileError(err);
}

void AppendFile::close() {
    const int fd = fd_;
    fd_ = -1;
    closeChecked(fd);
}

} // namespace logs::io
