#include "config/config_file.h"

#include "toolkit/cp1252.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/os_files.h"
#include "toolkit/regular_file.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <limits>

namespace config {

ConfigText readConfigFile(const QString& path) {
    using Outcome = toolkit::FileRead::Outcome;
    const toolkit::FileRead file = toolkit::readRegularFile(path, kMostConfigBytes);
    switch (file.outcome) {
    case Outcome::Read:
        break;
    case Outcome::Missing:
        toolkit::raiseFileError(ENOENT);
    case Outcome::Folder:
    case Outcome::Failed:
        // A file that is there but cannot be opened, as the Windows run-time library says.
        toolkit::raiseFileError(file.err == ENOTDIR ? ENOENT : EACCES);
    case Outcome::NotRegular:
    case Outcome::TooLarge:
        throw toolkit::Failure(
            QStringLiteral("%1 não pôde ser lido: %2.").arg(path, file.reason()));
    }
    ConfigText text;
    const QByteArray& bytes = file.bytes;
    qsizetype from = 0;
    for (QString& current : text) {
        if (from >= bytes.size())
            break;
        // Only the start of a long line is kept; reading goes on at the next line.
        const qsizetype end = bytes.indexOf('\n', from);
        QByteArray line = bytes.mid(from, (end < 0 ? bytes.size() : end) - from);
        from = end < 0 ? bytes.size() : end + 1;
        if (line.endsWith('\r'))
            line.chop(1);
        current = toolkit::fromCp1252(line.left(kMaxLineChars));
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
    const QByteArray native = path.toUtf8();
    os::Stat info{};
    if (os::stat(native.constData(), &info) != 0)
        toolkit::raiseFileError(errno);
    // A file without any write permission is read-only, even for the administrator.
    if (S_ISREG(info.st_mode) && (info.st_mode & 0222) == 0)
        toolkit::raiseFileError(EACCES);
    // Never waits: a FIFO without a reader fails at once.
    const int probe = os::open(native.constData(), O_WRONLY | O_APPEND | os::kNonBlock |
                                                       os::kNoTerminal | os::kCloseOnExec);
    if (probe < 0)
        toolkit::raiseFileError(errno);
    os::close(probe);

    toolkit::replaceFileContents(path, encodeConfig(text));
}

LoadedConfig readStationConfig(const QString& path) {
    const ConfigText text = readConfigFile(path);
    LoadedConfig loaded;
    settings::StationConfig& c = loaded.config;
    c.portName = at(text, line::kPort);
    c.baudRate = settings::typedNumber(at(text, line::kBaud));
    c.stationCount = settings::typedNumber(at(text, line::kStationCount));
    for (int station = 1; station <= kStations; ++station) {
        settings::StationEntry& entry = c.station(station);
        entry.name = at(text, line::name(station));
        entry.address = settings::typedNumber(at(text, line::address(station)));
        entry.logged = at(text, line::logEnabled(station)) == kLogOn;
        entry.polled = c.stationCount.value.value_or(0) >= station;
    }
    c.readIntervalS = settings::typedNumber(at(text, line::kReadInterval));
    loaded.cyclePauseText = at(text, line::kCyclePause);
    c.cyclePauseMs = settings::typedNumber(loaded.cyclePauseText).value.value_or(0);
    return loaded;
}

ConfigText configText(const settings::StationConfig& config) {
    ConfigText text;
    at(text, line::kPort) = config.portName;
    at(text, line::kBaud) = config.baudRate.text;
    at(text, line::kStationCount) = config.stationCount.text;
    for (int station = 1; station <= kStations; ++station) {
        const settings::StationEntry& entry = config.station(station);
        at(text, line::name(station)) = entry.name;
        at(text, line::address(station)) = entry.address.text;
        at(text, line::logEnabled(station)) = entry.logged ? kLogOn : kLogOff;
    }
    at(text, line::kReadInterval) = config.readIntervalS.text;
    at(text, line::kCyclePause) = QString::number(config.cyclePauseMs);
    return text;
}

void writeStationConfig(const QString& path, const settings::StationConfig& config) {
    writeConfigFile(path, configText(config));
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
