#include "config/config_file.h"

#include "toolkit/cp1252.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace config {

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

    toolkit::replaceFileContents(path, encodeConfig(text));
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
