#pragma once

// A small real file system for the storage tests: a tmpfs mounted over a folder, that a test
// fills, grows and makes read-only while the code under test writes to it. Mounting needs
// root (the tests run as root in CI); without it mounted() is false and the test skips.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class SmallDisk {
public:
    SmallDisk(const QString& folder, int kib) : folder_(QFile::encodeName(folder)) {
        QDir().mkpath(folder);
        mounted_ = ::geteuid() == 0 &&
                   ::mount("tmpfs", folder_.constData(), "tmpfs", 0, options(kib).constData()) == 0;
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(folder_.constData(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

    // Takes every free block with a file of its own; returns the bytes it took.
    qint64 fill() {
        const int fd = ::open(fillerPath().constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        qint64 taken = 0;
        const QByteArray block(4096, 'x');
        for (ssize_t n = 0; (n = ::write(fd, block.constData(), block.size())) > 0;)
            taken += n;
        for (ssize_t n = 0; (n = ::write(fd, block.constData(), 1)) > 0;)
            taken += n;
        ::close(fd);
        return taken;
    }
    void unfill() { ::unlink(fillerPath().constData()); }

    bool resize(int kib) {
        return ::mount(nullptr, folder_.constData(), nullptr, MS_REMOUNT,
                       options(kib).constData()) == 0;
    }
    bool setReadOnly(bool readOnly) {
        return ::mount(nullptr, folder_.constData(), nullptr,
                       MS_REMOUNT | (readOnly ? MS_RDONLY : 0), nullptr) == 0;
    }

private:
    static QByteArray options(int kib) { return "size=" + QByteArray::number(kib) + "k"; }
    QByteArray fillerPath() const { return folder_ + "/.filler"; }

    QByteArray folder_;
    bool mounted_ = false;
};
