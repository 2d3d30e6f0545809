#pragma once

#include "toolkit/ini_text.h"

#include <QString>

#include <optional>

namespace archive {

// The [arquivo] group of anemometros.ini in the station folder: where every reading of every
// polled station is written for the site's record. Off until url is set.
struct ArchiveSettings {
    QString url;  // base URL of the database; the lines go to <url>/write?precision=ms
    QString site; // local: the label of every series
    QString user;
    QString password; // from senha_arquivo; never shown, written or journaled
    QString tlsCa;    // a CA bundle for https://; empty: the system's
    qint64 queueMostBytes = 512LL * 1024 * 1024;
};

struct ArchiveSettingsResult {
    std::optional<ArchiveSettings> settings; // nothing: the archive off
    QString error; // a bad value or an unknown key, in Portuguese, to be shown once; off then
};

inline constexpr int kMostQueueMb = 1024 * 1024;

// Reads [arquivo] of anemometros.ini as read once at start; names in any case. A missing file,
// a file without the group or without url is the archive off, without an error; any bad value
// or unknown key is the archive off with its message. `defaultSite` is local when not set (the
// [mqtt] prefix, else the host name).
ArchiveSettingsResult readArchiveSettings(const toolkit::IniFile& ini, const QString& defaultSite);

} // namespace archive
