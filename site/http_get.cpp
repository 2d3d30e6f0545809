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
    return toolkit::openModule<HttpModule>("anemo_http", [](QLibrary& library, HttpModule& api) {
        return toolkit::resolve(library, "anemo_http_getter", api.create);
    });
}

} // namespace

std::unique_ptr<HttpGetter> newHttpGetter(const QByteArray& caPem, int timeoutMs, QString* why) {
    const HttpModule* module = toolkit::openOnce<HttpModule>(open, why);
    return std::unique_ptr<HttpGetter>(module ? module->create(&caPem, timeoutMs) : nullptr);
}

} // namespace site
