#include "publish/tls_context.h"

#include "toolkit/library_calls.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QLoggingCategory>

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

// The module beside the program (the build's bin/, the package's libexec/anemometros/), opened
// once; nullptr when it cannot be, which is logged (the certificates then count as none).
const TlsModule* tlsModule() {
    static const TlsModule* const module = []() -> const TlsModule* {
        static TlsModule loaded;
        QLibrary library(QDir(QCoreApplication::applicationDirPath()).filePath("anemo_tls"));
        // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
        if (library.load() &&
            toolkit::resolve(library, "anemo_tls_certificate_count", loaded.certificateCount) &&
            toolkit::resolve(library, "anemo_tls_new_context", loaded.newContext) &&
            toolkit::resolve(library, "anemo_tls_free_context", loaded.freeContext) &&
            toolkit::resolve(library, "anemo_tls_error_text", loaded.errorText))
            return &loaded;
        qCWarning(lcTls) << "TLS module not loaded:" << library.errorString();
        return nullptr;
    }();
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
