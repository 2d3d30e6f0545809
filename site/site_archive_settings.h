#pragma once

#include "toolkit/ini_text.h"

#include <QString>

#include <optional>

namespace site {

// What the site view needs of the [arquivo] group of anemometros.ini to read the site's
// archive back: where the database answers and how to sign in. The keys a station PC writes
// with (local, fila_max_mb) are known here too, so that one file may serve both, and left
// aside.
struct ArchiveReadSettings {
    QString url;      // "http://servidor:8428", without a trailing '/'
    QString user;     // usuario: HTTP basic authentication when set
    QString password; // from senha_arquivo; never printed
    QString tlsCa;    // tls_ca: a CA bundle for https://; the system's CAs when empty
};

struct ArchiveReadResult {
    std::optional<ArchiveReadSettings> settings; // nothing: no Histórico do local
    QString error; // a bad value or unknown key, in Portuguese, to be shown once
};

// The group's names in any case; no group or no url is the archive off without an error.
ArchiveReadResult readArchiveSettings(const toolkit::IniFile& ini);

} // namespace site
