#pragma once

#include "toolkit/ini_text.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace publish {

// The [mqtt] group of anemometros.ini in the station folder. Publishing is off unless a host
// is set.
struct MqttSettings {
    QString host;
    int port = 1883;
    QString prefix = QStringLiteral("anemometros");
    QString clientId; // "anemometros-<host name>" when not set
    QString username;
    QString password; // from password_file; never printed
    QString tlsCa;    // a CA file: TLS on
    int keepaliveS = 30;
    bool discovery = false;
    QString discoveryPrefix = QStringLiteral("homeassistant");
    // reconhecer_remoto: alarms may be acknowledged through the broker.
    bool remoteAck = false;
    // prefixos: the station PCs a site view follows, by their prefixes; the prefix alone when
    // not set. A station PC leaves it aside.
    QStringList prefixes;
};

struct SettingsResult {
    std::optional<MqttSettings> settings; // nothing: publishing off
    QString error; // a bad value, in Portuguese, to be shown once; publishing off then
};

using toolkit::kSettingsFile;
// The most that anemometros.ini and the password file may hold, and a CA bundle.
using toolkit::kMostSettingsBytes;
inline constexpr qint64 kMostCaBytes = 1024 * 1024;

// Reads the [mqtt] group of an INI file; group and key names in any case. A missing file, a
// file without the group or an empty host is publishing off, without an error; a file that
// could not be read is publishing off with its reason (the one message of that file's fault); a key
// the group does not know is a bad value. Other groups are left to others. A bad value's message
// starts with `intro`: what the program does without the broker.
inline const QString kPublishingOff = QStringLiteral("Publicação MQTT desligada: ");
SettingsResult readSettings(const toolkit::IniFile& ini, const QString& intro = kPublishingOff);
// The same for a file of its own: read here, for [mqtt] alone.
SettingsResult readSettings(const QString& path, const QString& intro = kPublishingOff);

} // namespace publish
