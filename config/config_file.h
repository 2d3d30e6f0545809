#pragma once

#include "settings/station_config.h"

#include <QString>

#include <array>

namespace config {

// ConfigALL.txt: 29 lines, one setting per line, meaning given by the line number alone.
inline constexpr int kConfigLines = 29;
inline constexpr int kMaxLineChars = 40;
inline const QString kConfigFileName = QStringLiteral("ConfigALL.txt");
// The most a configuration file may hold; a real one holds about a kilobyte.
inline constexpr qint64 kMostConfigBytes = 1024 * 1024;

using ConfigText = std::array<QString, kConfigLines>;

// Line numbers (1-based, as in the file) of each setting.
namespace line {
inline constexpr int kPort = 1;
inline constexpr int kBaud = 2;
inline constexpr int kStationCount = 3;
inline constexpr int name(int station) {
    return 2 * station + 2;
}
inline constexpr int address(int station) {
    return 2 * station + 3;
}
inline constexpr int logEnabled(int station) {
    return 19 + station;
}
inline constexpr int kReadInterval = 28;
inline constexpr int kCyclePause = 29;
} // namespace line

inline QString& at(ConfigText& text, int lineNumber) {
    return text[static_cast<std::size_t>(lineNumber - 1)];
}
inline const QString& at(const ConfigText& text, int lineNumber) {
    return text[static_cast<std::size_t>(lineNumber - 1)];
}

// Reads the 29 lines: each at most 40 characters (the rest of a longer line is dropped),
// CR LF or LF alone, missing lines empty, lines after 29 ignored. A file that cannot be opened
// is a failure with the file error text ("File not found"); a FIFO, a device or a file larger
// than kMostConfigBytes is never read (nor waited for) and fails with its name and the reason
// ("ConfigALL.txt não pôde ser lido: não é um arquivo comum.").
ConfigText readConfigFile(const QString& path);

// The file's bytes: Windows-1252, each line ended by CR LF.
QByteArray encodeConfig(const ConfigText& text);

// Rewrites an existing file. It must exist ("File not found" otherwise, and nothing is
// created) and be writable ("File access denied" for a read-only file). The new content goes
// to a temporary file beside it that then replaces the old one, so the file is always either
// the old or the new one, whatever happens half-way; it keeps the old file's mode and, where
// the process may, its owner. A link stays a link: the file it points to is replaced. In a
// folder that takes no new files, a writable file is rewritten in place instead, with its
// space reserved before the old contents are touched.
void writeConfigFile(const QString& path, const ConfigText& text);

// The log switch as the file writes it.
inline const QString kLogOn = QStringLiteral("TRUE");
inline const QString kLogOff = QStringLiteral("FALSE");

// ConfigALL.txt as the typed configuration, read as readConfigFile reads the lines. The cycle
// pause comes as written: it is converted where the window loads it, so that a bad one fails
// there, after the rest is shown, as it always did. A station is polled at or below the count.
struct LoadedConfig {
    settings::StationConfig config;
    QString cyclePauseText;
};
LoadedConfig readStationConfig(const QString& path);
// The 29 lines of a configuration, and the file written from it as writeConfigFile writes.
ConfigText configText(const settings::StationConfig& config);
void writeStationConfig(const QString& path, const settings::StationConfig& config);

// read interval × 1000 − station count × 205, or 200 when that is 1 or less. Both texts are
// converted with the conversion failure.
int computeCyclePause(const QString& readIntervalText, const QString& stationCountText);

} // namespace config
