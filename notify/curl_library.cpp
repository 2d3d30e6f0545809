#include "notify/curl_library.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace notify {

namespace {

using toolkit::resolve;

using Loaded = toolkit::OpenedLibrary<CurlApi>;

Loaded open() {
    Loaded loaded;
    // The OpenSSL flavour of Debian's libcurl4: the same TLS library as the MQTT connection.
    QLibrary library(QStringLiteral("curl"), 4);
    library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!library.load()) {
        loaded.why = QStringLiteral("a biblioteca libcurl não pôde ser carregada (%1); instale o "
                                    "pacote libcurl4")
                         .arg(library.errorString());
        return loaded;
    }
    decltype(&curl_global_init) globalInit = nullptr;
    CurlApi& api = loaded.api;
    const bool all = resolve(library, "curl_global_init", globalInit) &&
                     resolve(library, "curl_easy_init", api.easyInit) &&
                     resolve(library, "curl_easy_setopt", api.easySetopt) &&
                     resolve(library, "curl_easy_perform", api.easyPerform) &&
                     resolve(library, "curl_easy_getinfo", api.easyGetinfo) &&
                     resolve(library, "curl_easy_cleanup", api.easyCleanup) &&
                     resolve(library, "curl_easy_strerror", api.easyStrerror) &&
                     resolve(library, "curl_slist_append", api.slistAppend) &&
                     resolve(library, "curl_slist_free_all", api.slistFreeAll);
    if (!all || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        loaded.why = QStringLiteral("a biblioteca libcurl desta máquina não serve; instale o "
                                    "pacote libcurl4");
        return loaded;
    }
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    loaded.ok = true;
    return loaded;
}

} // namespace

const CurlApi* loadCurl(QString* why) {
    return toolkit::openOnce<CurlApi>(open, why);
}

} // namespace notify
