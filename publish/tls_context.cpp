#include "publish/tls_context.h"

#include "toolkit/library_calls.h"

#include <QLibrary>
#include <QLoggingCategory>

#include <utility>

namespace publish {

namespace {

Q_LOGGING_CATEGORY(lcTls, "anemometros.tls", QtWarningMsg)

struct TlsModule {
    int (*certificateCount)(const QByteArray* pem) = nullptr;
    ssl_ctx_st* (*newContext)(const QByteArray* caPem, const QByteArray* host,
                              TlsVerdict* verdict) = nullptr;
    void (*freeContext)(ssl_ctx_st* context) = nullptr;
    const char* (*errorText)(int error) = nullptr;
};

toolkit::OpenedLibrary<TlsModule> open() {
    return toolkit::openModule<TlsModule>("anemo_tls", [](QLibrary& library, TlsModule& api) {
        return toolkit::resolve(library, "anemo_tls_certificate_count", api.certificateCount) &&
               toolkit::resolve(library, "anemo_tls_new_context", api.newContext) &&
               toolkit::resolve(library, "anemo_tls_free_context", api.freeContext) &&
               toolkit::resolve(library, "anemo_tls_error_text", api.errorText);
    });
}

// Opened once; nullptr when it cannot be, which is logged once (the certificates then count as
// none). Asked for on the window's thread only.
const TlsModule* tlsModule() {
    static bool said = false;
    QString why;
    const TlsModule* module = toolkit::openOnce<TlsModule>(open, &why);
    if (!module && !std::exchange(said, true))
        qCWarning(lcTls) << "TLS module not loaded:" << why;
    return module;
}

} // namespace

int certificateCount(const QByteArray& pem) {
    const TlsModule* module = tlsModule();
    return module ? module->certificateCount(&pem) : 0;
}

ssl_ctx_st* newTlsContext(const QByteArray& caPem, const QString& host, TlsVerdict* verdict) {
    const TlsModule* module = tlsModule();
    const QByteArray name = host.toUtf8();
    return module ? module->newContext(&caPem, &name, verdict) : nullptr;
}

void freeTlsContext(ssl_ctx_st* context) {
    if (const TlsModule* module = tlsModule(); module && context)
        module->freeContext(context);
}

QString verifyErrorText(int error) {
    const TlsModule* module = tlsModule();
    return module ? QString::fromUtf8(module->errorText(error)) : QString::number(error);
}

} // namespace publish
