#include "sim/pty_port.h"

#include <QFile>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

QString systemError(const QString& what) {
    return QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
}

void closeFd(int& fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

PtyPort::~PtyPort() {
    close();
}

QString PtyPort::open(const QString& linkPath) {
    close();
    const QByteArray link = QFile::encodeName(linkPath);
    struct stat existing {};
    if (::lstat(link.constData(), &existing) == 0 && !S_ISLNK(existing.st_mode))
        return QStringLiteral("%1 já existe e não é uma ligação simbólica").arg(linkPath);

    masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (masterFd_ < 0)
        return systemError(QStringLiteral("posix_openpt"));
    std::array<char, 128> name{};
    if (::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0 ||
        ::ptsname_r(masterFd_, name.data(), name.size()) != 0) {
        const QString error = systemError(QStringLiteral("pseudo-terminal"));
        close();
        return error;
    }
    slaveName_ = QFile::decodeName(name.data());
    slaveFd_ = ::open(name.data(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    if (slaveFd_ < 0 || ::tcgetattr(slaveFd_, &settings) != 0) {
        const QString error = systemError(slaveName_);
        close();
        return error;
    }
    // Raw from the start, so no request is ever echoed back or has bytes translated.
    ::cfmakeraw(&settings);
    settings.c_cflag |= CLOCAL | CREAD;
    ::tcsetattr(slaveFd_, TCSANOW, &settings);
    ::fcntl(masterFd_, F_SETFL, ::fcntl(masterFd_, F_GETFL) | O_NONBLOCK);

    watchFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watchFd_ >= 0 &&
        ::inotify_add_watch(watchFd_, name.data(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) < 0)
        closeFd(watchFd_);

    // A new link under a private name, renamed over the old one, so the path never dangles.
    const QByteArray temporary = link + ".anemosim-" + QByteArray::number(::getpid());
    ::unlink(temporary.constData());
    if (::symlink(name.data(), temporary.constData()) != 0 ||
        ::rename(temporary.constData(), link.constData()) != 0) {
        const QString error = systemError(linkPath);
        ::unlink(temporary.constData());
        close();
        return error;
    }
    linkPath_ = linkPath;
    return {};
}

void PtyPort::removeLink() {
    if (linkPath_.isEmpty())
        return;
    const QByteArray link = QFile::encodeName(linkPath_);
    std::array<char, 256> target{};
    const ssize_t length = ::readlink(link.constData(), target.data(), target.size() - 1);
    // Only our own link: someone may have pointed the path elsewhere meanwhile.
    if (length > 0 && QFile::decodeName(QByteArray(target.data(), length)) == slaveName_)
        ::unlink(link.constData());
    linkPath_.clear();
}

void PtyPort::close() {
    removeLink();
    closeFd(watchFd_);
    closeFd(slaveFd_);
    closeFd(masterFd_);
    slaveName_.clear();
}

void PtyPort::userClosed() {
    std::array<char, 4096> events{};
    while (::read(watchFd_, events.data(), events.size()) > 0) {
    }
    if (slaveFd_ < 0)
        return;
    ::ioctl(slaveFd_, TIOCNXCL);
    ::tcflush(slaveFd_, TCIFLUSH);
}

} // namespace sim
