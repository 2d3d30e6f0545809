#include "site/http_get.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace site {

namespace {

using Create = HttpGetter* (*)(const QByteArray* caPem, int timeoutMs);

struct HttpModule {
    Create create = nullptr;
};

toolkit::OpenedLibrary<HttpModule> open() {
    toolkit::OpenedLibrary<HttpModule> opened;
    QLibrary library(toolkit::programModule("anemo_http"));
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    opened.ok = library.load() && toolkit::resolve(library, "anemo_http_getter", opened.api.create);
    if (!opened.ok)
        opened.why = library.errorString();
    return opened;
}

} // namespace

std::unique_ptr<HttpGetter> newHttpGetter(const QByteArray& caPem, int timeoutMs, QString* why) {
    const HttpModule* module = toolkit::openOnce<HttpModule>(open, why);
    return std::unique_ptr<HttpGetter>(module ? module->create(&caPem, timeoutMs) : nullptr);
}

} // namespace site
